// An in-memory key store with typed values, for tests. Key and value names compare without
// regard to case. It reads and writes REGEDIT4 text, so fixtures read like a .reg file:
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\Software\ODBC\ODBCINST.INI\Microsoft Excel Driver (*.xls)]
//   "Driver"="C:\\WINDOWS\\System32\\odbcjt32.dll"
//   "UsageCount"=dword:00000001
#pragma once

#include <memory>
#include <string>

#include "platform/registry/Registry.h"

namespace platform {

class MemoryStore : public KeyStore {
 public:
  MemoryStore();
  ~MemoryStore() override;

  // Loads REGEDIT4 text on top of what the store holds (keys are created as needed; [-key]
  // and "name"=- remove), read by the registry-file codec, CRLF or LF. Raises
  // std::invalid_argument, "REGEDIT4 line N: reason", for a file it cannot read, and has then
  // changed nothing.
  void Import(const std::string& regedit4);
  // The whole store as REGEDIT4 text, keys and values in the order they were created, as the
  // registry editor writes it (CRLF).
  std::string Export() const;

  // Fixture helpers. Keys are created with their parents; `path` has no leading backslash.
  void CreateKey(HKEY root, const std::string& path);
  bool KeyExists(HKEY root, const std::string& path) const;
  void SetString(HKEY root, const std::string& path, const std::string& name,
                 const std::string& value);
  void SetDword(HKEY root, const std::string& path, const std::string& name, uint32_t value);
  // A key that opens for reading only, as a local-machine key does for an ordinary user.
  void SetReadOnly(HKEY root, const std::string& path, bool readOnly);

  // What the code under test did: keys open right now, opens so far, flushes so far.
  int OpenKeyCount() const;
  int OpenCount() const;
  int FlushCount() const;

  std::unique_ptr<StoreKey> Open(HKEY root, const std::string& path, Access access) override;
  std::optional<SubKeyValues> ReadSubKeys(HKEY root, const std::string& path,
                                          const std::string& valueName) override;
  std::optional<Values> ReadValues(HKEY root, const std::string& path) override;
  std::string Describe(HKEY root, const std::string& path) override;
  std::optional<Values> ReadTree(HKEY root, const std::string& path) override;
  std::unique_ptr<StoreKey> Create(HKEY root, const std::string& path) override;
  void Delete(HKEY root, const std::string& path) override;
  void DeleteValue(HKEY root, const std::string& path, const std::string& name) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform

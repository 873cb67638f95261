// The registry accessor TRegistry and the key store seam beneath it.
//
// TRegistry behaves as the host framework's registry class does for the calls the system
// makes: it starts on the current-user root with lazy writing on and no key open, opens
// existing keys only, and raises ERegistryException for a value of the wrong type. The
// keys themselves live in a KeyStore: the process default (unixODBC's configuration files
// on Linux, the real registry on Windows) or a store a test puts in its place.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Seam.h"

namespace platform {

using HKEY = uint32_t;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001;
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002;

// The registry layer's error, raised for example by reading a DWORD value as a string.
class ERegistryException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One open key of a store. Closing happens in the destructor.
class StoreKey {
 public:
  virtual ~StoreKey() = default;
  // The value's text; nullopt when the value does not exist. Raises ERegistryException
  // when the value is not a string.
  virtual std::optional<std::string> ReadString(const std::string& name) = 0;
  // Stores a string value. Raises ERegistryException when the key is read-only or the
  // store cannot hold the value.
  virtual void WriteString(const std::string& name, const std::string& value) = 0;
  // Makes what was written durable; called on close when lazy writing is off.
  virtual void Flush() = 0;
};

class KeyStore {
 public:
  enum class Access { Read, ReadWrite };
  virtual ~KeyStore() = default;
  // Opens an existing key. `path` is relative to the root and may start with a backslash.
  // Returns null when the key does not exist or cannot be opened with that access.
  virtual std::unique_ptr<StoreKey> Open(HKEY root, const std::string& path, Access access) = 0;
  // The subkeys of an existing key, each with the string value `valueName` ("" when it has
  // none or it is not a string), in the store's order; nullopt when the key does not exist.
  // One call, so that a key with ten thousand subkeys is listed in one pass. Raises
  // ERegistryException, with the reason, when the key exists but cannot be read.
  using SubKeyValues = std::vector<std::pair<std::string, std::string>>;
  virtual std::optional<SubKeyValues> ReadSubKeys(HKEY root, const std::string& path,
                                                  const std::string& valueName) = 0;
  // The string values of an existing key, in the store's order (a value that is not a string
  // is left out); nullopt when the key does not exist. Unlike Open, which answers null for
  // both, it tells a key that cannot be read from a missing one: it raises
  // ERegistryException with the reason.
  using Values = std::vector<std::pair<std::string, std::string>>;
  virtual std::optional<Values> ReadValues(HKEY root, const std::string& path) = 0;
  // The first value of that name (compared without regard to case) among `values`.
  static std::optional<std::string> Find(const Values& values, std::string_view name);
  // Where the key lives, for people: a registry path, or a file and section.
  virtual std::string Describe(HKEY root, const std::string& path) = 0;

  // The whole of a registry's key, for the data-source store over it: every value as text
  // (see AsText; a value with no such spelling left out), then those of its subkeys, depth
  // first; nullopt when the key does not exist. A key opened for writing, made with its
  // parents where missing; a key removed with its subkeys, and a value removed (either
  // missing is no error). They raise ERegistryException with the reason; a store of files,
  // whose data sources are written as files, refuses them all.
  virtual std::optional<Values> ReadTree(HKEY root, const std::string& path);
  virtual std::unique_ptr<StoreKey> Create(HKEY root, const std::string& path);
  virtual void Delete(HKEY root, const std::string& path);
  virtual void DeleteValue(HKEY root, const std::string& path, const std::string& name);
  // A value of a registry type as text, as a registry file's import reads it: strings up to
  // their first NUL, numbers and flags of one to eight bytes in decimal (little-endian), a
  // multi-string's items joined by ';'; nullopt for what has no such spelling.
  static std::optional<std::string> AsText(uint32_t type, const std::string& data);
};

// ODBC's keys, the same under either root: a data source's own key, or with no name the key
// that holds them all; a driver's definition (under the local machine).
inline std::string DataSourceKey(std::string_view name = {}) {
  std::string key = "\\Software\\ODBC\\ODBC.INI";
  if (!name.empty()) key.append(1, '\\').append(name);
  return key;
}
inline std::string DriverKey(std::string_view description) {
  return std::string("\\Software\\ODBC\\ODBCINST.INI\\").append(description);
}

// The store TRegistry uses unless a ScopedKeyStore is in force: unixODBC's files on Linux
// (KeyStorePosix.cpp), the registry on Windows (KeyStoreWindows.cpp).
KeyStore& DefaultKeyStore();

using KeyStoreSeam = Seam<KeyStore, DefaultKeyStore>;
template <>
KeyStore* KeyStoreSeam::override_;  // Registry.cpp

// The store in force: a ScopedKeyStore's, else the process default.
inline KeyStore& CurrentKeyStore() { return KeyStoreSeam::Current(); }

// Puts a store in place of the process default for its lifetime (tests).
using ScopedKeyStore = KeyStoreSeam::Scoped;

class TRegistry {
 public:
  TRegistry();   // Create
  ~TRegistry();  // Free: closes the open key
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  HKEY RootKey() const { return root_; }
  void SetRootKey(HKEY root);
  bool LazyWrite() const { return lazyWrite_; }
  void SetLazyWrite(bool lazy) { lazyWrite_ = lazy; }

  bool OpenKeyReadOnly(const std::string& key);
  // The system never asks for a key to be created; canCreate = true is refused.
  bool OpenKey(const std::string& key, bool canCreate);
  void CloseKey();

  // A missing value reads as "".
  std::string ReadString(const std::string& name);
  void WriteString(const std::string& name, const std::string& value);

 private:
  bool Open(const std::string& key, KeyStore::Access access);

  KeyStore& store_;
  HKEY root_ = HKEY_CURRENT_USER;
  bool lazyWrite_ = true;
  std::unique_ptr<StoreKey> key_;
};

}  // namespace platform

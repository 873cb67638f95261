// Test support for the Windows build under Wine: scratch registry keys set through advapi32
// (the code under test never creates keys), the test setup library and what it logged, and
// Wine's own reg.exe for reading the registry back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/registry/Registry.h"

namespace wintest {

inline constexpr platform::HKEY kUser = platform::HKEY_CURRENT_USER;
inline constexpr platform::HKEY kMachine = platform::HKEY_LOCAL_MACHINE;

// Windows' value types, as stored.
inline constexpr uint32_t kSz = 1, kExpandSz = 2, kBinary = 3, kDword = 4, kMultiSz = 7,
                          kQword = 11;

struct RawValue {
  uint32_t type;
  std::string bytes;
};

// Key paths have no leading backslash here. SetValue creates the key and its parents.
void SetValue(platform::HKEY root, const std::string& path, const std::string& name, uint32_t type,
              const std::string& bytes);
// A REG_SZ value with its terminating NUL, as Windows' tools store it.
void SetString(platform::HKEY root, const std::string& path, const std::string& name,
               const std::string& text);
void CreateKey(platform::HKEY root, const std::string& path);
bool KeyExists(platform::HKEY root, const std::string& path);
void DeleteTree(platform::HKEY root, const std::string& path);
std::optional<RawValue> GetValue(platform::HKEY root, const std::string& path,
                                 const std::string& name);
// A key's subkeys and values as the registry enumerates them; empty for a missing key.
std::vector<std::string> SubKeyNames(platform::HKEY root, const std::string& path);
std::vector<std::pair<std::string, RawValue>> Values(platform::HKEY root,
                                                     const std::string& path);

void SetEnv(const std::string& name, const std::string& value);
void UnsetEnv(const std::string& name);

struct Output {
  unsigned status;
  std::string text;  // standard output and error, as bytes
};
// Runs a command line in the prefix (e.g. "reg query ...") and waits for it.
Output RunInPrefix(const std::string& commandLine);
// The folder this test program was started from, with its trailing backslash.
std::string ProgramDir();
// UTF-16LE with a byte-order mark, as reg export writes; ASCII text only.
std::string FromUtf16(const std::string& bytes);

// The test setup library, copied into the prefix at a fixed place so that paths in
// attribute lists are the same on every machine.
inline const std::string kSetupDir = "C:\\Tabrix";
inline const std::string kSetupLibrary = kSetupDir + "\\tabrix_setup.dll";
inline const std::string kSetupLog = kSetupDir + "\\setup.log";
// Copies the library from beside this program; called once before the tests.
void InstallSetupLibrary();

// What one ConfigDSN call received.
struct SetupCall {
  unsigned request = 0;
  unsigned mode = 0;  // the installer's config mode: 1 user, 2 system
  bool parent = false;
  std::string driver;
  std::string attributes;  // the exact bytes, through the closing NUL
};
std::vector<SetupCall> SetupCalls();
void ClearSetupCalls();

inline const std::string kDriversKey = "Software\\ODBC\\ODBCINST.INI\\";
inline const std::string kSourcesKey = "Software\\ODBC\\ODBC.INI\\";

// Registers a driver as an installer knows it. Wine 8's odbccp32 loads the library named by
// "Driver", Windows the one named by "Setup": tests set both.
void RegisterDriver(const std::string& description, const std::string& driverValue,
                    const std::string& setupValue = kSetupLibrary);

}  // namespace wintest

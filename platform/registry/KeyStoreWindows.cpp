// The registry on Windows: advapi32's registry, in the process's own view of it (a 32-bit
// package sees the 32-bit ODBC definitions, as the driver manager it runs beside does).
//
// Values are read as the host framework's registry class reads them: the type is checked
// here, since RegQueryValueExA copies a DWORD into a char buffer without complaint, and a
// string ends at its first NUL whether or not it was stored with one.
#include <optional>
#include <string>
#include <vector>

#include "platform/WindowsApi.h"
#include "platform/registry/Registry.h"

namespace platform {
namespace {

// Our roots. Below, platform::HKEY is our root value and WinKey Windows' handle type.
constexpr HKEY kCurrentUser = HKEY_CURRENT_USER;
constexpr HKEY kLocalMachine = HKEY_LOCAL_MACHINE;

using WinKey = ::HKEY;

// The only place that turns an advapi32 error code into the registry layer's exception.
ERegistryException RegistryError(const std::string& what, LONG code) {
  char text[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ')) --n;
  std::string reason = n > 0 ? std::string(text, n) : "error " + std::to_string(code);
  return ERegistryException(what + ": " + reason);
}

// Our root values are Windows' predefined key values, which windows.h sign-extends.
WinKey WindowsRoot(platform::HKEY root) {
  return reinterpret_cast<WinKey>(static_cast<ULONG_PTR>(static_cast<LONG>(root)));
}

// RegOpenKeyExA refuses a leading backslash; the host's accessor strips it.
const char* Relative(const std::string& path) {
  return path.c_str() + (!path.empty() && path[0] == '\\' ? 1 : 0);
}

bool IsString(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

// The value's raw bytes and type; nullopt when it does not exist.
struct RawValue {
  DWORD type = REG_NONE;
  std::string bytes;
};

std::optional<RawValue> QueryValue(WinKey key, const std::string& name) {
  RawValue value;
  DWORD size = 0;
  LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &value.type, nullptr, &size);
  // A value that grows between the two calls answers ERROR_MORE_DATA with the size it needs.
  while (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA) {
    value.bytes.resize(size);
    rc = RegQueryValueExA(key, name.c_str(), nullptr, &value.type,
                          reinterpret_cast<BYTE*>(value.bytes.data()), &size);
    if (rc == ERROR_SUCCESS) {
      value.bytes.resize(size);
      return value;
    }
  }
  if (rc == ERROR_FILE_NOT_FOUND) return std::nullopt;
  throw RegistryError("Failed to get data for '" + name + "'", rc);
}

// A string value's text: up to its first NUL, if it has one.
std::string Text(const RawValue& value) { return value.bytes.substr(0, value.bytes.find('\0')); }

class WindowsKey : public StoreKey {
 public:
  explicit WindowsKey(WinKey key) : key_(key) {}
  ~WindowsKey() override { RegCloseKey(key_); }
  WindowsKey(const WindowsKey&) = delete;
  WindowsKey& operator=(const WindowsKey&) = delete;

  std::optional<std::string> ReadString(const std::string& name) override {
    std::optional<RawValue> value = QueryValue(key_, name);
    if (!value) return std::nullopt;
    if (!IsString(value->type)) throw ERegistryException("Invalid data type for '" + name + "'");
    return Text(*value);
  }

  void WriteString(const std::string& name, const std::string& value) override {
    // REG_SZ with its terminating NUL, as Windows' own tools store strings.
    LONG rc =
        RegSetValueExA(key_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    if (rc != ERROR_SUCCESS) throw RegistryError("Failed to set data for '" + name + "'", rc);
  }

  void Flush() override {
    LONG rc = RegFlushKey(key_);
    if (rc != ERROR_SUCCESS) throw RegistryError("Failed to flush the registry key", rc);
  }

 private:
  WinKey key_;
};

// Closes a key opened only for the length of one call.
struct KeyHandle {
  WinKey key = nullptr;
  ~KeyHandle() {
    if (key) RegCloseKey(key);
  }
};

// Every value of a key, by name, in the registry's order.
template <typename Visit>
void ForEachValue(WinKey key, Visit visit) {
  std::vector<char> name(16384);  // the longest value name Windows allows, and its NUL
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(name.size());
    LONG rc = RegEnumValueA(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) throw RegistryError("Failed to list the values", rc);
    const std::string valueName(name.data(), length);
    if (std::optional<RawValue> value = QueryValue(key, valueName)) visit(valueName, *value);
  }
}

// A key's values as text, then its subkeys', depth first.
void ReadTreeOf(WinKey key, KeyStore::Values& values) {
  ForEachValue(key, [&](const std::string& name, const RawValue& value) {
    if (auto text = KeyStore::AsText(value.type, value.bytes)) values.emplace_back(name, *text);
  });
  char sub[256];  // the longest key name Windows allows, and its NUL
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof sub;
    LONG rc = RegEnumKeyExA(key, index, sub, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) throw RegistryError("Failed to list the subkeys", rc);
    KeyHandle child;
    rc = RegOpenKeyExA(key, sub, 0, KEY_READ, &child.key);
    if (rc != ERROR_SUCCESS) throw RegistryError("Failed to open " + std::string(sub, length), rc);
    ReadTreeOf(child.key, values);
  }
}

class WindowsStore : public KeyStore {
 public:
  std::unique_ptr<StoreKey> Open(platform::HKEY root, const std::string& path,
                                 Access access) override {
    const REGSAM sam = access == Access::Read ? KEY_READ : KEY_READ | KEY_WRITE;
    WinKey key = nullptr;
    if (RegOpenKeyExA(WindowsRoot(root), Relative(path), 0, sam, &key) != ERROR_SUCCESS)
      return nullptr;
    return std::make_unique<WindowsKey>(key);
  }

  std::optional<SubKeyValues> ReadSubKeys(platform::HKEY root, const std::string& path,
                                          const std::string& valueName) override {
    KeyHandle parent;
    LONG opened = RegOpenKeyExA(WindowsRoot(root), Relative(path), 0, KEY_READ, &parent.key);
    if (opened == ERROR_FILE_NOT_FOUND) return std::nullopt;
    if (opened != ERROR_SUCCESS)
      throw RegistryError("Failed to open " + Describe(root, path), opened);
    SubKeyValues result;
    char name[256];  // the longest key name Windows allows, and its NUL
    for (DWORD index = 0;; ++index) {
      DWORD length = sizeof name;
      LONG rc = RegEnumKeyExA(parent.key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
      if (rc == ERROR_NO_MORE_ITEMS) break;
      if (rc != ERROR_SUCCESS) throw RegistryError("Failed to list the subkeys", rc);
      result.emplace_back(std::string(name, length), std::string());
      KeyHandle child;
      if (RegOpenKeyExA(parent.key, name, 0, KEY_QUERY_VALUE, &child.key) != ERROR_SUCCESS)
        continue;
      std::optional<RawValue> value = QueryValue(child.key, valueName);
      if (value && IsString(value->type)) result.back().second = Text(*value);
    }
    return result;
  }

  std::optional<Values> ReadValues(platform::HKEY root, const std::string& path) override {
    KeyHandle key;
    if (!OpenExisting(root, path, key)) return std::nullopt;
    Values result;
    ForEachValue(key.key, [&](const std::string& name, const RawValue& value) {
      if (IsString(value.type)) result.emplace_back(name, Text(value));
    });
    return result;
  }

  std::optional<Values> ReadTree(platform::HKEY root, const std::string& path) override {
    KeyHandle key;
    if (!OpenExisting(root, path, key)) return std::nullopt;
    Values result;
    ReadTreeOf(key.key, result);
    return result;
  }

  std::unique_ptr<StoreKey> Create(platform::HKEY root, const std::string& path) override {
    WinKey key = nullptr;
    LONG rc = RegCreateKeyExA(WindowsRoot(root), Relative(path), 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS) throw RegistryError("cannot open " + Describe(root, path), rc);
    return std::make_unique<WindowsKey>(key);
  }

  void Delete(platform::HKEY root, const std::string& path) override {
    LONG rc = RegDeleteTreeA(WindowsRoot(root), Relative(path));
    if (rc == ERROR_SUCCESS) rc = RegDeleteKeyA(WindowsRoot(root), Relative(path));
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
      throw RegistryError("cannot remove " + Describe(root, path), rc);
  }

  void DeleteValue(platform::HKEY root, const std::string& path, const std::string& name) override {
    KeyHandle key;
    LONG rc = RegOpenKeyExA(WindowsRoot(root), Relative(path), 0, KEY_SET_VALUE, &key.key);
    if (rc == ERROR_SUCCESS) rc = RegDeleteValueA(key.key, name.c_str());
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
      throw RegistryError("cannot remove " + name + " from " + Describe(root, path), rc);
  }

  std::string Describe(platform::HKEY root, const std::string& path) override {
    const char* rootName = root == kLocalMachine  ? "HKEY_LOCAL_MACHINE"
                           : root == kCurrentUser ? "HKEY_CURRENT_USER"
                                                  : "an unknown root";
    std::string described = rootName;
    if (const char* rest = Relative(path); *rest) described += std::string("\\") + rest;
    return described;
  }
 private:
  // Opens an existing key for reading; false when it does not exist.
  bool OpenExisting(platform::HKEY root, const std::string& path, KeyHandle& key) {
    LONG rc = RegOpenKeyExA(WindowsRoot(root), Relative(path), 0, KEY_READ, &key.key);
    if (rc == ERROR_FILE_NOT_FOUND) return false;
    if (rc != ERROR_SUCCESS) throw RegistryError("Failed to open " + Describe(root, path), rc);
    return true;
  }
};

}  // namespace

KeyStore& DefaultKeyStore() {
  static WindowsStore store;
  return store;
}

}  // namespace platform

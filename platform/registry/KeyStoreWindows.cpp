// The registry on Windows: advapi32's registry, in the process's own view of it (a 32-bit
// package sees the 32-bit ODBC definitions, as the driver manager it runs beside does).
//
// Values are read as the host framework's registry class reads them: the type is checked
// here, since RegQueryValueExA copies a DWORD into a char buffer without complaint, and a
// string ends at its first NUL whether or not it was stored with one.
#include <optional>
#include <string>
#include <vector>

#include "platform/registry/Registry.h"
#include "platform/registry/RegistryKeyWindows.h"

namespace platform {
namespace {

// The registry layer's exception for what the store met: the host framework's class raises
// it, and the store's interface answers with it.
[[noreturn]] void Raise(const Failure& failure) { throw ERegistryException(failure.reason); }

bool IsString(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

// The value's raw bytes and type.
struct RawValue {
  DWORD type = REG_NONE;
  std::string bytes;
};

// The value; nullopt when it does not exist.
Result<std::optional<RawValue>> QueryValue(::HKEY key, const std::string& name) {
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
      return std::optional<RawValue>(std::move(value));
    }
  }
  if (rc == ERROR_FILE_NOT_FOUND) return std::optional<RawValue>();
  return RegistryFailure(rc, "Failed to get data for '" + name + "'");
}

// A string value's text: up to its first NUL, if it has one.
std::string StringOf(const RawValue& value) {
  return value.bytes.substr(0, value.bytes.find('\0'));
}

// The text of a string value; "" for a missing one, or one that is not a string.
Result<std::string> StringOrEmpty(::HKEY key, const std::string& name) {
  auto value = QueryValue(key, name);
  if (!value) return value.failure();
  return *value && IsString((*value)->type) ? StringOf(**value) : std::string();
}

class WindowsKey : public StoreKey {
 public:
  explicit WindowsKey(RegistryKey key) : key_(std::move(key)) {}

  std::optional<std::string> ReadString(const std::string& name) override {
    auto value = QueryValue(key_.get(), name);
    if (!value) Raise(value.failure());
    if (!*value) return std::nullopt;
    if (!IsString((*value)->type)) throw ERegistryException("Invalid data type for '" + name + "'");
    return StringOf(**value);
  }

  void WriteString(const std::string& name, const std::string& value) override {
    // REG_SZ with its terminating NUL, as Windows' own tools store strings.
    LONG rc = RegSetValueExA(key_.get(), name.c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>(value.size() + 1));
    if (rc != ERROR_SUCCESS) Raise(RegistryFailure(rc, "Failed to set data for '" + name + "'"));
  }

  void Flush() override {
    LONG rc = RegFlushKey(key_.get());
    if (rc != ERROR_SUCCESS) Raise(RegistryFailure(rc, "Failed to flush the registry key"));
  }

 private:
  RegistryKey key_;
};

// Every value of a key, by name, in the registry's order.
template <typename Visit>
void ForEachValue(::HKEY key, Visit visit) {
  std::vector<char> name(16384);  // the longest value name Windows allows, and its NUL
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(name.size());
    LONG rc = RegEnumValueA(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) Raise(RegistryFailure(rc, "Failed to list the values"));
    const std::string valueName(name.data(), length);
    auto value = QueryValue(key, valueName);
    if (!value) Raise(value.failure());
    if (*value) visit(valueName, **value);
  }
}

// A key's values as text, then its subkeys', depth first.
void ReadTreeOf(::HKEY key, KeyStore::Values& values) {
  ForEachValue(key, [&](const std::string& name, const RawValue& value) {
    if (auto text = KeyStore::AsText(value.type, value.bytes)) values.emplace_back(name, *text);
  });
  char sub[256];  // the longest key name Windows allows, and its NUL
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof sub;
    LONG rc = RegEnumKeyExA(key, index, sub, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) Raise(RegistryFailure(rc, "Failed to list the subkeys"));
    auto child = RegistryKey::Open(key, std::string(sub, length), KEY_READ);
    if (!child)
      Raise(RegistryFailure(child.failure().code, "Failed to open " + std::string(sub, length)));
    ReadTreeOf(child->get(), values);
  }
}

class WindowsStore : public KeyStore {
 public:
  std::unique_ptr<StoreKey> Open(platform::HKEY root, const std::string& path,
                                 Access access) override {
    const REGSAM sam = access == Access::Read ? KEY_READ : KEY_READ | KEY_WRITE;
    auto key = RegistryKey::Open(root, path, sam);
    if (!key) return nullptr;
    return std::make_unique<WindowsKey>(std::move(*key));
  }

  std::optional<SubKeyValues> ReadSubKeys(platform::HKEY root, const std::string& path,
                                          const std::string& valueName) override {
    auto parent = OpenExisting(root, path);
    if (!parent) Raise(parent.failure());
    if (!*parent) return std::nullopt;
    SubKeyValues result;
    char name[256];  // the longest key name Windows allows, and its NUL
    for (DWORD index = 0;; ++index) {
      DWORD length = sizeof name;
      LONG rc = RegEnumKeyExA(parent->get(), index, name, &length, nullptr, nullptr, nullptr,
                              nullptr);
      if (rc == ERROR_NO_MORE_ITEMS) break;
      if (rc != ERROR_SUCCESS) Raise(RegistryFailure(rc, "Failed to list the subkeys"));
      result.emplace_back(std::string(name, length), std::string());
      // A subkey that cannot be read is listed without its value.
      auto child = RegistryKey::Open(parent->get(), name, KEY_QUERY_VALUE);
      if (!child) continue;
      auto value = StringOrEmpty(child->get(), valueName);
      if (!value) Raise(value.failure());
      result.back().second = std::move(*value);
    }
    return result;
  }

  std::optional<Values> ReadValues(platform::HKEY root, const std::string& path) override {
    auto key = OpenExisting(root, path);
    if (!key) Raise(key.failure());
    if (!*key) return std::nullopt;
    Values result;
    ForEachValue(key->get(), [&](const std::string& name, const RawValue& value) {
      if (IsString(value.type)) result.emplace_back(name, StringOf(value));
    });
    return result;
  }

  std::optional<Values> ReadTree(platform::HKEY root, const std::string& path) override {
    auto key = OpenExisting(root, path);
    if (!key) Raise(key.failure());
    if (!*key) return std::nullopt;
    Values result;
    ReadTreeOf(key->get(), result);
    return result;
  }

  std::unique_ptr<StoreKey> Create(platform::HKEY root, const std::string& path) override {
    auto key = RegistryKey::Create(root, path, KEY_READ | KEY_WRITE);
    if (!key) Raise(RegistryFailure(key.failure().code, "cannot open " + Describe(root, path)));
    return std::make_unique<WindowsKey>(std::move(*key));
  }

  void Delete(platform::HKEY root, const std::string& path) override {
    LONG rc = RegDeleteTreeA(WindowsRoot(root), RelativeKeyPath(path));
    if (rc == ERROR_SUCCESS) rc = RegDeleteKeyA(WindowsRoot(root), RelativeKeyPath(path));
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
      Raise(RegistryFailure(rc, "cannot remove " + Describe(root, path)));
  }

  void DeleteValue(platform::HKEY root, const std::string& path, const std::string& name) override {
    auto key = RegistryKey::Open(root, path, KEY_SET_VALUE);
    LONG rc = key ? RegDeleteValueA(key->get(), name.c_str())
                  : static_cast<LONG>(key.failure().code);
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
      Raise(RegistryFailure(rc, "cannot remove " + name + " from " + Describe(root, path)));
  }

  std::string Describe(platform::HKEY root, const std::string& path) override {
    const char* rootName = root == HKEY_LOCAL_MACHINE  ? "HKEY_LOCAL_MACHINE"
                           : root == HKEY_CURRENT_USER ? "HKEY_CURRENT_USER"
                                                       : "an unknown root";
    std::string described = rootName;
    if (const char* rest = RelativeKeyPath(path); *rest) described += std::string("\\") + rest;
    return described;
  }

 private:
  // The key for reading; an empty key when it does not exist.
  Result<RegistryKey> OpenExisting(platform::HKEY root, const std::string& path) {
    auto key = RegistryKey::Open(root, path, KEY_READ);
    if (key) return key;
    if (IsMissingKey(key.failure())) return RegistryKey();
    return RegistryFailure(key.failure().code, "Failed to open " + Describe(root, path));
  }
};

}  // namespace

KeyStore& DefaultKeyStore() {
  static WindowsStore store;
  return store;
}

}  // namespace platform

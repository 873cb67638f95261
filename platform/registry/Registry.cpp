#include "platform/registry/Registry.h"

#include <algorithm>

#include "platform/text/Text.h"

namespace platform {

template <>
KeyStore* KeyStoreSeam::override_ = nullptr;

std::optional<std::string> KeyStore::Find(const Values& values, std::string_view name) {
  for (const auto& [k, v] : values)
    if (text::EqualsIgnoreCase(k, name)) return v;
  return std::nullopt;
}

namespace {

enum : uint32_t {
  kString = 1,
  kExpandString = 2,
  kBinary = 3,
  kDword = 4,
  kMultiString = 7,
  kQword = 11,
};

[[noreturn]] void NotARegistry(const char* what) {
  throw ERegistryException(std::string("this store cannot ") + what +
                           ": its data sources are written as files");
}

uint64_t LittleEndian(const std::string& bytes) {
  uint64_t n = 0;
  for (size_t i = bytes.size(); i-- > 0;) n = n << 8 | static_cast<unsigned char>(bytes[i]);
  return n;
}

}  // namespace

std::optional<KeyStore::Values> KeyStore::ReadTree(HKEY, const std::string&) {
  NotARegistry("read a key's tree");
}
std::unique_ptr<StoreKey> KeyStore::Create(HKEY, const std::string&) {
  NotARegistry("make keys");
}
void KeyStore::Delete(HKEY, const std::string&) { NotARegistry("remove keys"); }
void KeyStore::DeleteValue(HKEY, const std::string&, const std::string&) {
  NotARegistry("remove values");
}

std::optional<std::string> KeyStore::AsText(uint32_t type, const std::string& data) {
  switch (type) {
    case kString:
    case kExpandString:
      return data.substr(0, data.find('\0'));
    case kDword:
    case kQword:
    case kBinary:
      if (data.empty() || data.size() > 8) return std::nullopt;
      return std::to_string(LittleEndian(data));
    case kMultiString: {
      std::string text;
      for (size_t at = 0; at < data.size();) {
        const size_t end = std::min(data.find('\0', at), data.size());
        if (end == at) break;
        text += (text.empty() ? "" : ";") + data.substr(at, end - at);
        at = end + 1;
      }
      return text;
    }
    default:
      return std::nullopt;
  }
}

TRegistry::TRegistry() : store_(CurrentKeyStore()) {}

TRegistry::~TRegistry() {
  // Free must not throw; a failed flush on this path has no one to report to.
  try {
    CloseKey();
  } catch (...) {
  }
}

void TRegistry::SetRootKey(HKEY root) {
  CloseKey();
  root_ = root;
}

bool TRegistry::OpenKeyReadOnly(const std::string& key) {
  return Open(key, KeyStore::Access::Read);
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
  if (canCreate) throw ERegistryException("Creating registry keys is not supported");
  return Open(key, KeyStore::Access::ReadWrite);
}

bool TRegistry::Open(const std::string& key, KeyStore::Access access) {
  CloseKey();
  key_ = store_.Open(root_, key, access);
  return key_ != nullptr;
}

void TRegistry::CloseKey() {
  if (!key_) return;
  std::unique_ptr<StoreKey> key = std::move(key_);
  if (!lazyWrite_) key->Flush();
}

std::string TRegistry::ReadString(const std::string& name) {
  if (!key_) throw ERegistryException("No registry key is open");
  return key_->ReadString(name).value_or(std::string());
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  if (!key_) throw ERegistryException("No registry key is open");
  key_->WriteString(name, value);
}

}  // namespace platform

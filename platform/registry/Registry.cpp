#include "platform/registry/Registry.h"

#include "platform/text/Text.h"

namespace platform {

template <>
KeyStore* KeyStoreSeam::override_ = nullptr;

std::optional<std::string> KeyStore::Find(const Values& values, std::string_view name) {
  for (const auto& [k, v] : values)
    if (text::EqualsIgnoreCase(k, name)) return v;
  return std::nullopt;
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

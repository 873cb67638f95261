// The data sources in a registry: each a key under ODBC.INI of its root (the current user's
// or the local machine's), listed by the values of ODBC.INI\ODBC Data Sources. Over a key
// store: the real registry on Windows, an in-memory one in tests.
#pragma once

#include "platform/registry/Registry.h"
#include "platform/sources/DataSourceStore.h"

namespace platform {

class RegistryDataSources : public DataSourceStore {
 public:
  // Over `keys`; null: the key store in force at each call.
  explicit RegistryDataSources(KeyStore* keys = nullptr) : keys_(keys) {}

  // The registry serialises each write itself: no lock, nothing to wait for.
  Result<Lock> LockScope(bool) override { return Lock(); }
  void SetLockWait(double, std::function<void(const std::string&)>) override {}
  Result<StoredSources> Read(bool system) override;
  Result<StoredSources> List(bool system) override;
  Result<FoundSource> Find(bool system, const std::string& name) override;
  // The key store's own description of the key.
  std::string Where(bool system, const std::string& name) override;
  // The registry's own limits, and a NUL, which would end the stored string early.
  Status Storable(const std::string& name, const Pairs& values) override;
  // No transaction: each data source is written in turn, and the first refusal stops the
  // rest.
  Status Edit(bool system, const std::vector<SourceEdit>& edits) override;
  // The registry keeps its own access rights per key.
  std::string ReadableByOthers(bool) override { return ""; }

 private:
  KeyStore& Keys() { return keys_ ? *keys_ : CurrentKeyStore(); }
  void EditOne(HKEY root, const SourceEdit& edit);

  KeyStore* keys_;
};

}  // namespace platform

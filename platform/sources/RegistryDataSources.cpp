#include "platform/sources/RegistryDataSources.h"

#include "platform/odbcinst/DataSources.h"
#include "platform/text/Text.h"

namespace platform {
namespace {

HKEY RootOf(bool system) { return system ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

const std::string& ListingKey() {
  static const std::string key = DataSourceKey(kDataSourcesSection);
  return key;
}

}  // namespace

Result<StoredSources> RegistryDataSources::Read(bool system) {
  KeyStore& keys = Keys();
  const HKEY root = RootOf(system);
  StoredSources stored;
  try {
    auto names = keys.ReadSubKeys(root, DataSourceKey(), "Driver");
    if (!names) return stored;
    for (const auto& [name, driver] : *names) {
      if (IsListingName(name)) {
        if (auto values = keys.ReadValues(root, DataSourceKey(name)))
          stored.listing = std::move(*values);
        continue;
      }
      // Every value and those of its subkeys (a desktop driver's Engines\<engine>), as
      // import takes them into one data source.
      auto values = keys.ReadTree(root, DataSourceKey(name));
      stored.sources.push_back({name, values ? std::move(*values) : Pairs{}, {}});
    }
  } catch (const ERegistryException& e) {
    return Refused(e.what());
  }
  return stored;
}

Result<StoredSources> RegistryDataSources::List(bool system) {
  StoredSources listed;
  try {
    auto names = Keys().ReadSubKeys(RootOf(system), DataSourceKey(), "Driver");
    if (!names) return listed;
    for (auto& [name, driver] : *names) {
      if (IsListingName(name)) continue;
      Pairs values;
      if (!driver.empty()) values.emplace_back("Driver", std::move(driver));
      listed.sources.push_back({std::move(name), std::move(values), {}});
    }
  } catch (const ERegistryException& e) {
    return Refused(e.what());
  }
  return listed;
}

Result<FoundSource> RegistryDataSources::Find(bool system, const std::string& name) {
  KeyStore& keys = Keys();
  const HKEY root = RootOf(system);
  FoundSource found;
  try {
    if (auto values = keys.ReadValues(root, DataSourceKey(name)))
      found.values = std::move(*values);  // a key's value names are unique
    if (auto listing = keys.ReadValues(root, ListingKey()))
      found.listed = KeyStore::Find(*listing, name);
  } catch (const ERegistryException& e) {
    return Refused(e.what());
  }
  found.where = keys.Describe(root, DataSourceKey(name));
  return found;
}

std::string RegistryDataSources::Where(bool system, const std::string& name) {
  return Keys().Describe(RootOf(system), DataSourceKey(name));
}

Status RegistryDataSources::Storable(const std::string& name, const Pairs& values) {
  if (name.empty()) return Refused("invalid data source name: it is empty");
  if (name.size() > 255)
    return Refused("invalid data source name \"" + name + "\": it is longer than 255 bytes");
  if (name.find('\\') != std::string::npos)
    return Refused("invalid data source name \"" + name + "\": it holds the character '\\'");
  for (const auto& [k, v] : values) {
    if (k.empty()) return Refused("invalid keyword \"\": it is empty");
    if (k.size() > 16383)
      return Refused("invalid keyword \"" + k.substr(0, 64) + "...\": it is too long");
    if (k.find('\0') != std::string::npos || v.find('\0') != std::string::npos)
      return Refused("the value of \"" + k + "\" cannot be stored: it holds a NUL byte");
  }
  return {};
}

void RegistryDataSources::EditOne(HKEY root, const SourceEdit& e) {
  KeyStore& keys = Keys();
  const std::string key = DataSourceKey(e.name);
  if (e.kind == SourceEdit::Kind::Remove) {
    keys.Delete(root, key);
    keys.DeleteValue(root, ListingKey(), e.name);
    return;
  }
  std::string library;
  if (!e.driver.empty()) {
    // Driver names the library, as the drivers' own setup writes it in the registry.
    auto definition = keys.ReadValues(HKEY_LOCAL_MACHINE, DriverKey(e.driver));
    library = definition ? KeyStore::Find(*definition, "Driver").value_or("") : "";
    if (library.empty())
      throw ERegistryException("the driver \"" + e.driver + "\" names no library (Driver) in " +
                               keys.Describe(HKEY_LOCAL_MACHINE, DriverKey(e.driver)));
  }
  if (e.kind == SourceEdit::Kind::Replace) keys.Delete(root, key);
  {
    std::unique_ptr<StoreKey> source = keys.Create(root, key);
    if (!library.empty()) source->WriteString("Driver", library);
    for (const auto& [k, v] : e.values) source->WriteString(k, v);
  }
  if (!e.driver.empty()) keys.Create(root, ListingKey())->WriteString(e.name, e.driver);
}

Status RegistryDataSources::Edit(bool system, const std::vector<SourceEdit>& edits) {
  try {
    for (const SourceEdit& e : edits) EditOne(RootOf(system), e);
  } catch (const ERegistryException& e) {
    return Refused(e.what());
  }
  return {};
}

}  // namespace platform

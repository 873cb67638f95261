// The Windows store under the key store contract, against Wine's registry: keys arranged
// through advapi32, as Windows' own tools make them.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string_view>
#include <vector>

#include "platform/WindowsApi.h"
#include "platform/sources/DataSourceStore.h"
#include "tests/contract/DataSourceStoreContract.h"
#include "platform/registry/RegistryKeyWindows.h"
#include "tests/contract/KeyStoreContract.h"
#include "tests/windows/WineRegistry.h"

using namespace std::string_literals;
using namespace wintest;

namespace {

using platform::RegistryKey;

// Gives a key this access list (null: everyone may do anything).
void SetAccess(platform::HKEY root, const std::string& path, PACL acl) {
  auto key = RegistryKey::Open(root, path, WRITE_DAC);
  if (!key) throw std::runtime_error("cannot change the access list of " + path);
  SECURITY_DESCRIPTOR sd;
  InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
  if (RegSetKeySecurity(key->get(), DACL_SECURITY_INFORMATION, &sd) != ERROR_SUCCESS)
    throw std::runtime_error("cannot set the access list of " + path);
}

// Every key these tests make: the subkeys named "Contract ..." of ODBC's two keys, each
// given back full access first, since a test may have made it read-only.
void RemoveContractKeys() {
  for (platform::HKEY root : {kUser, kMachine}) {
    for (const std::string parent : {"Software\\ODBC\\ODBC.INI", "Software\\ODBC\\ODBCINST.INI"}) {
      std::vector<std::string> ours;
      auto key = RegistryKey::Open(root, parent, KEY_READ);
      if (!key) continue;
      char name[256];
      for (DWORD index = 0;; ++index) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key->get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
          break;
        if (std::string_view(name, length).starts_with("Contract "))
          ours.emplace_back(name, length);
      }
      for (const std::string& name : ours) {
        SetAccess(root, parent + "\\" + name, nullptr);
        DeleteTree(root, parent + "\\" + name);
      }
    }
  }
}

class WindowsBackend : public contract::KeyStoreBackend {
 public:
  WindowsBackend() {
    // The registry keeps subkeys sorted by name; Wine's keeps values so too (Windows' own
    // lists them as they were made).
    valueOrder = contract::Order::ByName;
    subKeyOrder = contract::Order::ByName;
    RemoveContractKeys();
  }
  ~WindowsBackend() override { RemoveContractKeys(); }
  platform::KeyStore& Store() override { return platform::DefaultKeyStore(); }

  // REG_SZ values with their terminating NUL, as Windows' tools store them.
  void Arrange(platform::HKEY root, const std::string& path,
               const platform::KeyStore::Values& values) override {
    CreateKey(root, path.substr(1));
    for (const auto& [name, value] : values)
      SetValue(root, path.substr(1), name, kSz, value + '\0');
  }
  void ArrangeNumber(platform::HKEY root, const std::string& path,
                     const std::string& name) override {
    SetValue(root, path.substr(1), name, kDword, "\x2a\0\0\0"s);
  }
  // Everyone may read the key, and change its access list or delete it, but not write it.
  void ArrangeReadOnly(platform::HKEY root, const std::string& path) override {
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    ASSERT_TRUE(
        AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
    alignas(DWORD) char buffer[256];
    PACL acl = reinterpret_cast<PACL>(buffer);
    InitializeAcl(acl, sizeof buffer, ACL_REVISION);
    AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ | WRITE_DAC | DELETE, everyone);
    FreeSid(everyone);
    SetAccess(root, path.substr(1), acl);
  }
};

// The registry's data sources, as the client's verbs change them.
class WindowsSourcesBackend : public contract::DataSourceBackend {
 public:
  WindowsSourcesBackend() {
    driverIsLibrary = true;
    valueOrder = contract::Order::ByName;
    sourceOrder = contract::Order::ByName;
    RemoveContractKeys();
    RemoveContractListing();
  }
  ~WindowsSourcesBackend() override {
    RemoveContractKeys();
    RemoveContractListing();
  }
  platform::DataSourceStore& Store() override { return platform::DefaultDataSourceStore(); }
  void ArrangeDriver(const std::string& description, const std::string& library) override {
    SetValue(kMachine, platform::DriverKey(description).substr(1), "Driver", kSz, library + '\0');
  }
  void ArrangeListedOnly(bool system, const std::string& name, const std::string& driver) override {
    SetString(system ? kMachine : kUser, platform::DataSourceKey("ODBC Data Sources").substr(1),
              name, driver);
  }

 private:
  // The listing's lines these tests wrote, under either root: every name "Contract ...".
  static void RemoveContractListing() {
    for (platform::HKEY root : {kUser, kMachine})
      for (const auto& [name, raw] : Values(root, kSourcesKey + "ODBC Data Sources"))
        if (name.starts_with("Contract "))
          platform::DefaultKeyStore().DeleteValue(
              root, platform::DataSourceKey("ODBC Data Sources"), name);
  }
};

}  // namespace

namespace contract {
INSTANTIATE_TYPED_TEST_SUITE_P(Windows, DataSourceStoreContract, WindowsSourcesBackend);
INSTANTIATE_TYPED_TEST_SUITE_P(Windows, KeyStoreContract, WindowsBackend);
}  // namespace contract

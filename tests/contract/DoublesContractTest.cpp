// The test doubles under the same contracts as the real backends, so that unit tests built on
// them expect what the real ones do.
#include "platform/fakes/MemoryStore.h"
#include "platform/fakes/RecordingInstaller.h"
#include "platform/odbcinst/DataSources.h"
#include "platform/sources/RegistryDataSources.h"
#include "tests/contract/DataSourceStoreContract.h"
#include "tests/contract/InstallerContract.h"
#include "tests/contract/KeyStoreContract.h"

namespace {

class MemoryBackend : public contract::KeyStoreBackend {
 public:
  platform::KeyStore& Store() override { return store_; }
  void Arrange(platform::HKEY root, const std::string& path,
               const platform::KeyStore::Values& values) override {
    store_.CreateKey(root, path);
    for (const auto& [name, value] : values) store_.SetString(root, path, name, value);
  }
  void ArrangeNumber(platform::HKEY root, const std::string& path,
                     const std::string& name) override {
    store_.SetDword(root, path, name, 42);
  }
  void ArrangeReadOnly(platform::HKEY root, const std::string& path) override {
    store_.SetReadOnly(root, path, true);
  }

 private:
  platform::MemoryStore store_;
};

// The registry's data sources over the in-memory key store: the unit tests' store.
class MemorySourcesBackend : public contract::DataSourceBackend {
 public:
  MemorySourcesBackend() { driverIsLibrary = true; }
  platform::DataSourceStore& Store() override { return sources_; }
  void ArrangeDriver(const std::string& description, const std::string& library) override {
    keys_.SetString(platform::HKEY_LOCAL_MACHINE, platform::DriverKey(description), "Driver",
                    library);
  }
  void ArrangeListedOnly(bool system, const std::string& name, const std::string& driver) override {
    keys_.SetString(system ? platform::HKEY_LOCAL_MACHINE : platform::HKEY_CURRENT_USER,
                    platform::DataSourceKey(platform::kDataSourcesSection), name, driver);
  }

 private:
  platform::MemoryStore keys_;
  platform::RegistryDataSources sources_{&keys_};
};

class RecordingBackend : public contract::InstallerBackend {
 public:
  RecordingBackend() {
    // It keeps every request it receives, refused ones too.
    refusalsLeaveNoTrace = false;
  }
  platform::Installer& Subject() override { return installer_; }
  std::string State() override {
    std::string state;
    for (const auto& call : installer_.calls)
      state += std::to_string(call.request) + " " + call.driver + " " + call.attributes + "\n";
    return state;
  }
  void ArrangeRefusal(bool refuse) override { installer_.answer = !refuse; }

 private:
  platform::RecordingInstaller installer_;
};

}  // namespace

namespace contract {
INSTANTIATE_TYPED_TEST_SUITE_P(Memory, KeyStoreContract, MemoryBackend);
INSTANTIATE_TYPED_TEST_SUITE_P(Memory, DataSourceStoreContract, MemorySourcesBackend);
INSTANTIATE_TYPED_TEST_SUITE_P(Recording, InstallerContract, RecordingBackend);
}  // namespace contract

// The installer under the installer contract, against Wine's odbccp32: the contract's driver
// is registered with the test setup library, which writes the data sources' keys, so what
// the requests left is read back from the registry and the library's log.
#include <gtest/gtest.h>

#include <string_view>

#include "platform/odbcinst/Installer.h"
#include "tests/contract/InstallerContract.h"
#include "tests/windows/WineRegistry.h"

using namespace wintest;

namespace {

// The data sources the contract's requests name: "Contract ..." and the default one.
bool Ours(std::string_view name) { return name.starts_with("Contract ") || name == "Default"; }

class WindowsInstallerBackend : public contract::InstallerBackend {
 public:
  WindowsInstallerBackend() {
    // The setup library decides configures and removes: the plan cannot know whether it
    // finds the data source (our own setup refuses a missing one, another may create it).
    plansForetellSetupDecisions = false;
    carriesOutDefaultRemoval = false;  // Wine 8's odbccp32
    InstallSetupLibrary();
    SetEnv("TABRIX_SETUP_LOG", kSetupLog);
    Clean();
    ArrangeRefusal(false);
  }
  ~WindowsInstallerBackend() override {
    Clean();
    DeleteTree(kMachine, kDriversKey + driver);
  }
  platform::Installer& Subject() override { return platform::DefaultInstaller(); }

  // Each root's data sources with their values, then every call the setup library received.
  std::string State() override {
    std::string state;
    for (platform::HKEY root : {kUser, kMachine}) {
      state += root == kUser ? "user:\n" : "machine:\n";
      for (const std::string& name : SubKeyNames(root, kSourcesKey)) {
        if (!Ours(name)) continue;
        state += "[" + name + "]\n";
        for (const auto& [value, raw] : Values(root, kSourcesKey + name))
          state += value + " (" + std::to_string(raw.type) + ") " + raw.bytes + "\n";
      }
    }
    state += "setup:\n";
    for (const SetupCall& call : SetupCalls())
      state += std::to_string(call.request) + " " + std::to_string(call.mode) + " " +
               call.driver + " " + call.attributes + "\n";
    return state;
  }

  // The driver uninstalled, then installed again.
  void ArrangeRefusal(bool refuse) override {
    if (refuse)
      DeleteTree(kMachine, kDriversKey + driver);
    else
      RegisterDriver(driver, kSetupLibrary);
  }

 private:
  void Clean() {
    UnsetEnv("TABRIX_SETUP_REFUSE");
    ClearSetupCalls();
    for (platform::HKEY root : {kUser, kMachine})
      for (const std::string& name : SubKeyNames(root, kSourcesKey))
        if (Ours(name)) DeleteTree(root, kSourcesKey + name);
  }
};

}  // namespace

namespace contract {
INSTANTIATE_TYPED_TEST_SUITE_P(Windows, InstallerContract, WindowsInstallerBackend);
}  // namespace contract

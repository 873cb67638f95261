// The installer on Windows: odbccp32's SQLConfigDataSource, bound at load time, so the
// package does not load where the installer library is absent. The driver's own setup
// library decides every request; we hand it the attribute list exactly as it was built.
#include <string>

#include "platform/WindowsApi.h"
#include "platform/odbcinst/AttributeList.h"
#include "platform/odbcinst/Installer.h"
#include "platform/odbcinst/InstallerLog.h"
#include "platform/registry/Registry.h"

namespace platform {
namespace {

constexpr HKEY kLocalMachine = HKEY_LOCAL_MACHINE;

SRWLOCK logLock = SRWLOCK_INIT;

class WindowsInstaller : public Installer {
 public:
  InstallPlan Plan(uint16_t request, const std::string& driver,
                   const std::string& attributes) override {
    if (request < ODBC_ADD_DSN || request > ODBC_REMOVE_DEFAULT_DSN)
      return {false, "invalid request code " + std::to_string(request), ""};
    AttributePairs pairs;
    size_t consumed = 0;
    std::string why;
    if (!ParseAttributeList(attributes, pairs, consumed, why)) return {false, why, ""};

    // Where odbccp32 looks, whatever store the rest of the process is using.
    const std::string key = "Software\\ODBC\\ODBCINST.INI\\" + driver;
    std::string setup;
    try {
      std::unique_ptr<StoreKey> definition =
          driver.empty() ? nullptr
                         : DefaultKeyStore().Open(kLocalMachine, key, KeyStore::Access::Read);
      if (!definition) return {false, "the driver \"" + driver + "\" is not installed", ""};
      setup = definition->ReadString("Setup").value_or("");
    } catch (const ERegistryException& e) {
      return {false, e.what(), ""};
    }
    if (setup.empty()) return {false, "the driver \"" + driver + "\" has no setup library", ""};
    return {true, "", "decided by the driver's setup library " + setup};
  }

  Status ConfigDataSource(HWND, uint16_t request, const std::string& driver,
                          const std::string& attributes) override {
    InstallerLogLock serial;
    ResetLogLocked("", 0);  // the log is the process's: what it holds next is this call's
    // No parent window: the driver's setup must not show its dialogs.
    if (::SQLConfigDataSource(nullptr, request, driver.c_str(), attributes.c_str())) return {};
    std::optional<Failure> failure = NewestLogRecord();
    if (!failure || failure->reason.empty())
      return Refused("the ODBC installer refused the request without a reason");
    return *failure;
  }
};

}  // namespace

InstallerLogLock::InstallerLogLock() { AcquireSRWLockExclusive(&logLock); }
InstallerLogLock::~InstallerLogLock() { ReleaseSRWLockExclusive(&logLock); }

Installer& DefaultInstaller() {
  static WindowsInstaller installer;
  return installer;
}

}  // namespace platform

// The installer on Windows: odbccp32's SQLConfigDataSource, bound at load time, so the
// package does not load where the installer library is absent. The driver's own setup
// library decides every request; we hand it the attribute list exactly as it was built.
#include <string>

#include "platform/WindowsApi.h"
#include "platform/odbcinst/AttributeList.h"
#include "platform/odbcinst/Installer.h"
#include "platform/registry/Registry.h"

namespace platform {
namespace {

constexpr HKEY kLocalMachine = HKEY_LOCAL_MACHINE;

thread_local std::string lastError;

// The installer's own reason for the last failure, when it recorded one.
std::string InstallerReason() {
  DWORD code = 0;
  char message[SQL_MAX_MESSAGE_LENGTH] = {};
  WORD length = 0;
  SQLRETURN rc = SQLInstallerError(1, &code, message, sizeof message, &length);
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return "";
  return message;
}

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

  bool ConfigDataSource(HWND, uint16_t request, const std::string& driver,
                        const std::string& attributes) override {
    // No parent window: the driver's setup must not show its dialogs.
    if (::SQLConfigDataSource(nullptr, request, driver.c_str(), attributes.c_str())) {
      lastError.clear();
      return true;
    }
    lastError = InstallerReason();
    if (lastError.empty()) lastError = "the ODBC installer refused the request without a reason";
    return false;
  }

  std::string LastError() const override { return lastError; }
};

}  // namespace

// odbccp32 empties its log at the start of each call but its error functions; posting after
// one keeps this reason alone.
void ResetInstallerLog(const std::string& reason, uint32_t code) {
  static SRWLOCK serial = SRWLOCK_INIT;
  AcquireSRWLockExclusive(&serial);
  UWORD mode = 0;
  SQLGetConfigMode(&mode);
  if (!reason.empty()) SQLPostInstallerError(code, reason.c_str());
  ReleaseSRWLockExclusive(&serial);
}

Installer& DefaultInstaller() {
  static WindowsInstaller installer;
  return installer;
}

}  // namespace platform

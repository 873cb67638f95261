// The installer on Windows: odbccp32's SQLConfigDataSource, bound at load time, so the
// package does not load where the installer library is absent. The driver's own setup
// library decides requests 1 to 6; we hand it the attribute list exactly as it was built.
// What the plan refuses is refused before odbccp32 sees it, with the plan's reason, since
// odbccp32 words the same refusals in its own way or not at all.
// Request 7 names no driver: odbccp32 removes the default data source itself, handed no
// driver and no attributes, as its callers are told to call it.
#include <string>

#include "platform/WindowsApi.h"
#include "platform/odbcinst/AttributeList.h"
#include "platform/odbcinst/Installer.h"
#include "platform/odbcinst/InstallerLog.h"
#include "platform/registry/Registry.h"

namespace platform {
namespace {

constexpr HKEY kLocalMachine = HKEY_LOCAL_MACHINE;
constexpr HKEY kCurrentUser = HKEY_CURRENT_USER;

SRWLOCK logLock = SRWLOCK_INIT;

// The driver's setup library, or why odbccp32 would not reach one, with its error code.
// Read where odbccp32 looks, whatever store the rest of the process is using.
Result<std::string> SetupLibrary(uint16_t request, const std::string& driver,
                                 const std::string& attributes) {
  if (request < ODBC_ADD_DSN || request > ODBC_REMOVE_DEFAULT_DSN)
    return Failure{ODBC_ERROR_INVALID_REQUEST_TYPE,
                   "invalid request code " + std::to_string(request)};
  AttributePairs pairs;
  size_t consumed = 0;
  std::string why;
  if (!ParseAttributeList(attributes, pairs, consumed, why))
    return Failure{ODBC_ERROR_INVALID_KEYWORD_VALUE, why};
  const std::string key = "Software\\ODBC\\ODBCINST.INI\\" + driver;
  std::string setup;
  try {
    std::unique_ptr<StoreKey> definition =
        driver.empty() ? nullptr
                       : DefaultKeyStore().Open(kLocalMachine, key, KeyStore::Access::Read);
    if (!definition)
      return Failure{ODBC_ERROR_COMPONENT_NOT_FOUND,
                     "the driver \"" + driver + "\" is not installed"};
    setup = definition->ReadString("Setup").value_or("");
  } catch (const ERegistryException& e) {
    return Failure{ODBC_ERROR_GENERAL_ERR, e.what()};
  }
  if (setup.empty())
    return Failure{ODBC_ERROR_COMPONENT_NOT_FOUND,
                   "the driver \"" + driver + "\" has no setup library"};
  return setup;
}

// The default data source, for the plan: the current user's.
const std::string kDefaultKey = DataSourceKey("Default");

class WindowsInstaller : public Installer {
 public:
  InstallPlan Plan(uint16_t request, const std::string& driver,
                   const std::string& attributes) override {
    if (request == ODBC_REMOVE_DEFAULT_DSN)
      return {true, "", "decided by the ODBC installer: " +
                            DefaultKeyStore().Describe(kCurrentUser, kDefaultKey)};
    Result<std::string> setup = SetupLibrary(request, driver, attributes);
    if (!setup) return {false, setup.reason(), ""};
    return {true, "", "decided by the driver's setup library " + *setup};
  }

  Status ConfigDataSource(HWND, uint16_t request, const std::string& driver,
                          const std::string& attributes) override {
    InstallerLogLock serial;
    ResetLogLocked("", 0);  // the log is the process's: what it holds next is this call's
    const bool byDriver = request != ODBC_REMOVE_DEFAULT_DSN;
    if (byDriver)
      if (Result<std::string> setup = SetupLibrary(request, driver, attributes); !setup)
        return Posted(setup.failure());
    // No parent window: the driver's setup must not show its dialogs.
    if (::SQLConfigDataSource(nullptr, request, byDriver ? driver.c_str() : nullptr,
                              byDriver ? attributes.c_str() : nullptr))
      return {};
    std::optional<Failure> failure = NewestLogRecord();
    if (!failure || failure->reason.empty())
      return Refused("the ODBC installer refused the request without a reason");
    return *failure;
  }

 private:
  // With the log's lock held: a refusal of our own reaches the log, as odbccp32's would.
  static Status Posted(Status done) {
    if (!done) ResetLogLocked(done.reason(), static_cast<uint32_t>(done.failure().code));
    return done;
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

#include "platform/odbcinst/Installer.h"

#include "platform/odbcinst/InstallerLog.h"

namespace platform {

template <>
Installer* InstallerSeam::override_ = nullptr;

namespace {

// Why the last request of this thread failed: the installer's reason, or the one a layer
// above posted when it refused the request before sending it; empty after a success.
thread_local std::string lastReason;

}  // namespace

bool SQLConfigDataSource(HWND parent, uint16_t request, const std::string& driver,
                         const std::string& attributes) {
  const Status done = CurrentInstaller().ConfigDataSource(parent, request, driver, attributes);
  lastReason = done.reason();
  return done.ok();
}

std::string InstallerError() { return lastReason; }

void PostInstallerError(const std::string& reason, uint32_t code) {
  lastReason = reason;
  ResetInstallerLog(reason, code);
}

void ResetInstallerLog(const std::string& reason, uint32_t code) {
  InstallerLogLock serial;
  ResetLogLocked(reason, code);
}

}  // namespace platform

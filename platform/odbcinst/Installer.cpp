#include "platform/odbcinst/Installer.h"

namespace platform {

template <>
Installer* InstallerSeam::override_ = nullptr;

namespace {

thread_local std::string posted;  // why a layer above refused the last request, if it did

}  // namespace

bool SQLConfigDataSource(HWND parent, uint16_t request, const std::string& driver,
                         const std::string& attributes) {
  posted.clear();
  return CurrentInstaller().ConfigDataSource(parent, request, driver, attributes);
}

std::string InstallerError() { return posted.empty() ? CurrentInstaller().LastError() : posted; }

void PostInstallerError(const std::string& reason, uint32_t code) {
  posted = reason;
  ResetInstallerLog(reason, code);
}

}  // namespace platform

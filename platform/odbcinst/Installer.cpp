#include "platform/odbcinst/Installer.h"

namespace platform {
namespace {

Installer* overrideInstaller = nullptr;

}  // namespace

ScopedInstaller::ScopedInstaller(Installer& installer) : previous_(overrideInstaller) {
  overrideInstaller = &installer;
}

ScopedInstaller::~ScopedInstaller() { overrideInstaller = previous_; }

Installer& CurrentInstaller() {
  return overrideInstaller ? *overrideInstaller : DefaultInstaller();
}

bool SQLConfigDataSource(HWND parent, uint16_t request, const std::string& driver,
                         const std::string& attributes) {
  return CurrentInstaller().ConfigDataSource(parent, request, driver, attributes);
}

std::string InstallerError() { return CurrentInstaller().LastError(); }

}  // namespace platform

// The ODBC installer seam: SQLConfigDataSource under its platform name.
//
// The attribute list is passed as the caller built it: keyword=value pairs each ended by a
// NUL, then the closing NUL, all inside the string.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Failure.h"
#include "platform/Seam.h"

namespace platform {

// The installer's request codes.
inline constexpr uint16_t ODBC_ADD_DSN = 1;
inline constexpr uint16_t ODBC_CONFIG_DSN = 2;
inline constexpr uint16_t ODBC_REMOVE_DSN = 3;
inline constexpr uint16_t ODBC_ADD_SYS_DSN = 4;
inline constexpr uint16_t ODBC_CONFIG_SYS_DSN = 5;
inline constexpr uint16_t ODBC_REMOVE_SYS_DSN = 6;
inline constexpr uint16_t ODBC_REMOVE_DEFAULT_DSN = 7;

// Requests 4 to 6 act on system data sources; the others on the current user's.
inline bool IsSystemRequest(int32_t request) {
  return request >= ODBC_ADD_SYS_DSN && request <= ODBC_REMOVE_SYS_DSN;
}

using HWND = void*;

// What a request would do, worked out without doing it (a dry run).
struct InstallPlan {
  bool accepted = false;
  std::string reason;  // why it would be refused
  std::string target;  // what it would change, e.g. "/etc/odbc.ini, section [Sales]"
  // The refusal comes from what the data sources are now (one missing), not from the request
  // itself: an earlier request of the same run may change that.
  bool dependsOnState = false;
};

class Installer {
 public:
  virtual ~Installer() = default;
  // The checks and the target of ConfigDataSource; changes nothing.
  virtual InstallPlan Plan(uint16_t request, const std::string& driver,
                           const std::string& attributes) = 0;
  // Carries out the request, or says why not: the Failure's code is the installer's error
  // code (ODBC_ERROR_...), its reason the installer's own words.
  virtual Status ConfigDataSource(HWND parent, uint16_t request, const std::string& driver,
                                  const std::string& attributes) = 0;
};

// The installer used unless a ScopedInstaller is in force: unixODBC's on Linux
// (InstallerPosix.cpp), odbccp32 on Windows (InstallerWindows.cpp).
Installer& DefaultInstaller();

using InstallerSeam = Seam<Installer, DefaultInstaller>;
template <>
Installer* InstallerSeam::override_;  // Installer.cpp

// Puts `installer` in place of the process default for its lifetime (tests).
using ScopedInstaller = InstallerSeam::Scoped;

// The installer in force.
inline Installer& CurrentInstaller() { return InstallerSeam::Current(); }

bool SQLConfigDataSource(HWND parent, uint16_t request, const std::string& driver,
                         const std::string& attributes);
// The reason the last request of this thread failed: the installer's, or the reason a layer
// above it posted when it refused the request before sending it.
std::string InstallerError();
// Posts why a request was refused before it reached the installer (the library's or the
// component's checks), for InstallerError; the next SQLConfigDataSource forgets it. The
// installer library's own error log (SQLInstallerError) then holds this reason alone, under
// `code` (ODBC_ERROR_GENERAL_ERR unless given).
void PostInstallerError(const std::string& reason, uint32_t code = 1);

// The installer library's error log, as the backend keeps it: emptied, then given `reason`
// when it is not empty, so that SQLInstallerError(1) answers the last call's refusal and
// nothing after a success. Calls that post or read the log are serialised process-wide.
void ResetInstallerLog(const std::string& reason = "", uint32_t code = 1);

}  // namespace platform

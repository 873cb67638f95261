// The ODBC installer seam: SQLConfigDataSource under its platform name.
//
// The attribute list is passed as the caller built it: keyword=value pairs each ended by a
// NUL, then the closing NUL, all inside the string.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The installer's request codes.
inline constexpr uint16_t ODBC_ADD_DSN = 1;
inline constexpr uint16_t ODBC_CONFIG_DSN = 2;
inline constexpr uint16_t ODBC_REMOVE_DSN = 3;
inline constexpr uint16_t ODBC_ADD_SYS_DSN = 4;
inline constexpr uint16_t ODBC_CONFIG_SYS_DSN = 5;
inline constexpr uint16_t ODBC_REMOVE_SYS_DSN = 6;
inline constexpr uint16_t ODBC_REMOVE_DEFAULT_DSN = 7;

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
  // True when the installer carried out the request.
  virtual bool ConfigDataSource(HWND parent, uint16_t request, const std::string& driver,
                                const std::string& attributes) = 0;
  // Why the last request of this thread failed; empty after a success.
  virtual std::string LastError() const = 0;
};

// The installer used unless a ScopedInstaller is in force.
Installer& DefaultInstaller();

// Puts `installer` in place of the process default for its lifetime (tests).
class ScopedInstaller {
 public:
  explicit ScopedInstaller(Installer& installer);
  ~ScopedInstaller();
  ScopedInstaller(const ScopedInstaller&) = delete;
  ScopedInstaller& operator=(const ScopedInstaller&) = delete;

 private:
  Installer* previous_;
};

// The installer in force.
Installer& CurrentInstaller();

bool SQLConfigDataSource(HWND parent, uint16_t request, const std::string& driver,
                         const std::string& attributes);
// The reason the last SQLConfigDataSource of this thread failed.
std::string InstallerError();

}  // namespace platform

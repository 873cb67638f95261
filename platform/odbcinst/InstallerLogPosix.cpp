// The installer's log on Linux: libodbcinst's, through its seam.
#include "platform/odbcinst/InstallerLog.h"
#include "platform/odbcinst/OdbcInstLibrary.h"

namespace platform {

void EmptyLog() { CurrentOdbcInstLibrary().GetConfigMode(); }

void PostToLog(uint32_t code, const std::string& reason) {
  CurrentOdbcInstLibrary().PostInstallerError(code, reason);
}

std::optional<Failure> LogRecord(uint16_t index) {
  return CurrentOdbcInstLibrary().InstallerError(index);
}

}  // namespace platform

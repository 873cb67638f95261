// The installer's log on Windows: odbccp32's, linked.
#include "platform/odbcinst/InstallerLog.h"
#include "platform/WindowsApi.h"

namespace platform {

void EmptyLog() {
  UWORD mode = 0;
  SQLGetConfigMode(&mode);
}

void PostToLog(uint32_t code, const std::string& reason) {
  SQLPostInstallerError(static_cast<DWORD>(code), reason.c_str());
}

std::optional<Failure> LogRecord(uint16_t index) {
  DWORD code = 0;
  char message[SQL_MAX_MESSAGE_LENGTH] = {};
  WORD length = 0;
  const SQLRETURN rc = SQLInstallerError(index, &code, message, sizeof message, &length);
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return std::nullopt;
  return Failure{static_cast<int>(code), message};
}

}  // namespace platform

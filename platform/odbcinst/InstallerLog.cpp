#include "platform/odbcinst/InstallerLog.h"

// The installer library's API: windows.h comes first on Windows, and our own request codes
// stay ours.
#ifdef _WIN32
#include "platform/WindowsApi.h"
#else
#include <odbcinst.h>
#endif

namespace platform {

void ResetLogLocked(const std::string& reason, uint32_t code) {
  // SQLGetConfigMode does nothing but empty the log.
  UWORD mode = 0;
  SQLGetConfigMode(&mode);
  if (!reason.empty()) SQLPostInstallerError(static_cast<DWORD>(code), reason.c_str());
}

std::optional<Failure> NewestLogRecord() {
  // The log holds at most eight records.
  std::optional<Failure> newest;
  for (WORD index = 1; index <= 8; ++index) {
    DWORD code = 0;
    char message[SQL_MAX_MESSAGE_LENGTH] = {};
    WORD length = 0;
    const SQLRETURN rc = SQLInstallerError(index, &code, message, sizeof message, &length);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
    newest = Failure{static_cast<int>(code), message};
  }
  return newest;
}

}  // namespace platform

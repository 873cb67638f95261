#include "platform/odbcinst/InstallerLog.h"

namespace platform {

void ResetLogLocked(const std::string& reason, uint32_t code) {
  EmptyLog();
  if (!reason.empty()) PostToLog(code, reason);
}

std::optional<Failure> NewestLogRecord() {
  // The log holds at most eight records.
  std::optional<Failure> newest;
  for (uint16_t index = 1; index <= 8; ++index) {
    std::optional<Failure> record = LogRecord(index);
    if (!record) break;
    newest = std::move(record);
  }
  return newest;
}

}  // namespace platform

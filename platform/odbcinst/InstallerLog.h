// The installer library's error log (SQLInstallerError's), read and written the same way by
// both backends. The log is one per process, not per thread: every call that posts or reads
// it holds an InstallerLogLock, so that no thread reads another's reason.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Failure.h"

namespace platform {

// Holds the process's log for its lifetime. Defined by the backend (InstallerPosix.cpp,
// InstallerWindows.cpp): the lock is the OS's own.
class InstallerLogLock {
 public:
  InstallerLogLock();
  ~InstallerLogLock();
  InstallerLogLock(const InstallerLogLock&) = delete;
  InstallerLogLock& operator=(const InstallerLogLock&) = delete;
};

// With the lock held. Empties the log (as every installer call but the error functions
// does), then posts `reason` under `code` when it is not empty.
void ResetLogLocked(const std::string& reason, uint32_t code);

// With the lock held. The newest record of the log: after a reset and one failed call, that
// call's last word (unixODBC answers the oldest record first, odbccp32 the first of the call);
// nullopt when the log is empty.
std::optional<Failure> NewestLogRecord();

// The log's own calls into the installer library of the target OS, defined by the backend:
// odbccp32's, linked (InstallerLogWindows.cpp), or libodbcinst's through its seam
// (InstallerLogPosix.cpp).
void EmptyLog();                                           // SQLGetConfigMode
void PostToLog(uint32_t code, const std::string& reason);  // SQLPostInstallerError
std::optional<Failure> LogRecord(uint16_t index);  // SQLInstallerError: nullopt past the last

}  // namespace platform

// The system calls whose failure decides what the locked, atomic rewrite leaves behind, behind
// a seam: tests make each one fail without a failing disk.
#pragma once

#include <sys/types.h>

#include "platform/Seam.h"

namespace platform::odbcini {

// The calls as the C library declares them: errno tells the failure.
struct SystemCalls {
  int (*flock)(int fd, int operation);
  ssize_t (*write)(int fd, const void* data, size_t size);
  int (*fsync)(int fd);
  int (*renameat)(int fromFolder, const char* from, int toFolder, const char* to);
};

// The C library's own calls (FileIo.cpp).
SystemCalls& DefaultSystemCalls();

using SystemCallsSeam = Seam<SystemCalls, DefaultSystemCalls>;
template <>
SystemCalls* SystemCallsSeam::override_;  // FileIo.cpp

// Puts other calls in place of the C library's for its lifetime (tests).
using ScopedSystemCalls = SystemCallsSeam::Scoped;

}  // namespace platform::odbcini

// The system calls whose failure or timing decides what the locked, atomic rewrite leaves
// behind, behind a seam: tests make each one fail, or watch what each one made durable,
// without a failing disk or a power cut.
#pragma once

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/types.h>
#include <unistd.h>

#include "platform/Seam.h"

namespace platform::odbcini {

// The calls as the C library declares them, errno telling the failure. This base forwards
// each to the C library: a test double overrides only the calls it is about.
class SystemCalls {
 public:
  virtual ~SystemCalls() = default;
  virtual int flock(int fd, int operation) { return ::flock(fd, operation); }
  virtual ssize_t write(int fd, const void* data, size_t size) { return ::write(fd, data, size); }
  virtual int fsync(int fd) { return ::fsync(fd); }
  virtual int renameat(int fromFolder, const char* from, int toFolder, const char* to) {
    return ::renameat(fromFolder, from, toFolder, to);
  }
};

// The C library's own calls (Files.cpp).
SystemCalls& DefaultSystemCalls();

using SystemCallsSeam = Seam<SystemCalls, DefaultSystemCalls>;

// Puts other calls in place of the C library's for its lifetime (tests).
using ScopedSystemCalls = SystemCallsSeam::Scoped;

}  // namespace platform::odbcini

// Declared in a namespace that encloses the template's, as the language asks (clang holds
// to it).
template <>
platform::odbcini::SystemCalls* platform::odbcini::SystemCallsSeam::override_;  // Files.cpp

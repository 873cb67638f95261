// What the format fuzzers share: the input as a file (in memory, named by /proc), and every
// sheet of what OpenWorkbook makes of it read to the end.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "driver/formats/Workbook.h"
#include "driver/tests/formats/XlsHelper.h"

namespace tabrix::formats::fuzzing {

class MemoryFile {
 public:
  MemoryFile(const void* data, size_t size) : fd_(memfd_create("workbook", MFD_CLOEXEC)) {
    if (fd_ < 0) std::abort();
    const char* p = static_cast<const char*>(data);
    for (size_t done = 0; done < size;) {
      const ssize_t n = ::write(fd_, p + done, size - done);
      if (n <= 0) std::abort();
      done += static_cast<size_t>(n);
    }
  }
  ~MemoryFile() { ::close(fd_); }
  int fd() const { return fd_; }
  std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

 private:
  int fd_;
};

class Discard : public CellSink {
 public:
  bool OnCell(const Cell& cell) override {
    // Touch the text, so that a view into freed memory is found here.
    for (char c : cell.text) sum_ += static_cast<unsigned char>(c);
    return true;
  }
  unsigned sum_ = 0;
};

inline void ReadEverything(const void* data, size_t size) {
  MemoryFile file(data, size);
  try {
    auto book = OpenWorkbook(file.path());
    Discard sink;
    for (size_t i = 0; i < book->Tables().size(); ++i) {
      const TableInfo& table = book->Tables()[i];
      if (table.sheet >= book->Tables().size() || !book->Tables()[table.sheet].isSheet)
        std::abort();  // a name must point at a sheet
      if (!table.isSheet) continue;
      try {
        book->ReadSheet(i, sink);
      } catch (const FormatError&) {
      }
    }
  } catch (const FormatError&) {
  }
}

}  // namespace tabrix::formats::fuzzing

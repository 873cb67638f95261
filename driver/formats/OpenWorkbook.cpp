// Opening a workbook: only a regular file is read, opened so that nothing can block, and its
// format is told by its first bytes, whatever its name says.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "driver/formats/Readers.h"

namespace tabrix::formats {
namespace {

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

const char* WhatItIs(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

// Reads up to `size` bytes at the start; fewer only at the end of the file.
size_t ReadHead(int fd, unsigned char* buffer, size_t size, const std::string& path) {
  size_t got = 0;
  while (got < size) {
    const ssize_t n = ::pread(fd, buffer + got, size - got, static_cast<off_t>(got));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw FormatError(path + ": cannot be read (" + std::strerror(errno) + ")");
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return got;
}

}  // namespace

std::unique_ptr<Workbook> OpenWorkbook(const std::string& path) {
  // Opening a device can act on it (a tape rewinds): what is no regular file by its name is
  // refused unopened. O_NONBLOCK: opening a FIFO with no writer, or some devices, would
  // wait, should one be swapped in after that check; the descriptor is then checked by fstat,
  // and what it reads is what was checked.
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
    throw FormatError(path + ": " + WhatItIs(st.st_mode) + ", not a workbook file");
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) {
    const int error = errno;
    if (error == ENOENT) throw FormatError(path + ": no such file");
    throw FormatError(path + ": cannot be opened (" + std::strerror(error) + ")");
  }
  if (::fstat(fd.get(), &st) != 0)
    throw FormatError(path + ": cannot be read (" + std::strerror(errno) + ")");
  if (!S_ISREG(st.st_mode))
    throw FormatError(path + ": " + WhatItIs(st.st_mode) + ", not a workbook file");
  // Reads of a regular file never block; the flag is cleared for the readers' sake.
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);

  unsigned char head[8] = {};
  const size_t got = ReadHead(fd.get(), head, sizeof head, path);
  static constexpr unsigned char kZip[] = {'P', 'K', 3, 4};
  static constexpr unsigned char kEmptyZip[] = {'P', 'K', 5, 6};
  static constexpr unsigned char kCompound[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  if (got >= 4 && (std::memcmp(head, kZip, 4) == 0 || std::memcmp(head, kEmptyZip, 4) == 0))
    return OpenXlsx(fd.release(), path);
  if (got == 8 && std::memcmp(head, kCompound, 8) == 0) {
    if (CompoundFileHasStream(fd.get(), u"EncryptedPackage"))
      throw FormatError(path + ": encrypted (a workbook protected by a password)");
    return OpenXls(fd.release(), path);
  }
  if (got == 0) throw FormatError(path + ": not a workbook (the file is empty)");
  throw FormatError(path + ": not a workbook");
}

}  // namespace tabrix::formats

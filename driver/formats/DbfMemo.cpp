#include "driver/formats/DbfMemo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "driver/formats/Workbook.h"

namespace tabrix::formats {
namespace {

const char* WhatItIs(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

uint32_t Big32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// Memos are read whole into memory; none a real table holds comes near this.
constexpr uint64_t kMaxMemo = uint64_t{1} << 30;

}  // namespace

int OpenDbfFile(const std::string& path, const char* what) {
  // As for workbooks: no device is opened (opening can act on it), O_NONBLOCK for a FIFO
  // swapped in after the check, and what is read is what fstat checked.
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
    throw FormatError(path + ": " + WhatItIs(st.st_mode) + ", " + what);
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    const int error = errno;
    if (error == ENOENT) throw FormatError(path + ": no such file");
    throw FormatError(path + ": cannot be opened (" + std::strerror(error) + ")");
  }
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int error = errno;
    ::close(fd);
    if (!S_ISREG(st.st_mode)) throw FormatError(path + ": " + WhatItIs(st.st_mode) + ", " + what);
    throw FormatError(path + ": cannot be read (" + std::strerror(error) + ")");
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

size_t ReadAt(int fd, void* buffer, size_t size, uint64_t offset, const std::string& path) {
  size_t got = 0;
  auto* out = static_cast<unsigned char*>(buffer);
  while (got < size) {
    const ssize_t n = ::pread(fd, out + got, size - got, static_cast<off_t>(offset + got));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw FormatError(path + ": cannot be read (" + std::strerror(errno) + ")");
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return got;
}

DbfMemo::DbfMemo(int fd, std::string path, Layout layout)
    : fd_(fd), path_(std::move(path)), layout_(layout) {
  struct stat st;
  if (::fstat(fd_, &st) != 0) {
    const int error = errno;
    ::close(fd_);
    throw FormatError(path_ + ": cannot be read (" + std::strerror(error) + ")");
  }
  size_ = static_cast<uint64_t>(st.st_size);
  unsigned char header[32] = {};
  try {
    if (ReadAt(fd_, header, sizeof header, 0, path_) < sizeof header)
      throw FormatError(path_ + ": damaged memo file (shorter than its header)");
  } catch (...) {
    ::close(fd_);
    throw;
  }
  if (layout_ == Layout::Fox) {
    blockSize_ = static_cast<uint32_t>(header[6]) << 8 | header[7];
    if (blockSize_ == 0) {
      ::close(fd_);
      throw FormatError(path_ + ": damaged memo file (a block size of 0)");
    }
  } else {
    // dBase IV keeps its block size at byte 20; dBase III leaves it 0 and means 512.
    const uint32_t size = static_cast<uint32_t>(header[21]) << 8 | header[20];
    if (size != 0) {
      blockSize_ = size;
      dBase4_ = true;
    }
  }
}

DbfMemo::~DbfMemo() { ::close(fd_); }

void DbfMemo::Read(uint64_t block, std::string& out) {
  out.clear();
  const uint64_t offset = block * blockSize_;
  const std::string where = path_ + ": block " + std::to_string(block);
  // The header fills the first 512 bytes (FoxPro) or block 0 (dBase).
  if (offset < (layout_ == Layout::Fox ? 512u : blockSize_))
    throw FormatError(where + ": not a memo block (damaged memo file)");
  if (offset >= size_)
    throw FormatError(where + ": past the end of the memo file (" + std::to_string(size_) +
                      " bytes; damaged or truncated)");
  unsigned char head[8] = {};
  const size_t got = ReadAt(fd_, head, sizeof head, offset, path_);
  uint64_t start = 0, length = 0;
  if (layout_ == Layout::Fox) {
    if (got < 8) throw FormatError(where + ": cut short (damaged memo file)");
    start = offset + 8;
    length = Big32(head + 4);
  } else if (got == 8 && head[0] == 0xFF && head[1] == 0xFF && head[2] == 0x08 && head[3] == 0) {
    // dBase IV: the length counts these 8 bytes.
    const uint32_t counted = static_cast<uint32_t>(head[4]) | static_cast<uint32_t>(head[5]) << 8 |
                             static_cast<uint32_t>(head[6]) << 16 |
                             static_cast<uint32_t>(head[7]) << 24;
    if (counted < 8) throw FormatError(where + ": a memo length below 8 (damaged memo file)");
    start = offset + 8;
    length = counted - 8;
  } else {
    return ReadDBase3(offset, out);
  }
  if (length > size_ - start)
    throw FormatError(where + ": a memo of " + std::to_string(length) +
                      " bytes runs past the end of the memo file (damaged or truncated)");
  if (length > kMaxMemo)
    throw FormatError(where + ": a memo of " + std::to_string(length) +
                      " bytes, more than this driver reads");
  out.resize(length);
  if (ReadAt(fd_, out.data(), length, start, path_) < length)
    throw FormatError(where + ": cut short (the memo file changed while read)");
}

// dBase III: the memo runs to its 0x1A (writers put two), or to the end of the file.
void DbfMemo::ReadDBase3(uint64_t offset, std::string& out) {
  char chunk[4096];
  for (uint64_t at = offset; at < size_;) {
    const size_t got = ReadAt(fd_, chunk, sizeof chunk, at, path_);
    if (got == 0) break;
    const void* end = std::memchr(chunk, 0x1A, got);
    if (end) {
      out.append(chunk, static_cast<const char*>(end) - chunk);
      return;
    }
    out.append(chunk, got);
    at += got;
    if (out.size() > kMaxMemo)
      throw FormatError(path_ + ": a memo longer than this driver reads (damaged memo file?)");
  }
}

}  // namespace tabrix::formats

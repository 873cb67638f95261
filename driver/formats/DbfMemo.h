// The memo file beside a .dbf: dBase's .dbt (dBase III: 512-byte blocks, a memo ends at 0x1A;
// dBase IV: blocks of the header's size, each memo led by its length) and FoxPro's .fpt
// (big-endian: the header's block size, each memo led by its type and length).
#pragma once

#include <cstdint>
#include <string>

namespace tabrix::formats {

// Opens `path` read-only without blocking; anything but a regular file is refused unopened,
// as `what` ("not a dBase table", "not a memo file"). Throws FormatError naming the path.
int OpenDbfFile(const std::string& path, const char* what);
// Reads up to `size` bytes at `offset`; fewer only at the end of the file.
size_t ReadAt(int fd, void* buffer, size_t size, uint64_t offset, const std::string& path);

class DbfMemo {
 public:
  enum class Layout { DBase, Fox };
  // Takes `fd` (and closes it); reads the header. Throws FormatError naming `path`.
  DbfMemo(int fd, std::string path, Layout layout);
  ~DbfMemo();
  DbfMemo(const DbfMemo&) = delete;
  DbfMemo& operator=(const DbfMemo&) = delete;

  const std::string& path() const { return path_; }
  // The memo at `block` (never 0: that is "no memo") into `out`; throws FormatError naming
  // the file and the block when the block is past the file or its length is.
  void Read(uint64_t block, std::string& out);

 private:
  void ReadDBase3(uint64_t offset, std::string& out);

  int fd_;
  std::string path_;
  Layout layout_;
  uint64_t size_ = 0;
  uint32_t blockSize_ = 512;
  bool dBase4_ = false;
};

}  // namespace tabrix::formats

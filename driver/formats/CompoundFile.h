// The OLE2 compound file that .xls workbooks are stored in: a small file system of sectors
// chained through an allocation table. Read with every structure checked (sector numbers
// within the file, chains without loops or shared sectors and as long as their streams), so
// that a damaged file is told by what is broken, not read as if it were whole.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tabrix::formats {

class CompoundFile {
 public:
  // Reads the header, the allocation tables and the directory of the file at `fd` (not
  // taken: the caller keeps it open while the reader is used). Throws FormatError with the
  // reason alone ("damaged: ..."), for the caller to prefix with the path.
  explicit CompoundFile(int fd);

  // The contents of the stream named `name` (compared without case, as the format does),
  // or nothing when the directory has no such stream. Throws FormatError when the stream's
  // chain is broken or the stream is larger than `limit`.
  std::optional<std::string> ReadStream(const std::u16string& name, uint64_t limit);
  bool HasStream(const std::u16string& name) const { return Find(name) != nullptr; }

 private:
  struct Entry {
    std::u16string name;
    uint8_t type = 0;  // 1 storage, 2 stream, 5 root
    uint32_t left = 0, right = 0, child = 0, start = 0;
    uint64_t size = 0;
  };
  void ReadAt(uint64_t offset, char* buffer, size_t size) const;
  void ReadSector(uint32_t sector, char* buffer) const;
  // The sectors of the chain starting at `start` in `table`, checked: each within `count`,
  // none seen twice, at most `most` of them.
  std::vector<uint32_t> Chain(const std::vector<uint32_t>& table, uint32_t start, uint64_t count,
                              uint64_t most, const char* what) const;
  void ReadTables();
  void ReadDirectory();
  const Entry* Find(const std::u16string& name) const;

  int fd_;
  uint64_t fileSize_ = 0;
  unsigned char header_[512] = {};
  bool version4_ = false;
  uint32_t sectorSize_ = 512;
  uint64_t sectors_ = 0;  // whole or partial sectors after the header
  uint32_t miniCutoff_ = 4096;
  std::vector<uint32_t> fat_, miniFat_;
  std::vector<Entry> entries_;
  std::vector<uint32_t> reachable_;  // the entries the directory's tree reaches
  std::string miniStream_;
  bool miniStreamRead_ = false;
};

}  // namespace tabrix::formats

// Just enough of the OLE2 compound file format to list its directory: the header, the sector
// allocation table, and the directory's chain of sectors. Every read is bounded by the file's
// size and every chain by the number of sectors, so a damaged file ends the walk, not a loop.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "driver/formats/Readers.h"

namespace tabrix::formats {
namespace {

constexpr uint32_t kLastRegular = 0xFFFFFFFA;

uint32_t U32(const unsigned char* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
uint16_t U16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

class CompoundReader {
 public:
  CompoundReader(int fd, uint64_t fileSize) : fd_(fd), fileSize_(fileSize) {}

  bool ReadHeader() {
    if (!ReadAt(0, header_, sizeof header_)) return false;
    const uint16_t shift = U16(header_ + 0x1E);
    if (shift != 9 && shift != 12) return false;
    sectorSize_ = uint32_t{1} << shift;
    sectors_ = static_cast<uint32_t>(fileSize_ / sectorSize_);
    // The sector numbers of the allocation table: 109 in the header, then a chain of more.
    for (int i = 0; i < 109; ++i) AddFatSector(U32(header_ + 0x4C + 4 * i));
    uint32_t next = U32(header_ + 0x44);
    std::vector<unsigned char> sector(sectorSize_);
    for (uint32_t steps = 0; next <= kLastRegular && steps < sectors_; ++steps) {
      if (!ReadSector(next, sector.data())) return false;
      const uint32_t perSector = sectorSize_ / 4 - 1;
      for (uint32_t i = 0; i < perSector; ++i) AddFatSector(U32(sector.data() + 4 * i));
      next = U32(sector.data() + 4 * perSector);
    }
    return true;
  }

  bool HasStream(const std::u16string& name) {
    std::vector<unsigned char> sector(sectorSize_);
    uint32_t current = U32(header_ + 0x30);
    for (uint32_t steps = 0; current <= kLastRegular && steps < sectors_; ++steps) {
      if (!ReadSector(current, sector.data())) return false;
      for (uint32_t entry = 0; entry + 128 <= sectorSize_; entry += 128) {
        const unsigned char* e = sector.data() + entry;
        const uint16_t bytes = U16(e + 0x40);
        if (e[0x42] != 2 || bytes != (name.size() + 1) * 2) continue;  // 2: a stream
        bool same = true;
        for (size_t i = 0; i < name.size() && same; ++i) same = U16(e + 2 * i) == name[i];
        if (same) return true;
      }
      if (!Next(current)) return false;
    }
    return false;
  }

 private:
  void AddFatSector(uint32_t sector) {
    if (sector <= kLastRegular) fat_.push_back(sector);
  }

  bool ReadAt(uint64_t offset, unsigned char* buffer, size_t size) {
    if (offset + size > fileSize_) return false;
    size_t got = 0;
    while (got < size) {
      const ssize_t n = ::pread(fd_, buffer + got, size - got, static_cast<off_t>(offset + got));
      if (n <= 0) return false;
      got += static_cast<size_t>(n);
    }
    return true;
  }

  bool ReadSector(uint32_t sector, unsigned char* buffer) {
    return ReadAt((uint64_t{sector} + 1) * sectorSize_, buffer, sectorSize_);
  }

  bool Next(uint32_t& sector) {
    const uint32_t perSector = sectorSize_ / 4;
    const uint32_t which = sector / perSector;
    if (which >= fat_.size()) return false;
    unsigned char entry[4];
    if (!ReadAt((uint64_t{fat_[which]} + 1) * sectorSize_ + 4 * (sector % perSector), entry, 4))
      return false;
    sector = U32(entry);
    return true;
  }

  int fd_;
  uint64_t fileSize_;
  unsigned char header_[512] = {};
  uint32_t sectorSize_ = 512;
  uint32_t sectors_ = 0;
  std::vector<uint32_t> fat_;
};

}  // namespace

bool CompoundFileHasStream(int fd, const std::u16string& name) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return false;
  CompoundReader reader(fd, static_cast<uint64_t>(st.st_size));
  return reader.ReadHeader() && reader.HasStream(name);
}

}  // namespace tabrix::formats

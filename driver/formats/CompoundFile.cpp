#include "driver/formats/CompoundFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "driver/formats/Readers.h"
#include "driver/formats/Workbook.h"

namespace tabrix::formats {
namespace {

constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kNoStream = 0xFFFFFFFF;
constexpr uint32_t kMiniSector = 64;

uint32_t U32(const unsigned char* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
uint16_t U16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

[[noreturn]] void Damaged(const std::string& what) { throw FormatError("damaged: " + what); }

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

bool SameName(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

}  // namespace

CompoundFile::CompoundFile(int fd) : fd_(fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0)
    throw FormatError(std::string("cannot be read (") + std::strerror(errno) + ")");
  fileSize_ = static_cast<uint64_t>(st.st_size);
  if (fileSize_ < sizeof header_) Damaged("the compound file ends inside its header");
  ReadAt(0, reinterpret_cast<char*>(header_), sizeof header_);
  static constexpr unsigned char kMagic[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  if (std::memcmp(header_, kMagic, sizeof kMagic) != 0 || U16(header_ + 0x1C) != 0xFFFE)
    Damaged("the compound file's header is broken");
  const uint16_t shift = U16(header_ + 0x1E);
  if ((shift != 9 && shift != 12) || U16(header_ + 0x20) != 6)
    Damaged("the compound file's header names a sector size that does not exist");
  version4_ = shift == 12;
  sectorSize_ = uint32_t{1} << shift;
  // Sectors start after the header's sector; the last one may be cut short at the file's end.
  sectors_ =
      fileSize_ <= sectorSize_ ? 0 : (fileSize_ - sectorSize_ + sectorSize_ - 1) / sectorSize_;
  miniCutoff_ = U32(header_ + 0x38);
  ReadTables();
  ReadDirectory();
}

void CompoundFile::ReadAt(uint64_t offset, char* buffer, size_t size) const {
  if (offset > fileSize_ || size > fileSize_ - offset) Damaged("the file ends before its data");
  size_t got = 0;
  while (got < size) {
    const ssize_t n = ::pread(fd_, buffer + got, size - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw FormatError(std::string("cannot be read (") + std::strerror(errno) + ")");
    if (n == 0) Damaged("the file ends before its data");
    got += static_cast<size_t>(n);
  }
}

void CompoundFile::ReadSector(uint32_t sector, char* buffer) const {
  ReadAt((uint64_t{sector} + 1) * sectorSize_, buffer, sectorSize_);
}

std::vector<uint32_t> CompoundFile::Chain(const std::vector<uint32_t>& table, uint32_t start,
                                          uint64_t count, uint64_t most, const char* what) const {
  std::vector<uint32_t> chain;
  std::vector<bool> seen(std::min<uint64_t>(count, table.size()));
  for (uint32_t s = start; s != kEndOfChain; s = table[s]) {
    if (s >= seen.size()) Damaged(std::string("the chain of sectors of ") + what + " is broken");
    if (seen[s]) Damaged(std::string("the chain of sectors of ") + what + " runs in a loop");
    if (chain.size() >= most)
      Damaged(std::string("the chain of sectors of ") + what + " is longer than it can be");
    seen[s] = true;
    chain.push_back(s);
  }
  return chain;
}

void CompoundFile::ReadTables() {
  // The sectors of the allocation table: the first 109 named in the header, the others in a
  // chain of sectors of their own (each ending with the number of the next).
  const uint32_t fatSectors = U32(header_ + 0x2C);
  if (fatSectors == 0 || fatSectors > sectors_)
    Damaged("the compound file's header gives " + std::to_string(fatSectors) +
            " sectors of allocation table in a file of " + std::to_string(sectors_));
  std::vector<uint32_t> fatList;
  fatList.reserve(fatSectors);
  for (uint32_t i = 0; i < 109 && fatList.size() < fatSectors; ++i)
    fatList.push_back(U32(header_ + 0x4C + 4 * i));
  const uint32_t perSector = sectorSize_ / 4;
  std::vector<char> sector(sectorSize_);
  std::vector<bool> seen(sectors_);
  for (uint32_t next = U32(header_ + 0x44); fatList.size() < fatSectors;) {
    if (next >= sectors_) Damaged("the list of the allocation table's sectors is broken");
    if (seen[next]) Damaged("the list of the allocation table's sectors runs in a loop");
    seen[next] = true;
    ReadSector(next, sector.data());
    const auto* p = reinterpret_cast<const unsigned char*>(sector.data());
    for (uint32_t i = 0; i + 1 < perSector && fatList.size() < fatSectors; ++i)
      fatList.push_back(U32(p + 4 * i));
    next = U32(p + 4 * (perSector - 1));
  }
  fat_.reserve(uint64_t{fatSectors} * perSector);
  for (uint32_t s : fatList) {
    if (s >= sectors_) Damaged("a sector of the allocation table lies outside the file");
    ReadSector(s, sector.data());
    const auto* p = reinterpret_cast<const unsigned char*>(sector.data());
    for (uint32_t i = 0; i < perSector; ++i) fat_.push_back(U32(p + 4 * i));
  }

  const uint32_t miniStart = U32(header_ + 0x3C);
  if (miniStart != kEndOfChain && miniStart != kNoStream) {
    for (uint32_t s : Chain(fat_, miniStart, sectors_, sectors_, "the mini allocation table")) {
      ReadSector(s, sector.data());
      const auto* p = reinterpret_cast<const unsigned char*>(sector.data());
      for (uint32_t i = 0; i < perSector; ++i) miniFat_.push_back(U32(p + 4 * i));
    }
  }
}

void CompoundFile::ReadDirectory() {
  std::vector<char> sector(sectorSize_);
  for (uint32_t s : Chain(fat_, U32(header_ + 0x30), sectors_, sectors_, "the directory")) {
    ReadSector(s, sector.data());
    for (uint32_t at = 0; at + 128 <= sectorSize_; at += 128) {
      const auto* e = reinterpret_cast<const unsigned char*>(sector.data()) + at;
      Entry entry;
      const uint16_t bytes = U16(e + 0x40);
      entry.type = e[0x42];
      if (entry.type != 0 && (bytes < 2 || bytes > 64 || bytes % 2 != 0))
        Damaged("an entry of the compound file's directory has a broken name");
      for (uint16_t i = 0; entry.type != 0 && i + 2 < bytes; i += 2)
        entry.name.push_back(static_cast<char16_t>(U16(e + i)));
      entry.left = U32(e + 0x44);
      entry.right = U32(e + 0x48);
      entry.child = U32(e + 0x4C);
      entry.start = U32(e + 0x74);
      // Files of 512-byte sectors keep a size below 4 GiB; the high half may hold anything.
      entry.size = version4_ ? (uint64_t{U32(e + 0x7C)} << 32 | U32(e + 0x78)) : U32(e + 0x78);
      entries_.push_back(std::move(entry));
    }
  }
  if (entries_.empty() || entries_[0].type != 5)
    Damaged("the compound file's directory has no root");
  // The root's children: a tree of siblings through the left and right links.
  std::vector<bool> seen(entries_.size());
  std::vector<uint32_t> pending{entries_[0].child};
  while (!pending.empty()) {
    const uint32_t i = pending.back();
    pending.pop_back();
    if (i == kNoStream) continue;
    if (i >= entries_.size() || i == 0) Damaged("the compound file's directory is broken");
    if (seen[i]) Damaged("the compound file's directory runs in a loop");
    seen[i] = true;
    reachable_.push_back(i);
    pending.push_back(entries_[i].left);
    pending.push_back(entries_[i].right);
  }
}

const CompoundFile::Entry* CompoundFile::Find(const std::u16string& name) const {
  for (uint32_t i : reachable_)
    if (entries_[i].type == 2 && SameName(entries_[i].name, name)) return &entries_[i];
  return nullptr;
}

std::optional<std::string> CompoundFile::ReadStream(const std::u16string& name, uint64_t limit) {
  const Entry* entry = Find(name);
  if (!entry) return std::nullopt;
  if (entry->size > fileSize_ || entry->size > limit)
    Damaged("a stream claims " + std::to_string(entry->size) + " bytes in a file of " +
            std::to_string(fileSize_));
  std::string out;
  if (entry->size == 0) return out;
  out.reserve(entry->size);
  if (entry->size >= miniCutoff_) {
    const uint64_t needed = (entry->size + sectorSize_ - 1) / sectorSize_;
    const auto chain = Chain(fat_, entry->start, sectors_, sectors_, "a stream");
    if (chain.size() < needed) Damaged("a stream is cut short: its chain of sectors ends early");
    std::vector<char> sector(sectorSize_);
    for (uint64_t i = 0; i < needed; ++i) {
      const uint64_t part = std::min<uint64_t>(sectorSize_, entry->size - out.size());
      ReadAt((uint64_t{chain[i]} + 1) * sectorSize_, sector.data(), part);
      out.append(sector.data(), part);
    }
    return out;
  }
  // A small stream lives in the mini stream, itself a stream of the root's, in 64-byte pieces.
  if (!miniStreamRead_) {
    const Entry& root = entries_[0];
    if (root.size > fileSize_) Damaged("the mini stream claims more bytes than the file holds");
    const uint64_t needed = (root.size + sectorSize_ - 1) / sectorSize_;
    const auto chain = root.size == 0
                           ? std::vector<uint32_t>()
                           : Chain(fat_, root.start, sectors_, sectors_, "the mini stream");
    if (chain.size() < needed) Damaged("the mini stream is cut short: its chain ends early");
    std::vector<char> sector(sectorSize_);
    for (uint64_t i = 0; i < needed; ++i) {
      const uint64_t part = std::min<uint64_t>(sectorSize_, root.size - miniStream_.size());
      ReadAt((uint64_t{chain[i]} + 1) * sectorSize_, sector.data(), part);
      miniStream_.append(sector.data(), part);
    }
    miniStreamRead_ = true;
  }
  const uint64_t needed = (entry->size + kMiniSector - 1) / kMiniSector;
  const uint64_t pieces = (miniStream_.size() + kMiniSector - 1) / kMiniSector;
  const auto chain = Chain(miniFat_, entry->start, pieces, pieces, "a small stream");
  if (chain.size() < needed) Damaged("a small stream is cut short: its chain ends early");
  for (uint64_t i = 0; i < needed; ++i) {
    const uint64_t part = std::min<uint64_t>(kMiniSector, entry->size - out.size());
    const uint64_t at = uint64_t{chain[i]} * kMiniSector;
    if (at + part > miniStream_.size()) Damaged("a small stream runs past the mini stream's end");
    out.append(miniStream_, at, part);
  }
  return out;
}

bool CompoundFileHasStream(int fd, const std::u16string& name) {
  try {
    return CompoundFile(fd).HasStream(name);
  } catch (const FormatError&) {
    return false;  // a damaged file: the .xls reader says what is broken
  }
}

}  // namespace tabrix::formats

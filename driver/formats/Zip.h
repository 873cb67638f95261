// The zip container of Office Open XML workbooks, read through libzip: parts are inflated in
// chunks, each checked against limits that keep a zip bomb from exhausting memory or time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct zip;
struct zip_file;

namespace tabrix::formats {

// The most any one part may inflate to, and the ratio of inflated to stored bytes beyond which
// a part larger than kRatioFloor is taken for a bomb; a real sheet of a million rows stays far
// inside both.
constexpr uint64_t kMaxPartBytes = uint64_t{1} << 30;
constexpr uint64_t kRatioFloor = uint64_t{64} << 20;
constexpr uint64_t kMaxRatio = 500;

class ZipPart;

class ZipArchive {
 public:
  // Takes `fd` (open for reading) in every case; `path` names the file in messages. Throws
  // FormatError when the file is not a complete zip archive.
  ZipArchive(int fd, std::string path);
  ~ZipArchive();
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  const std::string& path() const { return path_; }
  // Whether the archive holds the part (names compared without case, as the format says).
  bool Has(const std::string& name) const;

 private:
  friend class ZipPart;
  zip* archive_ = nullptr;
  std::string path_;
};

// One part, inflated as it is read. Throws FormatError naming the part when it is missing,
// damaged, or inflates beyond the limits.
class ZipPart {
 public:
  ZipPart(ZipArchive& archive, const std::string& name);
  ~ZipPart();
  ZipPart(const ZipPart&) = delete;
  ZipPart& operator=(const ZipPart&) = delete;

  // Up to `size` inflated bytes into `buffer`; 0 at the end of the part.
  size_t Read(char* buffer, size_t size);
  const std::string& name() const { return name_; }

 private:
  [[noreturn]] void Refuse(const std::string& why) const;
  ZipArchive& archive_;
  zip_file* file_ = nullptr;
  std::string name_;
  uint64_t stored_ = 0;
  uint64_t inflated_ = 0;
};

}  // namespace tabrix::formats

#include "driver/formats/Zip.h"

#include <unistd.h>
#include <zip.h>

#include "driver/formats/Workbook.h"

namespace tabrix::formats {
namespace {

std::string ZipErrorText(int code) {
  zip_error_t error;
  zip_error_init_with_code(&error, code);
  std::string text = zip_error_strerror(&error);
  zip_error_fini(&error);
  return text;
}

}  // namespace

ZipArchive::ZipArchive(int fd, std::string path) : path_(std::move(path)) {
  int code = 0;
  archive_ = zip_fdopen(fd, ZIP_RDONLY, &code);
  if (!archive_) {
    ::close(fd);  // libzip keeps the descriptor only when it opens the archive
    throw FormatError(path_ + ": damaged: not a complete zip archive (" + ZipErrorText(code) + ")");
  }
}

ZipArchive::~ZipArchive() { zip_discard(archive_); }

bool ZipArchive::Has(const std::string& name) const {
  return zip_name_locate(archive_, name.c_str(), ZIP_FL_NOCASE) >= 0;
}

ZipPart::ZipPart(ZipArchive& archive, const std::string& name) : archive_(archive), name_(name) {
  const zip_int64_t index = zip_name_locate(archive.archive_, name.c_str(), ZIP_FL_NOCASE);
  if (index < 0) Refuse("damaged: " + name + " is missing");
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat_index(archive.archive_, index, 0, &stat) != 0)
    Refuse("damaged: " + name + ": " + zip_strerror(archive.archive_));
  if ((stat.valid & ZIP_STAT_SIZE) && stat.size > kMaxPartBytes)
    Refuse("refused: " + name + " inflates to " + std::to_string(stat.size) +
           " bytes, beyond the limit of " + std::to_string(kMaxPartBytes));
  if (stat.valid & ZIP_STAT_COMP_SIZE) stored_ = stat.comp_size;
  file_ = zip_fopen_index(archive.archive_, index, 0);
  if (!file_) Refuse("damaged: " + name + ": " + zip_strerror(archive.archive_));
}

ZipPart::~ZipPart() {
  if (file_) zip_fclose(file_);
}

size_t ZipPart::Read(char* buffer, size_t size) {
  const zip_int64_t n = zip_fread(file_, buffer, size);
  if (n < 0) Refuse("damaged: " + name_ + ": " + zip_file_strerror(file_));
  inflated_ += static_cast<uint64_t>(n);
  if (inflated_ > kMaxPartBytes)
    Refuse("refused: " + name_ + " inflates beyond the limit of " + std::to_string(kMaxPartBytes) +
           " bytes");
  if (inflated_ > kRatioFloor && inflated_ / kMaxRatio > stored_)
    Refuse("refused: " + name_ + " inflates to more than " + std::to_string(kMaxRatio) +
           " times its stored size (a zip bomb)");
  return static_cast<size_t>(n);
}

void ZipPart::Refuse(const std::string& why) const {
  throw FormatError(archive_.path() + ": " + why);
}

}  // namespace tabrix::formats

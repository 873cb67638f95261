#include "driver/formats/Dbf.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "driver/formats/DbfTableImpl.h"
#include "driver/formats/Text.h"

namespace tabrix::formats {
namespace dbf {

std::string Hex(unsigned v) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return std::string("0x") + kDigits[v >> 4 & 15] + kDigits[v & 15];
}

namespace {

// Tables whose memos FoxPro keeps (.fpt); the others are dBase's (.dbt).
bool FoxMemo(uint8_t v) { return VisualFoxPro(v) || v == 0xF5 || v == 0xFB; }
bool KnownVersion(uint8_t v) {
  switch (v) {
    case 0x03:
    case 0x83:  // dBase III (with memo)
    case 0x43:
    case 0x63:
    case 0x8B:
    case 0xCB:  // dBase IV
    case 0xF5:
    case 0xFB:  // FoxPro 2
    case 0x30:
    case 0x31:
    case 0x32:  // Visual FoxPro
      return true;
    default:
      return false;
  }
}

bool MemoType(char type) { return type == 'M' || type == 'G' || type == 'P' || type == 'W'; }

std::string FileName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The memo file beside `path`: the table's stem with `extension`, matched without regard to
// case (tables copied from other systems come as NAME.DBF with NAME.FPT or name.fpt).
std::optional<std::string> FindBeside(const std::string& path, const std::string& extension) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  std::string stem = FileName(path);
  const size_t dot = stem.rfind('.');
  if (dot != std::string::npos) stem.resize(dot);
  const std::string exact = stem + extension;
  struct stat st;
  if (::lstat((folder + exact).c_str(), &st) == 0) return folder + exact;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return std::nullopt;
  std::optional<std::string> found;
  while (const dirent* entry = ::readdir(dir)) {
    if (EqualsIgnoreCase(entry->d_name, exact)) {
      found = folder + entry->d_name;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

}  // namespace

Table::Table(int fd, std::string path) : fd_(fd), path_(std::move(path)) {
  try {
    ReadHeader();
  } catch (...) {
    ::close(fd_);
    throw;
  }
}

Table::~Table() { ::close(fd_); }

bool Table::NeedsMemo() const {
  for (const auto& field : fields_)
    if (MemoType(field.type) || (field.type == 'B' && field.binary)) return true;
  return false;
}

std::vector<std::string> Table::MemoExtensions() const {
  if (FoxMemo(version_)) return {".fpt", ".dbt"};
  return {".dbt", ".fpt"};
}

std::string Table::ExpectedMemo() const {
  std::string name = path_;
  const size_t dot = name.rfind('.');
  const size_t slash = name.rfind('/');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) name.resize(dot);
  return name + (FoxMemo(version_) ? ".fpt" : ".dbt");
}

void Table::AttachMemo(int fd, const std::string& memoPath) {
  const bool fox =
      EndsWith(memoPath, ".fpt") || EndsWith(memoPath, ".FPT") ||
      (!EndsWith(memoPath, ".dbt") && !EndsWith(memoPath, ".DBT") && FoxMemo(version_));
  memo_ = std::make_unique<DbfMemo>(fd, memoPath,
                                    fox ? DbfMemo::Layout::Fox : DbfMemo::Layout::DBase);
}

void Table::ReadHeader() {
  struct stat st;
  if (::fstat(fd_, &st) != 0)
    throw FormatError(path_ + ": cannot be read (" + std::strerror(errno) + ")");
  size_ = static_cast<uint64_t>(st.st_size);
  unsigned char head[32] = {};
  const size_t got = ReadAt(fd_, head, sizeof head, 0, path_);
  if (got == 0) throw FormatError(path_ + ": not a dBase table (the file is empty)");
  if (got < sizeof head) throw FormatError(path_ + ": not a dBase table (too short for a header)");
  version_ = head[0];
  if (version_ == 0x04 || version_ == 0x8C)
    throw FormatError(path_ + ": a dBase 7 table, which this driver does not read");
  // The date of the last update (YYMMDD) also tells other files that start like a version.
  if (!KnownVersion(version_) || head[2] > 12 || head[3] > 31)
    throw FormatError(path_ + ": not a dBase table (its first byte is " + Hex(version_) + ")");
  count_ = Le32(head + 4);
  headerLength_ = Le16(head + 8);
  recordLength_ = Le16(head + 10);
  if (headerLength_ < 33)
    throw FormatError(path_ + ": damaged (a header length of " + std::to_string(headerLength_) +
                      " bytes)");
  if (headerLength_ > size_)
    throw FormatError(path_ + ": damaged or truncated (its header of " +
                      std::to_string(headerLength_) + " bytes is longer than the file, " +
                      std::to_string(size_) + " bytes)");
  if (recordLength_ == 0) throw FormatError(path_ + ": damaged (a record length of 0)");
  codePage_ = CodePageOfMark(head[29]);
  text_ = std::make_unique<DbfText>(codePage_);

  std::vector<unsigned char> header(headerLength_);
  if (ReadAt(fd_, header.data(), header.size(), 0, path_) < header.size())
    throw FormatError(path_ + ": cut short (the file changed while read)");
  ReadDescriptors(header);

  // A table cut short (a crash while it was written) is read as far as it goes, and told.
  const uint64_t holds = (size_ - headerLength_) / recordLength_;
  readable_ = count_;
  if (count_ > holds) {
    readable_ = static_cast<uint32_t>(holds);
    warning_ = path_ + ": its header counts " + std::to_string(count_) +
               " records, the file holds " + std::to_string(holds) +
               " (damaged or truncated): those are read";
  }
}

void Table::Read(CellSink& sink) {
  // Whole records in chunks of about 256 KiB.
  const uint64_t perChunk = std::min<uint64_t>(std::max<uint64_t>(1, (256u << 10) / recordLength_),
                                               std::max(readable_, 1u));
  std::vector<unsigned char> buffer(perChunk * recordLength_);
  if (!warning_.empty()) sink.OnWarning(warning_);
  uint32_t row = 0;
  for (uint64_t first = 0; first < readable_; first += perChunk) {
    const uint64_t n = std::min<uint64_t>(perChunk, readable_ - first);
    const size_t want = n * recordLength_;
    const size_t got =
        ReadAt(fd_, buffer.data(), want, headerLength_ + first * recordLength_, path_);
    if (got < want)
      throw FormatError(path_ + ": ends at record " +
                        std::to_string(first + got / recordLength_ + 1) + " of " +
                        std::to_string(count_) + " (the file changed while read)");
    for (uint64_t i = 0; i < n; ++i) {
      const unsigned char* record = buffer.data() + i * recordLength_;
      if (record[0] == '*') continue;
      if (!Decode(record, row, first + i + 1, sink)) return;
      ++row;
    }
  }
  sink.OnSize(row, static_cast<uint32_t>(fields_.size()));
}

}  // namespace dbf

using dbf::Table;

DbfKind KindOf(const DbfField& field) {
  if (field.binary) return DbfKind::Binary;
  switch (field.type) {
    case 'N':
    case 'F':
      return field.decimals == 0 && field.length <= 9 ? DbfKind::Integer : DbfKind::Number;
    case 'I':
      return DbfKind::Integer;
    case 'B':
      return DbfKind::Number;
    case 'Y':
      return DbfKind::Currency;
    case 'D':
      return DbfKind::Date;
    case 'T':
      return DbfKind::DateTime;
    case 'L':
      return DbfKind::Boolean;
    default:
      return DbfKind::Text;
  }
}

std::unique_ptr<DbfTable> DbfTable::Open(int fd, const std::string& path, int memo,
                                         const std::string& memoPath) {
  std::unique_ptr<Table> table;
  try {
    table = std::make_unique<Table>(fd, path);
  } catch (...) {
    if (memo >= 0) ::close(memo);
    throw;
  }
  if (!table->NeedsMemo()) {
    if (memo >= 0) ::close(memo);
  } else if (memo < 0) {
    throw FormatError(path + ": its memo file " + table->ExpectedMemo() + " is missing");
  } else {
    table->AttachMemo(memo, memoPath);
  }
  return table;
}

std::unique_ptr<DbfTable> DbfTable::Open(const std::string& path) {
  auto table = std::make_unique<Table>(OpenDbfFile(path, "not a dBase table"), path);
  if (!table->NeedsMemo()) return table;
  for (const auto& extension : table->MemoExtensions()) {
    const auto memo = dbf::FindBeside(path, extension);
    if (!memo) continue;
    table->AttachMemo(OpenDbfFile(*memo, "not a memo file"), *memo);
    return table;
  }
  throw FormatError(path + ": its memo file " + table->ExpectedMemo() + " is missing");
}

}  // namespace tabrix::formats

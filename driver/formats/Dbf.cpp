#include "driver/formats/Dbf.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <optional>

#include "driver/formats/Dates.h"
#include "driver/formats/DbfMemo.h"
#include "driver/formats/DbfText.h"
#include "driver/formats/Text.h"

namespace tabrix::formats {
namespace {

uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
int64_t Le64(const unsigned char* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
  return static_cast<int64_t>(v);
}
double LeDouble(const unsigned char* p) {
  const uint64_t bits = static_cast<uint64_t>(Le64(p));
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

std::string Hex(unsigned v) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return std::string("0x") + kDigits[v >> 4 & 15] + kDigits[v & 15];
}

bool VisualFoxPro(uint8_t v) { return v == 0x30 || v == 0x31 || v == 0x32; }
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

// Day numbers from 1970-01-01 to the 1900 system's serials: 1900-03-01 (day -25508) is 61;
// 1899-12-31 to 1900-02-28 are 0 to 59 (the system's 29 February takes 60).
std::optional<double> SerialOfDay(int64_t day) {
  if (day >= -25508) {
    if (day > 2932896) return std::nullopt;  // past 9999-12-31
    return static_cast<double>(day + 25569);
  }
  if (day >= -25568) return static_cast<double>(day + 25568);
  return std::nullopt;
}

// "-12.50" and the like, the form writers give numbers: the digits as a whole number, divided
// once by a power of ten, which both are exact, so the result is the one rounding that
// from_chars gives too. Nothing for any other form (exponents, long mantissas).
std::optional<double> PlainDecimal(std::string_view s) {
  static constexpr double kPowers[] = {1,   1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  size_t at = 0;
  const bool negative = !s.empty() && s[0] == '-';
  if (negative) ++at;
  uint64_t mantissa = 0;
  int digits = 0, decimals = -1;
  for (; at < s.size(); ++at) {
    const char c = s[at];
    if (c >= '0' && c <= '9') {
      mantissa = mantissa * 10 + static_cast<uint64_t>(c - '0');
      if (++digits > 15) return std::nullopt;
      if (decimals >= 0) ++decimals;
    } else if (c == '.' && decimals < 0) {
      decimals = 0;
    } else {
      return std::nullopt;
    }
  }
  if (digits == 0) return std::nullopt;
  double value = static_cast<double>(mantissa);
  if (decimals > 0) value /= kPowers[decimals];
  return negative ? -value : value;
}

// A date's serial in the 1900 system; nothing for no such date or one the system cannot hold.
std::optional<double> DateSerial(int year, int month, int day) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || month < 1 || month > 12 || day < 1) return std::nullopt;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (day > kDays[month - 1] + (month == 2 && leap)) return std::nullopt;
  // Days since 1970-01-01 (H. Hinnant's days_from_civil).
  const int64_t y = year - (month <= 2);
  const int64_t era = y / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  return SerialOfDay(era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468);
}

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

class Table final : public DbfTable {
 public:
  Table(int fd, std::string path) : fd_(fd), path_(std::move(path)) {
    try {
      ReadHeader();
    } catch (...) {
      ::close(fd_);
      throw;
    }
  }
  ~Table() override { ::close(fd_); }

  const std::vector<DbfField>& Fields() const override { return fields_; }
  uint8_t Version() const override { return version_; }
  const std::string& CodePage() const override { return codePage_; }
  uint32_t RecordCount() const override { return count_; }

  bool NeedsMemo() const {
    for (const auto& field : fields_)
      if (MemoType(field.type) || (field.type == 'B' && field.binary)) return true;
    return false;
  }
  // The memo file's extensions, the likelier first.
  std::vector<std::string> MemoExtensions() const {
    if (FoxMemo(version_)) return {".fpt", ".dbt"};
    return {".dbt", ".fpt"};
  }
  std::string ExpectedMemo() const {
    std::string name = path_;
    const size_t dot = name.rfind('.');
    const size_t slash = name.rfind('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) name.resize(dot);
    return name + (FoxMemo(version_) ? ".fpt" : ".dbt");
  }
  void AttachMemo(int fd, const std::string& memoPath) {
    const bool fox =
        EndsWith(memoPath, ".fpt") || EndsWith(memoPath, ".FPT") ||
        (!EndsWith(memoPath, ".dbt") && !EndsWith(memoPath, ".DBT") && FoxMemo(version_));
    memo_ = std::make_unique<DbfMemo>(fd, memoPath,
                                      fox ? DbfMemo::Layout::Fox : DbfMemo::Layout::DBase);
  }

  void Read(CellSink& sink) override;

 private:
  void ReadHeader();
  void ReadDescriptors(const std::vector<unsigned char>& header);
  // false: the sink asked to stop.
  bool Decode(const unsigned char* record, uint32_t row, uint64_t number, CellSink& sink);
  bool Bit(const unsigned char* record, int bit) const {
    return bit >= 0 && (record[nullFlagsOffset_ + bit / 8] >> (bit % 8) & 1) != 0;
  }
  [[noreturn]] void Fail(uint64_t number, const DbfField& field, const std::string& what) const {
    throw FormatError(path_ + ": record " + std::to_string(number) + ", field " + field.name +
                      ": " + what);
  }
  // The memo a field points at into scratch_; false for none.
  bool ReadMemo(const unsigned char* value, const DbfField& field, uint64_t number);

  int fd_;
  std::string path_;
  uint64_t size_ = 0;
  uint8_t version_ = 0;
  uint32_t count_ = 0;
  uint32_t readable_ = 0;  // the records the file holds of those counted
  std::string warning_;
  uint32_t headerLength_ = 0;
  uint32_t recordLength_ = 0;
  std::string codePage_;
  std::unique_ptr<DbfText> text_;
  std::vector<DbfField> fields_;
  uint32_t nullFlagsOffset_ = 0;
  std::unique_ptr<DbfMemo> memo_;
  std::string scratch_, memoBytes_;
};

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

void Table::ReadDescriptors(const std::vector<unsigned char>& header) {
  const bool vfp = VisualFoxPro(version_);
  uint32_t offset = 1;  // byte 0: the deletion mark
  int bits = 0;
  bool hasNullFlags = false;
  uint32_t nullFlagsLength = 0;
  size_t at = 32;
  for (;; at += 32) {
    if (at == header.size()) break;  // no end mark, but the header ends where one would be
    if (header[at] == 0x0D) break;
    if (at + 32 > header.size())
      throw FormatError(path_ + ": damaged (its field descriptors run past its header)");
    const unsigned char* d = header.data() + at;
    DbfField field;
    size_t nameLength = 0;
    while (nameLength < 11 && d[nameLength] != 0) ++nameLength;
    std::string_view raw(reinterpret_cast<const char*>(d), nameLength);
    while (!raw.empty() && raw.back() == ' ') raw.remove_suffix(1);
    text_->Append(raw, field.name);
    field.type = static_cast<char>(d[11]);
    if (field.type >= 'a' && field.type <= 'z') field.type = static_cast<char>(field.type - 32);
    field.length = d[16];
    field.decimals = d[17];
    // Character fields longer than 255 keep the high byte of their length in the decimals.
    if (field.type == 'C' && !vfp) {
      field.length |= static_cast<uint32_t>(d[17]) << 8;
      field.decimals = 0;
    }
    const uint8_t flags = vfp ? d[18] : 0;
    const std::string named = "field " + std::to_string(fields_.size() + 1) +
                              (field.name.empty() ? "" : " (" + field.name + ")");
    if (field.length == 0) throw FormatError(path_ + ": damaged (" + named + " has a length of 0)");
    if (offset + field.length > recordLength_)
      throw FormatError(path_ + ": damaged (" + named + " ends at byte " +
                        std::to_string(offset + field.length) + ", past the record's " +
                        std::to_string(recordLength_) + ")");
    field.offset = offset;
    offset += field.length;
    if (field.type == '0') {  // _NullFlags, a system field
      hasNullFlags = true;
      nullFlagsOffset_ = field.offset;
      nullFlagsLength = field.length;
      continue;
    }
    std::optional<uint32_t> expected;
    switch (field.type) {
      case 'C':
      case 'N':
      case 'F':
      case 'V':
        break;
      case 'Q':
      case 'G':
      case 'P':
      case 'W':
        field.binary = true;
        break;
      case 'D':
      case 'T':
      case 'Y':
        expected = 8;
        break;
      case 'L':
        expected = 1;
        break;
      case 'I':
        expected = 4;
        break;
      case 'M':
        if (field.length != 4 && field.length != 10) expected = 10;
        break;
      case 'B':  // Visual FoxPro's double; dBase IV's binary memo
        if (field.length == 10 || field.length == 4)
          field.binary = true;
        else
          expected = 8;
        break;
      default:
        throw FormatError(
            path_ + ": " + named + " has the type '" +
            (field.type >= 0x20 && field.type < 0x7F ? std::string(1, field.type) : Hex(d[11])) +
            "', which this driver does not read");
    }
    if (expected && field.length != *expected)
      throw FormatError(path_ + ": damaged (" + named + " of type " + field.type + " is " +
                        std::to_string(field.length) + " bytes long, not " +
                        std::to_string(*expected) + ")");
    if ((flags & 0x04) && (field.type == 'C' || field.type == 'M' || field.type == 'V'))
      field.binary = true;
    if (field.type == 'V' || field.type == 'Q') field.lengthBit = bits++;
    if (flags & 0x02) {
      field.nullable = true;
      field.nullBit = bits++;
    }
    fields_.push_back(std::move(field));
  }
  if (fields_.empty()) throw FormatError(path_ + ": damaged (a table without fields)");
  if (bits > 0 && (!hasNullFlags || static_cast<uint64_t>(bits) > nullFlagsLength * 8ull)) {
    if (hasNullFlags)
      throw FormatError(path_ + ": damaged (its _NullFlags field holds " +
                        std::to_string(nullFlagsLength * 8) + " bits, its fields need " +
                        std::to_string(bits) + ")");
    // Without the field, nothing is NULL and every V and Q value fills its field.
    for (auto& field : fields_) field.nullBit = field.lengthBit = -1;
  }
}

bool Table::ReadMemo(const unsigned char* value, const DbfField& field, uint64_t number) {
  uint64_t block = 0;
  if (field.length == 4) {
    block = Le32(value);
  } else {
    std::string_view digits(reinterpret_cast<const char*>(value), field.length);
    while (!digits.empty() && (digits.back() == ' ' || digits.back() == 0)) digits.remove_suffix(1);
    while (!digits.empty() && (digits.front() == ' ' || digits.front() == 0))
      digits.remove_prefix(1);
    for (char c : digits) {
      if (c < '0' || c > '9')
        Fail(number, field, "not a memo block number (\"" + std::string(digits) + "\")");
      block = block * 10 + static_cast<uint64_t>(c - '0');
    }
  }
  if (block == 0) return false;
  if (!memo_) Fail(number, field, "a memo, and the table has no memo file");
  try {
    memo_->Read(block, memoBytes_);
  } catch (const FormatError& error) {
    Fail(number, field, error.what());
  }
  return true;
}

bool Table::Decode(const unsigned char* record, uint32_t row, uint64_t number, CellSink& sink) {
  for (size_t c = 0; c < fields_.size(); ++c) {
    const DbfField& field = fields_[c];
    if (Bit(record, field.nullBit)) continue;
    const unsigned char* value = record + field.offset;
    std::string_view bytes(reinterpret_cast<const char*>(value), field.length);
    Cell cell;
    cell.row = row;
    cell.column = static_cast<uint32_t>(c);
    switch (field.type) {
      case 'C': {
        if (field.binary) {
          cell.kind = CellKind::Text;
          cell.text = bytes;
          break;
        }
        while (!bytes.empty() && (bytes.back() == ' ' || bytes.back() == 0)) bytes.remove_suffix(1);
        scratch_.clear();
        text_->Append(bytes, scratch_);
        cell.kind = CellKind::Text;
        cell.text = scratch_;
        break;
      }
      case 'V':
      case 'Q': {
        if (Bit(record, field.lengthBit)) {
          const uint8_t length = value[field.length - 1];
          if (length >= field.length)
            Fail(number, field,
                 "a length of " + std::to_string(length) + " in a field of " +
                     std::to_string(field.length) + " bytes");
          bytes = bytes.substr(0, length);
        }
        if (field.binary) {
          cell.kind = CellKind::Text;
          cell.text = bytes;
        } else {
          scratch_.clear();
          text_->Append(bytes, scratch_);
          cell.kind = CellKind::Text;
          cell.text = scratch_;
        }
        break;
      }
      case 'N':
      case 'F': {
        std::string_view digits = bytes;
        while (!digits.empty() && (digits.back() == ' ' || digits.back() == 0))
          digits.remove_suffix(1);
        while (!digits.empty() && (digits.front() == ' ' || digits.front() == 0))
          digits.remove_prefix(1);
        // Blank, or the stars a writer puts where a value did not fit: no value.
        if (digits.empty() || digits.find_first_not_of('*') == std::string_view::npos) continue;
        auto number_ = PlainDecimal(digits);
        if (!number_) number_ = ParseNumber(digits);
        if (!number_) Fail(number, field, "not a number (\"" + std::string(digits) + "\")");
        cell.kind = CellKind::Number;
        cell.number = *number_;
        break;
      }
      case 'D': {
        if (bytes.find_first_not_of(std::string_view(" \0", 2)) == std::string_view::npos ||
            bytes == "00000000")
          continue;
        int parts[3] = {};
        const int widths[3] = {4, 2, 2};
        size_t at = 0;
        for (int p = 0; p < 3; ++p) {
          for (int i = 0; i < widths[p]; ++i, ++at) {
            const char ch = bytes[at];
            if (ch < '0' || ch > '9')
              Fail(number, field, "not a date (\"" + std::string(bytes) + "\")");
            parts[p] = parts[p] * 10 + (ch - '0');
          }
        }
        const auto serial = DateSerial(parts[0], parts[1], parts[2]);
        if (!serial) {
          if (parts[0] >= 1 && parts[0] < 1900)
            Fail(number, field,
                 "the date " + std::string(bytes) +
                     " is before 1900, which this driver does not return");
          Fail(number, field, "not a date (\"" + std::string(bytes) + "\")");
        }
        cell.kind = CellKind::DateTime;
        cell.number = *serial;
        break;
      }
      case 'T': {
        const uint32_t julian = Le32(value), ms = Le32(value + 4);
        if ((julian == 0 && ms == 0) || bytes == "        ") continue;
        if (ms >= 86'400'000u)
          Fail(number, field, "a time of " + std::to_string(ms) + " ms, past the day's end");
        const auto serial = SerialOfDay(static_cast<int64_t>(julian) - 2440588);
        if (!serial)
          Fail(number, field,
               "the julian day " + std::to_string(julian) +
                   " is outside 1900 to 9999, which this driver returns");
        cell.kind = CellKind::DateTime;
        cell.number = *serial + ms / 86'400'000.0;
        break;
      }
      case 'L': {
        switch (value[0]) {
          case 'T':
          case 't':
          case 'Y':
          case 'y':
            cell.number = 1;
            break;
          case 'F':
          case 'f':
          case 'N':
          case 'n':
            cell.number = 0;
            break;
          case '?':
          case ' ':
          case 0:
            continue;
          default:
            Fail(number, field, "not a logical value (" + Hex(value[0]) + ")");
        }
        cell.kind = CellKind::Boolean;
        break;
      }
      case 'I':
        cell.kind = CellKind::Number;
        cell.number = static_cast<int32_t>(Le32(value));
        break;
      case 'Y':
        cell.kind = CellKind::Number;
        cell.number = static_cast<double>(Le64(value)) / 10000.0;
        break;
      case 'B':
        if (!field.binary) {
          cell.kind = CellKind::Number;
          cell.number = LeDouble(value);
          if (!std::isfinite(cell.number)) Fail(number, field, "not a finite number");
          break;
        }
        [[fallthrough]];
      default: {  // M G P W, and dBase IV's binary memo
        if (!ReadMemo(value, field, number)) {
          if (field.type != 'M' || field.binary) continue;
          memoBytes_.clear();  // a memo never written is empty text
        }
        if (field.binary) {
          cell.kind = CellKind::Text;
          cell.text = memoBytes_;
        } else {
          scratch_.clear();
          text_->Append(memoBytes_, scratch_);
          cell.kind = CellKind::Text;
          cell.text = scratch_;
        }
        break;
      }
    }
    if (!sink.OnCell(cell)) return false;
  }
  return true;
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

}  // namespace

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
    const auto memo = FindBeside(path, extension);
    if (!memo) continue;
    table->AttachMemo(OpenDbfFile(*memo, "not a memo file"), *memo);
    return table;
  }
  throw FormatError(path + ": its memo file " + table->ExpectedMemo() + " is missing");
}

}  // namespace tabrix::formats

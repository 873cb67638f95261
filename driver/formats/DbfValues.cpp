// A record's values as cells: one function per group of field types.
#include <cmath>
#include <optional>

#include "driver/formats/DbfTableImpl.h"
#include "driver/formats/Text.h"

namespace tabrix::formats::dbf {
namespace {

// Blanks and NULs around a field's digits.
std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == 0)) s.remove_suffix(1);
  while (!s.empty() && (s.front() == ' ' || s.front() == 0)) s.remove_prefix(1);
  return s;
}

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

}  // namespace

bool Table::Decode(const unsigned char* record, uint32_t row, uint64_t number, CellSink& sink) {
  for (size_t c = 0; c < fields_.size(); ++c) {
    const DbfField& field = fields_[c];
    if (Bit(record, field.nullBit)) continue;
    const unsigned char* value = record + field.offset;
    const Slot slot{field, record, value,
                    std::string_view(reinterpret_cast<const char*>(value), field.length), number};
    Cell cell;
    cell.row = row;
    cell.column = static_cast<uint32_t>(c);
    if (!ValueOf(slot, cell)) continue;
    if (!sink.OnCell(cell)) return false;
  }
  return true;
}

bool Table::ValueOf(const Slot& slot, Cell& cell) {
  switch (slot.field.type) {
    case 'C':
      return CharacterValue(slot, cell);
    case 'V':
    case 'Q':
      return VaryingValue(slot, cell);
    case 'N':
    case 'F':
      return NumericValue(slot, cell);
    case 'D':
      return DateValue(slot, cell);
    case 'T':
      return DateTimeValue(slot, cell);
    case 'L':
      return LogicalValue(slot, cell);
    case 'I':
      cell.kind = CellKind::Number;
      cell.number = static_cast<int32_t>(Le32(slot.value));
      return true;
    case 'Y':
      cell.kind = CellKind::Number;
      cell.number = static_cast<double>(Le64(slot.value)) / 10000.0;
      return true;
    case 'B':
      if (slot.field.binary) return MemoValue(slot, cell);
      cell.kind = CellKind::Number;
      cell.number = LeDouble(slot.value);
      if (!std::isfinite(cell.number)) Fail(slot.number, slot.field, "not a finite number");
      return true;
    default:  // M G P W
      return MemoValue(slot, cell);
  }
}

void Table::TextValue(std::string_view bytes, bool binary, Cell& cell) {
  cell.kind = CellKind::Text;
  if (binary) {
    cell.text = bytes;
    return;
  }
  scratch_.clear();
  text_->Append(bytes, scratch_);
  cell.text = scratch_;
}

bool Table::CharacterValue(const Slot& slot, Cell& cell) {
  std::string_view bytes = slot.bytes;
  if (!slot.field.binary)
    while (!bytes.empty() && (bytes.back() == ' ' || bytes.back() == 0)) bytes.remove_suffix(1);
  TextValue(bytes, slot.field.binary, cell);
  return true;
}

bool Table::VaryingValue(const Slot& slot, Cell& cell) {
  std::string_view bytes = slot.bytes;
  const DbfField& field = slot.field;
  if (Bit(slot.record, field.lengthBit)) {
    const uint8_t length = slot.value[field.length - 1];
    if (length >= field.length)
      Fail(slot.number, field,
           "a length of " + std::to_string(length) + " in a field of " +
               std::to_string(field.length) + " bytes");
    bytes = bytes.substr(0, length);
  }
  TextValue(bytes, field.binary, cell);
  return true;
}

bool Table::NumericValue(const Slot& slot, Cell& cell) const {
  const std::string_view digits = TrimBlanks(slot.bytes);
  // Blank, or the stars a writer puts where a value did not fit: no value.
  if (digits.empty() || digits.find_first_not_of('*') == std::string_view::npos) return false;
  auto number = PlainDecimal(digits);
  if (!number) number = ParseNumber(digits);
  if (!number) Fail(slot.number, slot.field, "not a number (\"" + std::string(digits) + "\")");
  cell.kind = CellKind::Number;
  cell.number = *number;
  return true;
}

bool Table::DateValue(const Slot& slot, Cell& cell) const {
  const std::string_view bytes = slot.bytes;
  if (bytes.find_first_not_of(std::string_view(" \0", 2)) == std::string_view::npos ||
      bytes == "00000000")
    return false;
  int parts[3] = {};
  const int widths[3] = {4, 2, 2};
  size_t at = 0;
  for (int p = 0; p < 3; ++p) {
    for (int i = 0; i < widths[p]; ++i, ++at) {
      const char ch = bytes[at];
      if (ch < '0' || ch > '9')
        Fail(slot.number, slot.field, "not a date (\"" + std::string(bytes) + "\")");
      parts[p] = parts[p] * 10 + (ch - '0');
    }
  }
  const auto serial = DateSerial(parts[0], parts[1], parts[2]);
  if (!serial) {
    if (parts[0] >= 1 && parts[0] < 1900)
      Fail(slot.number, slot.field,
           "the date " + std::string(bytes) + " is before 1900, which this driver does not return");
    Fail(slot.number, slot.field, "not a date (\"" + std::string(bytes) + "\")");
  }
  cell.kind = CellKind::DateTime;
  cell.number = *serial;
  return true;
}

bool Table::DateTimeValue(const Slot& slot, Cell& cell) const {
  const uint32_t julian = Le32(slot.value), ms = Le32(slot.value + 4);
  if ((julian == 0 && ms == 0) || slot.bytes == "        ") return false;
  if (ms >= 86'400'000u)
    Fail(slot.number, slot.field, "a time of " + std::to_string(ms) + " ms, past the day's end");
  const auto serial = SerialOfDay(static_cast<int64_t>(julian) - 2440588);
  if (!serial)
    Fail(slot.number, slot.field,
         "the julian day " + std::to_string(julian) +
             " is outside 1900 to 9999, which this driver returns");
  cell.kind = CellKind::DateTime;
  cell.number = *serial + ms / 86'400'000.0;
  return true;
}

bool Table::LogicalValue(const Slot& slot, Cell& cell) const {
  switch (slot.value[0]) {
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
      return false;
    default:
      Fail(slot.number, slot.field, "not a logical value (" + Hex(slot.value[0]) + ")");
  }
  cell.kind = CellKind::Boolean;
  return true;
}

// M G P W, and dBase IV's binary memo.
bool Table::MemoValue(const Slot& slot, Cell& cell) {
  if (!ReadMemo(slot.value, slot.field, slot.number)) {
    if (slot.field.type != 'M' || slot.field.binary) return false;
    memoBytes_.clear();  // a memo never written is empty text
  }
  TextValue(memoBytes_, slot.field.binary, cell);
  return true;
}

bool Table::ReadMemo(const unsigned char* value, const DbfField& field, uint64_t number) {
  uint64_t block = 0;
  if (field.length == 4) {
    block = Le32(value);
  } else {
    const std::string_view digits =
        TrimBlanks(std::string_view(reinterpret_cast<const char*>(value), field.length));
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

}  // namespace tabrix::formats::dbf

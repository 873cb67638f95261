#include "driver/formats/XlsxSheet.h"

#include <optional>

#include "driver/formats/CellReference.h"
#include "driver/formats/Dates.h"
#include "driver/formats/Text.h"

namespace tabrix::formats::xlsx {
namespace {

// The first serials after 9999-12-31.
constexpr double kLastSerial1900 = 2958466;
constexpr double kLastSerial1904 = 2958466 - 1462;

// A cell's number. Most are whole, and a whole number of up to 15 digits is read digit by
// digit, exactly; anything else goes to the general parser.
std::optional<double> ReadNumber(std::string_view s) {
  const bool negative = !s.empty() && s[0] == '-';
  const size_t first = negative ? 1 : 0;
  if (s.size() > first && s.size() - first <= 15) {
    uint64_t value = 0;
    size_t i = first;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) value = value * 10 + static_cast<uint64_t>(s[i] - '0');
    if (i == s.size()) return negative ? -static_cast<double>(value) : static_cast<double>(value);
  }
  return ParseNumber(s);
}

}  // namespace

void SheetReader::OnStart(std::string_view name, const char** attributes) {
  switch (name.size()) {
    case 1:
      if (name[0] == 'c') {
        StartCell(attributes);
      } else if (name[0] == 'v') {
        if (inCell_) {
          collect_ = &value_;
          hasValue_ = true;
        }
      } else if (name[0] == 't') {
        if (inInline_ && phonetic_ == 0) {
          collect_ = &text_;
          hasInline_ = true;
        }
      }
      return;
    case 2:
      if (name == "is" && inCell_) inInline_ = true;
      return;
    case 3:
      if (name == "row") {
        StartRow(attributes);
      } else if (name == "rPh") {
        ++phonetic_;
      }
      return;
    default:
      return;
  }
}

void SheetReader::OnEnd(std::string_view name) {
  switch (name.size()) {
    case 1:
      if (name[0] == 'c') {
        EndCell();
      } else if (name[0] == 'v' || name[0] == 't') {
        collect_ = nullptr;
      }
      return;
    case 2:
      if (name == "is") inInline_ = false;
      return;
    case 3:
      if (name == "rPh" && phonetic_ > 0) --phonetic_;
      return;
    case 9:
      if (name == "sheetData") Stop();  // what follows holds no cells
      return;
    default:
      return;
  }
}

void SheetReader::OnText(const char* text, int length) {
  if (!collect_) return;
  if (collect_->size() + static_cast<size_t>(length) > kMaxCellEscapedBytes) TooLong();
  collect_->append(text, static_cast<size_t>(length));
}

void SheetReader::TooLong() const {
  throw FormatError(path_ + ": refused: " + sheet_ + "$" + CellName(cell_.row, cell_.column) +
                    ": its text is longer than the " + std::to_string(kMaxCellCharacters) +
                    " characters a cell holds");
}

void SheetReader::Damaged(const std::string& what) const {
  throw FormatError(path_ + ": damaged: " + part_ + ": " + what);
}

void SheetReader::BadCell(const std::string& what) const {
  throw FormatError(path_ + ": damaged: " + sheet_ + "$" + CellName(cell_.row, cell_.column) +
                    ": " + what);
}

void SheetReader::StartRow(const char** attributes) {
  const char* r = Attribute(attributes, "r");
  if (r) {
    const auto n = ParseUnsigned(r);
    if (!n || *n == 0 || *n > kMaxRows)
      Damaged("row number \"" + std::string(r) + "\" is not a row of a sheet");
    row_ = *n - 1;
  } else {
    row_ = rowSeen_ ? row_ + 1 : 0;
  }
  if (row_ >= kMaxRows) Damaged("more rows than a sheet holds");
  rowSeen_ = true;
  cellInRow_ = false;
  nextColumn_ = 0;
}

void SheetReader::StartCell(const char** attributes) {
  const char* ref = nullptr;
  type_ = 'n';
  style_ = 0;
  for (const char** a = attributes; a[0]; a += 2) {
    const char* n = a[0];
    if (n[0] == 'r' && n[1] == 0) {
      ref = a[1];
    } else if (n[0] == 't' && n[1] == 0) {
      type_ = TypeOf(a[1]);
    } else if (n[0] == 's' && n[1] == 0) {
      style_ = ParseUnsigned(a[1]).value_or(0);
    }
  }
  if (ref) {
    const auto position = ParseCell(ref);
    if (!position) Damaged("cell reference \"" + std::string(ref) + "\" is not a cell of a sheet");
    cell_.row = position->row;
    cell_.column = position->column;
  } else {
    // The cell after the previous one: in its row, or the row's first.
    if (nextColumn_ >= kMaxColumns) Damaged("more columns than a sheet holds");
    cell_.row = cellInRow_ ? cell_.row : row_;
    cell_.column = nextColumn_;
  }
  cellInRow_ = true;
  nextColumn_ = cell_.column + 1;
  inCell_ = true;
  hasValue_ = hasInline_ = false;
  value_.clear();
  text_.clear();
}

char SheetReader::TypeOf(std::string_view t) {
  if (t == "s") return 's';
  if (t == "str") return 'f';  // a formula's text
  if (t == "inlineStr") return 'i';
  if (t == "b") return 'b';
  if (t == "e") return 'e';
  if (t == "d") return 'd';
  return 'n';
}

void SheetReader::EndCell() {
  inCell_ = inInline_ = false;
  collect_ = nullptr;
  cell_.text = {};
  cell_.number = 0;
  if (!TakeValue()) return;
  if (!sink_.OnCell(cell_)) Stop();
}

bool SheetReader::TakeValue() {
  switch (type_) {
    case 's':
      return SharedText();
    case 'i':
      return InlineText();
    case 'f':
      if (!hasValue_) return false;
      CheckLength(value_);
      cell_.kind = CellKind::Text;
      cell_.text = value_;
      return true;
    case 'b':
      return BooleanValue();
    case 'e':
      if (!hasValue_) return false;
      cell_.kind = CellKind::Error;
      cell_.text = value_;
      return true;
    case 'd':
      return DateValue();
    default:
      return NumberValue();
  }
}

bool SheetReader::SharedText() {
  if (!hasValue_) return false;
  const auto index = ParseUnsigned(value_);
  if (!index) BadCell("shared string index \"" + value_ + "\" is not a number");
  if (*index >= strings_.size())
    BadCell("shared string " + std::to_string(*index) + " of " + std::to_string(strings_.size()));
  if (strings_.TooLong(*index)) TooLong();
  cell_.kind = CellKind::Text;
  cell_.text = strings_.Get(*index);
  return true;
}

bool SheetReader::InlineText() {
  if (hasInline_) {
    DecodeEscapes(text_);
    cell_.text = text_;
  } else if (hasValue_) {
    cell_.text = value_;
  } else {
    return false;
  }
  CheckLength(cell_.text);
  cell_.kind = CellKind::Text;
  return true;
}

// As the spreadsheet application reads it: any number but 0 is TRUE.
bool SheetReader::BooleanValue() {
  const std::string_view v = Trim(value_);
  if (!hasValue_ || v.empty()) return false;
  cell_.kind = CellKind::Boolean;
  if (const auto number = ParseNumber(v)) {
    cell_.number = *number != 0 ? 1 : 0;
  } else if (EqualsIgnoreCase(v, "true") || EqualsIgnoreCase(v, "false")) {
    cell_.number = EqualsIgnoreCase(v, "true") ? 1 : 0;
  } else {
    BadCell("\"" + value_ + "\" is not a boolean");
  }
  return true;
}

bool SheetReader::DateValue() {
  if (!hasValue_ || Trim(value_).empty()) return false;
  const auto serial = IsoToSerial(Trim(value_), date1904_);
  if (serial) {
    cell_.kind = CellKind::DateTime;
    cell_.number = *serial;
  } else {  // a date no system can count: kept as the text the file holds
    cell_.kind = CellKind::Text;
    cell_.text = value_;
  }
  return true;
}

bool SheetReader::NumberValue() {
  if (!hasValue_ || Trim(value_).empty()) return false;
  const auto number = ReadNumber(value_);
  if (!number) BadCell("\"" + value_ + "\" is not a number");
  cell_.number = *number;
  // A date format on a number no date has (negative, beyond 9999) shows no date: the number
  // is kept as a number.
  const bool date = style_ < dateStyles_.size() && dateStyles_[style_] && *number >= 0 &&
                    *number < (date1904_ ? kLastSerial1904 : kLastSerial1900);
  cell_.kind = date ? CellKind::DateTime : CellKind::Number;
  return true;
}

}  // namespace tabrix::formats::xlsx

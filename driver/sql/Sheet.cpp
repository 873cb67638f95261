#include "sql/Sheet.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <unordered_set>

namespace tabrix::sql {
namespace {

// Howard Hinnant's days_from_civil and civil_from_days: days since 1970-01-01.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

}  // namespace

std::string CellName(uint32_t row, uint32_t column) {
  std::string letters;
  for (uint64_t c = uint64_t{column} + 1; c > 0; c = (c - 1) / 26) {
    letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
  }
  return letters + std::to_string(uint64_t{row} + 1);
}

size_t FormatNumber(double value, char* out) {
  if (std::isnan(value)) {
    std::memcpy(out, "NaN", 3);
    return 3;
  }
  // Whole numbers print without an exponent up to 2^53, as a sheet shows them.
  if (value == std::trunc(value) && std::fabs(value) < 9007199254740992.0) {
    auto result = std::to_chars(out, out + 32, static_cast<int64_t>(value));
    return static_cast<size_t>(result.ptr - out);
  }
  auto result = std::to_chars(out, out + 32, value);
  return static_cast<size_t>(result.ptr - out);
}

size_t FormatSerial(double serial, bool date1904, char* out) {
  if (!std::isfinite(serial) || std::fabs(serial) > 3e6) {
    return FormatNumber(serial, out);
  }
  const int64_t totalMs = std::llround(serial * 86400000.0);
  int64_t day = totalMs >= 0 ? totalMs / 86400000 : -((-totalMs + 86399999) / 86400000);
  int64_t ms = totalMs - day * 86400000;
  int64_t y;
  unsigned m, d;
  if (date1904) {
    CivilFromDays(DaysFromCivil(1904, 1, 1) + day, y, m, d);
  } else if (day == 60) {  // the 29 February 1900 the 1900 system counts, a day that never was
    y = 1900, m = 2, d = 28;
  } else if (day < 1) {  // a time of day alone: on the day before serial 1's eve, as ODBC has it
    CivilFromDays(DaysFromCivil(1899, 12, 30) + day, y, m, d);
  } else if (day < 60) {
    CivilFromDays(DaysFromCivil(1899, 12, 31) + day, y, m, d);
  } else {
    CivilFromDays(DaysFromCivil(1899, 12, 30) + day, y, m, d);
  }
  const int hh = static_cast<int>(ms / 3600000), mi = static_cast<int>(ms / 60000 % 60),
            ss = static_cast<int>(ms / 1000 % 60), fff = static_cast<int>(ms % 1000);
  int n = fff ? std::snprintf(out, 32, "%04lld-%02u-%02u %02d:%02d:%02d.%03d",
                              static_cast<long long>(y), m, d, hh, mi, ss, fff)
              : std::snprintf(out, 32, "%04lld-%02u-%02u %02d:%02d:%02d",
                              static_cast<long long>(y), m, d, hh, mi, ss);
  return static_cast<size_t>(n);
}

// Collects cells as they stream, sorts them only when the file did not keep its order.
class SheetData::Builder : public formats::CellSink {
 public:
  explicit Builder(SheetData& data) : data_(data) {}
  bool OnCell(const formats::Cell& cell) override {
    if (cell.column > 0xFFFFFF) {
      throw formats::FormatError("cell " + CellName(cell.row, cell.column) +
                                 ": beyond the last column a sheet has");
    }
    Stored stored{};
    stored.row = cell.row;
    stored.columnAndKind = cell.column | (static_cast<uint32_t>(cell.kind) << 24);
    if (cell.kind == CellKind::Text || cell.kind == CellKind::Error) {
      if (data_.arena_.size() + cell.text.size() > 0xFFFFFFFFu) {
        throw formats::FormatError("the sheet's text is larger than 4 GB");
      }
      stored.text.offset = static_cast<uint32_t>(data_.arena_.size());
      stored.text.length = static_cast<uint32_t>(cell.text.size());
      data_.arena_.append(cell.text);
    } else {
      stored.number = cell.number;
    }
    if (!data_.cells_.empty()) {
      const Stored& last = data_.cells_.back();
      if (last.row > stored.row || (last.row == stored.row && last.Column() >= stored.Column())) {
        ordered_ = false;
      }
    }
    data_.cells_.push_back(stored);
    return true;
  }
  void OnSize(uint32_t rows, uint32_t columns) override {
    data_.rows_ = rows;
    data_.columns_ = columns;
  }
  void OnWarning(const std::string& message) override { data_.warnings_.push_back(message); }

  void Finish() {
    auto& cells = data_.cells_;
    if (!ordered_) {
      std::stable_sort(cells.begin(), cells.end(), [](const Stored& a, const Stored& b) {
        return a.row != b.row ? a.row < b.row : a.Column() < b.Column();
      });
      // A repeated cell: the later one wins.
      size_t out = 0;
      for (size_t i = 0; i < cells.size(); ++i) {
        if (out > 0 && cells[out - 1].row == cells[i].row &&
            cells[out - 1].Column() == cells[i].Column()) {
          cells[out - 1] = cells[i];
        } else {
          cells[out++] = cells[i];
        }
      }
      cells.resize(out);
    }
    cells.shrink_to_fit();
    if (cells.empty()) return;
    Range& used = data_.used_;
    used.firstRow = cells.front().row;
    used.lastRow = cells.back().row;
    used.firstColumn = 0xFFFFFFFF;
    used.lastColumn = 0;
    for (const Stored& c : cells) {
      used.firstColumn = std::min(used.firstColumn, c.Column());
      used.lastColumn = std::max(used.lastColumn, c.Column());
    }
    auto& starts = data_.rowStart_;
    starts.assign(size_t{used.lastRow} - used.firstRow + 2, 0);
    size_t i = 0;
    for (uint64_t r = used.firstRow; r <= used.lastRow; ++r) {
      starts[r - used.firstRow] = static_cast<uint32_t>(i);
      while (i < cells.size() && cells[i].row == r) ++i;
    }
    starts.back() = static_cast<uint32_t>(cells.size());
  }

 private:
  SheetData& data_;
  bool ordered_ = true;
};

std::shared_ptr<const SheetData> SheetData::Read(formats::Workbook& workbook, size_t sheet,
                                                 uint32_t expectedCells) {
  auto data = std::make_shared<SheetData>();
  data->date1904_ = workbook.Date1904();
  // The declared dimension is a hint; a hostile one must not reserve gigabytes.
  data->cells_.reserve(std::min<uint32_t>(expectedCells, 1u << 20));
  Builder builder(*data);
  workbook.ReadSheet(sheet, builder);
  builder.Finish();
  return data;
}

std::shared_ptr<const SheetData> SheetData::FromCells(const std::vector<formats::Cell>& cells,
                                                      bool date1904) {
  auto data = std::make_shared<SheetData>();
  data->date1904_ = date1904;
  Builder builder(*data);
  for (const auto& cell : cells) builder.OnCell(cell);
  builder.Finish();
  return data;
}

const SheetData::Stored* SheetData::Find(uint32_t row, uint32_t column) const {
  if (cells_.empty() || row < used_.firstRow || row > used_.lastRow) return nullptr;
  const Stored* begin = cells_.data() + rowStart_[row - used_.firstRow];
  const Stored* end = cells_.data() + rowStart_[row - used_.firstRow + 1];
  // Rows are mostly full: look where the column would be first.
  if (column >= used_.firstColumn) {
    size_t guess = column - used_.firstColumn;
    if (guess < static_cast<size_t>(end - begin) && begin[guess].Column() == column) {
      return begin + guess;
    }
  }
  const Stored* it = std::lower_bound(begin, end, column, [](const Stored& c, uint32_t col) {
    return c.Column() < col;
  });
  return it != end && it->Column() == column ? it : nullptr;
}

ColumnType TypeOf(formats::DeclaredType type) {
  switch (type) {
    case formats::DeclaredType::Number:
    case formats::DeclaredType::Integer:
    case formats::DeclaredType::Currency:
      return ColumnType::Double;
    case formats::DeclaredType::Date:
    case formats::DeclaredType::DateTime:
      return ColumnType::Timestamp;
    case formats::DeclaredType::Boolean:
      return ColumnType::Bit;
    case formats::DeclaredType::Text:
      return ColumnType::Varchar;
    case formats::DeclaredType::LongText:
    case formats::DeclaredType::Binary:
      return ColumnType::LongVarchar;
  }
  return ColumnType::Varchar;
}

bool TableView::Fits(CellKind kind, ColumnType type) {
  switch (type) {
    case ColumnType::Varchar:
    case ColumnType::LongVarchar:
      return true;
    case ColumnType::Double:
      return kind == CellKind::Number;
    case ColumnType::Timestamp:
      return kind == CellKind::DateTime;
    case ColumnType::Bit:
      return kind == CellKind::Boolean;
  }
  return false;
}

namespace {

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

}  // namespace

TableView::TableView(std::shared_ptr<const SheetData> data, const Range* range,
                     std::string sheetName, const TableOptions& options,
                     const RecordTable* records)
    : data_(std::move(data)), sheetName_(std::move(sheetName)),
      maxScanRows_(options.maxScanRows), declared_(records && !records->declared.empty()),
      records_(records != nullptr) {
  static const std::vector<formats::DeclaredColumn> kNone;
  const auto& declared = records ? records->declared : kNone;
  if (records) {
    // Every record is a row and every field a column, from the first, empty ones too.
    uint32_t rows = data_->Rows(), columns = data_->Columns();
    if (!data_->Empty()) {
      rows = std::max(rows, data_->Used().lastRow + 1);
      columns = std::max(columns, data_->Used().lastColumn + 1);
    }
    if (declared_) columns = static_cast<uint32_t>(std::min<size_t>(declared.size(), 0xFFFFFF));
    if (columns == 0) {
      empty_ = true;
    } else {
      range_ = Range{0, 0, rows == 0 ? 0 : rows - 1, columns - 1};
      rowsClipped_ = rows == 0;
    }
  } else if (range) {
    range_ = *range;
    // A range of whole columns ends where the sheet's cells end.
    if (data_->Empty()) {
      rowsClipped_ = true;
    } else {
      if (range_.lastRow > data_->Used().lastRow) {
        range_.lastRow = std::max(data_->Used().lastRow, range_.firstRow);
        if (range_.firstRow > data_->Used().lastRow) rowsClipped_ = true;
      }
      // Whole rows end where the sheet's columns end.
      if (range_.lastColumn > data_->Used().lastColumn) {
        range_.lastColumn = std::max(data_->Used().lastColumn, range_.firstColumn);
      }
    }
  } else if (data_->Empty()) {
    empty_ = true;  // no cell at all: one column F1 and no rows
  } else {
    range_ = data_->Used();
  }
  const size_t columns = empty_ ? 1 : size_t{range_.lastColumn} - range_.firstColumn + 1;
  if (columns > kMaxColumns) {
    throw std::length_error("it spans " + std::to_string(columns) + " columns (" +
                            CellName(range_.firstRow, range_.firstColumn) + ":" +
                            CellName(range_.lastRow, range_.lastColumn) + "); a table has at most " +
                            std::to_string(kMaxColumns));
  }
  // Declared columns have their names; a first row of names is then skipped only.
  const bool namesRow = options.firstRowHasNames && !empty_ && !declared_;
  firstData_ = range_.firstRow + (options.firstRowHasNames && !empty_ ? 1 : 0);
  if (declared_) {
    if (columns != declared.size()) {
      throw std::length_error("it declares " + std::to_string(declared.size()) +
                              " columns; a table has at most " + std::to_string(kMaxColumns));
    }
  }

  // Names: the first row's texts, a blank one F<n>, a repeated one numbered.
  std::unordered_set<std::string> taken;
  names_.resize(columns);
  for (size_t c = 0; c < columns; ++c) {
    std::string name;
    if (declared_) {
      name = declared[c].name;
      for (char& ch : name) {
        if (static_cast<unsigned char>(ch) < 0x20) ch = ' ';
      }
    } else if (namesRow) {
      if (const auto* cell = data_->Find(range_.firstRow, SheetColumn(c))) {
        char buffer[32];
        switch (cell->Kind()) {
          case CellKind::Text:
          case CellKind::Error:
            name = data_->Text(*cell);
            break;
          case CellKind::Number:
            name.assign(buffer, FormatNumber(cell->number, buffer));
            break;
          case CellKind::DateTime:
            name.assign(buffer, FormatSerial(cell->number, data_->Date1904(), buffer));
            break;
          case CellKind::Boolean:
            name = cell->number != 0 ? "TRUE" : "FALSE";
            break;
        }
      }
      // A name holds no control characters and no outer blanks.
      for (char& ch : name) {
        if (static_cast<unsigned char>(ch) < 0x20) ch = ' ';
      }
      size_t b = name.find_first_not_of(' '), e = name.find_last_not_of(' ');
      name = b == std::string::npos ? std::string() : name.substr(b, e - b + 1);
    }
    if (name.empty()) name = "F" + std::to_string(c + 1);
    names_[c] = name;
  }
  // Made unique without regard to case, as SQL compares them: a later "Name" becomes "Name1".
  for (size_t c = 0; c < columns; ++c) {
    std::string candidate = names_[c];
    for (unsigned n = 1; taken.count(Lower(candidate)); ++n) {
      candidate = names_[c] + std::to_string(n);
    }
    // A name made for a repeat must not take a later column's own name either.
    bool clashesLater = false;
    for (size_t later = c + 1; later < columns && candidate != names_[c]; ++later) {
      if (SameName(candidate, names_[later])) clashesLater = true;
    }
    if (clashesLater) {
      for (unsigned n = 1;; ++n) {
        std::string next = names_[c] + "_" + std::to_string(n);
        bool clash = taken.count(Lower(next)) > 0;
        for (size_t later = c + 1; later < columns && !clash; ++later) {
          clash = SameName(next, names_[later]);
        }
        if (!clash) {
          candidate = next;
          break;
        }
      }
    }
    taken.insert(Lower(candidate));
    names_[c] = candidate;
  }

  // Types: the kinds of the first maxScanRows data rows (every row for 0), or of every row
  // when mixed columns are to be text.
  types_.assign(columns, ColumnType::Varchar);
  if (declared_) {
    for (size_t c = 0; c < columns; ++c) types_[c] = TypeOf(declared[c].type);
  }
  misfits_.clear();
  if (empty_ || RowCount() == 0 || rowsClipped_) return;
  const uint32_t lastRow = range_.lastRow;
  uint64_t scanEnd = options.maxScanRows == 0 ? uint64_t{lastRow} + 1
                                              : uint64_t{firstData_} + options.maxScanRows;
  if (options.mixedAsText) scanEnd = uint64_t{lastRow} + 1;
  scanEnd = std::min<uint64_t>(scanEnd, uint64_t{lastRow} + 1);
  if (declared_) scanEnd = firstData_;  // nothing is guessed: every row is checked
  std::vector<unsigned> kinds(columns, 0);  // a bit per CellKind seen
  std::vector<bool> longText(columns, false);
  // Row by row over the cells there are, not over every place a cell could be.
  for (uint64_t r = firstData_; r <= lastRow; ++r) {
    auto [begin, end] = data_->Row(static_cast<uint32_t>(r));
    for (const auto* cell = begin; cell != end; ++cell) {
      if (cell->Column() < range_.firstColumn || cell->Column() > range_.lastColumn) continue;
      const size_t c = cell->Column() - range_.firstColumn;
      if (cell->Kind() == CellKind::Text && cell->text.length > 255) longText[c] = true;
      if (r < scanEnd && cell->Kind() != CellKind::Error) {
        kinds[c] |= 1u << static_cast<unsigned>(cell->Kind());
      }
    }
  }
  for (size_t c = 0; c < columns && !declared_; ++c) {
    switch (kinds[c]) {
      case 1u << static_cast<unsigned>(CellKind::Number):
        types_[c] = ColumnType::Double;
        break;
      case 1u << static_cast<unsigned>(CellKind::DateTime):
        types_[c] = ColumnType::Timestamp;
        break;
      case 1u << static_cast<unsigned>(CellKind::Boolean):
        types_[c] = ColumnType::Bit;
        break;
      default:  // text, nothing, or several kinds: every value kept as its text
        types_[c] = longText[c] ? ColumnType::LongVarchar : ColumnType::Varchar;
        break;
    }
  }
  // What the guessed types cannot hold, in the rows after the scan.
  for (uint64_t r = scanEnd; r <= lastRow; ++r) {
    auto [begin, end] = data_->Row(static_cast<uint32_t>(r));
    for (const auto* cell = begin; cell != end; ++cell) {
      if (cell->Column() < range_.firstColumn || cell->Column() > range_.lastColumn) continue;
      const size_t c = cell->Column() - range_.firstColumn;
      if (types_[c] == ColumnType::Varchar || types_[c] == ColumnType::LongVarchar) continue;
      if (cell->Kind() == CellKind::Error || Fits(cell->Kind(), types_[c])) continue;
      auto it = std::find_if(misfits_.begin(), misfits_.end(),
                             [c](const Misfit& m) { return m.column == c; });
      if (it == misfits_.end()) {
        misfits_.push_back(Misfit{c, static_cast<uint32_t>(r), SheetColumn(c), 1});
      } else {
        ++it->count;
      }
    }
  }
  std::sort(misfits_.begin(), misfits_.end(),
            [](const Misfit& a, const Misfit& b) { return a.column < b.column; });
}

const TableView::ColumnIndex& TableView::Index(size_t column) const {
  if (indexes_.size() < names_.size()) indexes_.resize(names_.size());
  if (indexes_[column]) return *indexes_[column];
  auto index = std::make_unique<ColumnIndex>();
  const ColumnType type = types_[column];
  const bool numeric = type == ColumnType::Double || type == ColumnType::Bit;
  const uint64_t end = uint64_t{firstData_} + RowCount();
  for (uint64_t r = firstData_; r < end; ++r) {
    const auto* cell = data_->Find(static_cast<uint32_t>(r), SheetColumn(column));
    if (!cell || cell->Kind() == CellKind::Error || !Fits(cell->Kind(), type)) continue;
    const auto row = static_cast<uint32_t>(r);
    if (numeric) {
      index->numbers.emplace_back(cell->number == 0 ? 0.0 : cell->number, row);
      continue;
    }
    // The text exactly as the virtual table gives it.
    char buffer[32];
    switch (cell->Kind()) {
      case CellKind::Text: index->texts.emplace_back(std::string(data_->Text(*cell)), row); break;
      case CellKind::Number: index->texts.emplace_back(std::string(buffer, FormatNumber(cell->number, buffer)), row); break;
      case CellKind::DateTime:
        index->texts.emplace_back(std::string(buffer, FormatSerial(cell->number, data_->Date1904(), buffer)), row);
        break;
      case CellKind::Boolean: index->texts.emplace_back(cell->number != 0 ? "TRUE" : "FALSE", row); break;
      case CellKind::Error: break;
    }
  }
  std::sort(index->numbers.begin(), index->numbers.end());
  std::sort(index->texts.begin(), index->texts.end());
  index->rows.reserve(numeric ? index->numbers.size() : index->texts.size());
  for (const auto& [key, row] : index->numbers) index->rows.push_back(row);
  for (const auto& [key, row] : index->texts) index->rows.push_back(row);
  indexes_[column] = std::move(index);
  return *indexes_[column];
}

TableView::RowSpan TableView::RowsWithNumber(size_t column, double key) const {
  const ColumnIndex& index = Index(column);
  if (key == 0) key = 0.0;
  auto range = std::equal_range(index.numbers.begin(), index.numbers.end(), key,
                                [](const auto& a, const auto& b) {
                                  if constexpr (std::is_same_v<std::decay_t<decltype(a)>, double>) {
                                    return a < b.first;
                                  } else {
                                    return a.first < b;
                                  }
                                });
  const uint32_t* base = index.rows.data();
  return {base + (range.first - index.numbers.begin()), base + (range.second - index.numbers.begin())};
}

TableView::RowSpan TableView::RowsWithText(size_t column, std::string_view key) const {
  const ColumnIndex& index = Index(column);
  auto range = std::equal_range(index.texts.begin(), index.texts.end(), key,
                                [](const auto& a, const auto& b) {
                                  if constexpr (std::is_same_v<std::decay_t<decltype(a)>, std::string_view>) {
                                    return a < std::string_view(b.first);
                                  } else {
                                    return std::string_view(a.first) < b;
                                  }
                                });
  const uint32_t* base = index.rows.data();
  return {base + (range.first - index.texts.begin()), base + (range.second - index.texts.begin())};
}

}  // namespace tabrix::sql

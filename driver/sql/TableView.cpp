// A rectangle of a sheet read as a table: where it lies, its column names and the types
// guessed for them, and the values those types cannot hold.
#include <algorithm>
#include <stdexcept>
#include <unordered_set>

#include "sql/EngineImpl.h"
#include "sql/Sheet.h"

namespace tabrix::sql {

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

// A name holds no control characters.
void Printable(std::string& name) {
  for (char& ch : name) {
    if (static_cast<unsigned char>(ch) < 0x20) ch = ' ';
  }
}

// The type of a column whose scanned cells were of these kinds (a bit per CellKind).
ColumnType Guessed(unsigned kinds, bool longText) {
  switch (kinds) {
    case 1u << static_cast<unsigned>(CellKind::Number):
      return ColumnType::Double;
    case 1u << static_cast<unsigned>(CellKind::DateTime):
      return ColumnType::Timestamp;
    case 1u << static_cast<unsigned>(CellKind::Boolean):
      return ColumnType::Bit;
    default:  // text, nothing, or several kinds: every value kept as its text
      return longText ? ColumnType::LongVarchar : ColumnType::Varchar;
  }
}

}  // namespace

TableView::TableView(std::shared_ptr<const SheetData> data, const Range* range,
                     std::string sheetName, const TableOptions& options, const RecordTable* records)
    : data_(std::move(data)),
      sheetName_(std::move(sheetName)),
      maxScanRows_(options.maxScanRows),
      declared_(records && !records->declared.empty()),
      records_(records != nullptr) {
  static const std::vector<formats::DeclaredColumn> kNone;
  const auto& declared = records ? records->declared : kNone;
  if (records) {
    FrameRecords(declared.size());
  } else if (range) {
    FrameRange(*range);
  } else if (data_->Empty()) {
    empty_ = true;  // no cell at all: one column F1 and no rows
  } else {
    range_ = data_->Used();
  }
  const size_t columns = empty_ ? 1 : size_t{range_.lastColumn} - range_.firstColumn + 1;
  if (columns > kMaxColumns) {
    throw std::length_error("it spans " + std::to_string(columns) + " columns (" +
                            CellName(range_.firstRow, range_.firstColumn) + ":" +
                            CellName(range_.lastRow, range_.lastColumn) +
                            "); a table has at most " + std::to_string(kMaxColumns));
  }
  // Declared columns have their names; a first row of names is then skipped only.
  firstData_ = range_.firstRow + (options.firstRowHasNames && !empty_ ? 1 : 0);
  if (declared_ && columns != declared.size()) {
    throw std::length_error("it declares " + std::to_string(declared.size()) +
                            " columns; a table has at most " + std::to_string(kMaxColumns));
  }
  NameColumns(declared, options.firstRowHasNames && !empty_ && !declared_);
  MakeNamesUnique();
  types_.assign(columns, ColumnType::Varchar);
  if (declared_) {
    for (size_t c = 0; c < columns; ++c) types_[c] = TypeOf(declared[c].type);
  }
  misfits_.clear();
  if (empty_ || RowCount() == 0 || rowsClipped_) return;
  const uint64_t scanEnd = ScanEnd(options);
  if (!declared_) GuessTypes(scanEnd);
  FindMisfits(scanEnd);
}

// Every record is a row and every field a column, from the first, empty ones too.
void TableView::FrameRecords(size_t declaredColumns) {
  uint32_t rows = data_->Rows(), columns = data_->Columns();
  if (!data_->Empty()) {
    rows = std::max(rows, data_->Used().lastRow + 1);
    columns = std::max(columns, data_->Used().lastColumn + 1);
  }
  if (declared_) columns = static_cast<uint32_t>(std::min<size_t>(declaredColumns, 0xFFFFFF));
  if (columns == 0) {
    empty_ = true;
  } else {
    range_ = Range{0, 0, rows == 0 ? 0 : rows - 1, columns - 1};
    rowsClipped_ = rows == 0;
  }
}

void TableView::FrameRange(const Range& range) {
  range_ = range;
  // A range of whole columns ends where the sheet's cells end.
  if (data_->Empty()) {
    rowsClipped_ = true;
    return;
  }
  if (range_.lastRow > data_->Used().lastRow) {
    range_.lastRow = std::max(data_->Used().lastRow, range_.firstRow);
    if (range_.firstRow > data_->Used().lastRow) rowsClipped_ = true;
  }
  // Whole rows end where the sheet's columns end.
  if (range_.lastColumn > data_->Used().lastColumn) {
    range_.lastColumn = std::max(data_->Used().lastColumn, range_.firstColumn);
  }
}

// Names: the declared ones, or the first row's texts; a blank one F<n>.
void TableView::NameColumns(const std::vector<formats::DeclaredColumn>& declared, bool namesRow) {
  names_.resize(empty_ ? 1 : size_t{range_.lastColumn} - range_.firstColumn + 1);
  for (size_t c = 0; c < names_.size(); ++c) {
    std::string name;
    if (declared_) {
      name = declared[c].name;
      Printable(name);
    } else if (namesRow) {
      name = HeaderName(c);
    }
    if (name.empty()) name = "F" + std::to_string(c + 1);
    names_[c] = name;
  }
}

std::string TableView::HeaderName(size_t column) const {
  std::string name;
  if (const auto* cell = data_->Find(range_.firstRow, SheetColumn(column))) {
    char buffer[32];
    name = CellText(*data_, *cell, buffer);
  }
  // A name holds no outer blanks either.
  Printable(name);
  size_t b = name.find_first_not_of(' '), e = name.find_last_not_of(' ');
  return b == std::string::npos ? std::string() : name.substr(b, e - b + 1);
}

// Made unique without regard to case, as SQL compares them: a later "Name" becomes "Name1".
void TableView::MakeNamesUnique() {
  std::unordered_set<std::string> taken;
  const size_t columns = names_.size();
  // Whether a name made for a repeat would take a later column's own name.
  auto clashesLater = [&](size_t c, const std::string& name) {
    for (size_t later = c + 1; later < columns; ++later) {
      if (IEquals(name, names_[later])) return true;
    }
    return false;
  };
  for (size_t c = 0; c < columns; ++c) {
    std::string candidate = names_[c];
    for (unsigned n = 1; taken.count(Lower(candidate)); ++n) {
      candidate = names_[c] + std::to_string(n);
    }
    if (candidate != names_[c] && clashesLater(c, candidate)) {
      for (unsigned n = 1;; ++n) {
        std::string next = names_[c] + "_" + std::to_string(n);
        if (!taken.count(Lower(next)) && !clashesLater(c, next)) {
          candidate = next;
          break;
        }
      }
    }
    taken.insert(Lower(candidate));
    names_[c] = candidate;
  }
}

// The rows whose kinds decide the types: the first maxScanRows data rows (every row for 0),
// or every row when mixed columns are to be text; none when the file declares them.
uint64_t TableView::ScanEnd(const TableOptions& options) const {
  const uint64_t end = uint64_t{range_.lastRow} + 1;
  if (declared_) return firstData_;  // nothing is guessed: every row is checked
  if (options.mixedAsText || options.maxScanRows == 0) return end;
  return std::min<uint64_t>(uint64_t{firstData_} + options.maxScanRows, end);
}

template <typename Visit>
void TableView::ForEachCell(uint64_t from, Visit visit) const {
  // Row by row over the cells there are, not over every place a cell could be.
  for (uint64_t r = from; r <= range_.lastRow; ++r) {
    auto [begin, end] = data_->Row(static_cast<uint32_t>(r));
    for (const auto* cell = begin; cell != end; ++cell) {
      if (cell->Column() < range_.firstColumn || cell->Column() > range_.lastColumn) continue;
      visit(r, size_t{cell->Column() - range_.firstColumn}, *cell);
    }
  }
}

void TableView::GuessTypes(uint64_t scanEnd) {
  std::vector<unsigned> kinds(names_.size(), 0);  // a bit per CellKind seen
  std::vector<bool> longText(names_.size(), false);
  ForEachCell(firstData_, [&](uint64_t r, size_t c, const SheetData::Stored& cell) {
    if (cell.Kind() == CellKind::Text && cell.text.length > 255) longText[c] = true;
    if (r < scanEnd && cell.Kind() != CellKind::Error) {
      kinds[c] |= 1u << static_cast<unsigned>(cell.Kind());
    }
  });
  for (size_t c = 0; c < names_.size(); ++c) types_[c] = Guessed(kinds[c], longText[c]);
}

// What the types cannot hold, in the rows after the scan.
void TableView::FindMisfits(uint64_t scanEnd) {
  ForEachCell(scanEnd, [&](uint64_t r, size_t c, const SheetData::Stored& cell) {
    if (types_[c] == ColumnType::Varchar || types_[c] == ColumnType::LongVarchar) return;
    if (cell.Kind() == CellKind::Error || Fits(cell.Kind(), types_[c])) return;
    auto it = std::find_if(misfits_.begin(), misfits_.end(),
                           [c](const Misfit& m) { return m.column == c; });
    if (it == misfits_.end()) {
      misfits_.push_back(Misfit{c, static_cast<uint32_t>(r), SheetColumn(c), 1});
    } else {
      ++it->count;
    }
  });
  std::sort(misfits_.begin(), misfits_.end(),
            [](const Misfit& a, const Misfit& b) { return a.column < b.column; });
}

}  // namespace tabrix::sql

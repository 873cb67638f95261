// A sheet's cells as the engine keeps them (read once, shared by every connection), and a
// table over them: a rectangle, its column names and the types guessed for them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "formats/Workbook.h"

namespace tabrix::sql {

using formats::CellKind;
using formats::Range;

// The non-empty cells of one sheet, sorted by row and column, texts in one arena: no
// allocation per cell.
class SheetData {
 public:
  struct Stored {
    uint32_t row;
    uint32_t columnAndKind;  // column in the low 24 bits, the CellKind above them
    union {
      double number;
      struct {
        uint32_t offset, length;
      } text;
    };
    uint32_t Column() const { return columnAndKind & 0xFFFFFF; }
    CellKind Kind() const { return static_cast<CellKind>(columnAndKind >> 24); }
  };
  static_assert(sizeof(Stored) == 16);

  // Reads every cell of `sheet` from the workbook. Throws formats::FormatError.
  static std::shared_ptr<const SheetData> Read(formats::Workbook& workbook, size_t sheet,
                                               uint32_t expectedCells);
  // From cells given directly (the order is free; a repeated cell, the later one wins).
  static std::shared_ptr<const SheetData> FromCells(const std::vector<formats::Cell>& cells,
                                                    bool date1904 = false);

  bool Empty() const { return cells_.empty(); }
  // The used range: the smallest rectangle holding every non-empty cell.
  const Range& Used() const { return used_; }
  // The cell at (row, column), or null when it is empty.
  const Stored* Find(uint32_t row, uint32_t column) const;
  // The non-empty cells of a row, by column.
  std::pair<const Stored*, const Stored*> Row(uint32_t row) const {
    if (cells_.empty() || row < used_.firstRow || row > used_.lastRow) return {nullptr, nullptr};
    const Stored* base = cells_.data();
    return {base + rowStart_[row - used_.firstRow], base + rowStart_[row - used_.firstRow + 1]};
  }
  std::string_view Text(const Stored& cell) const {
    return std::string_view(arena_.data() + cell.text.offset, cell.text.length);
  }
  size_t CellCount() const { return cells_.size(); }
  bool Date1904() const { return date1904_; }
  // A file of records tells its size: rows 0 to Rows() - 1 and columns 0 to Columns() - 1,
  // whether or not they hold a cell. Zero: not told (a sheet: its cells decide).
  uint32_t Rows() const { return rows_; }
  uint32_t Columns() const { return columns_; }
  // What the reader had to say about the file while reading it (extra fields, ...).
  const std::vector<std::string>& Warnings() const { return warnings_; }

 private:
  class Builder;
  std::vector<Stored> cells_;
  std::string arena_;
  std::vector<uint32_t> rowStart_;  // per row of the used range: its first cell; one more at the end
  Range used_;
  bool date1904_ = false;
  uint32_t rows_ = 0, columns_ = 0;
  std::vector<std::string> warnings_;
};

// The SQL types of the columns.
enum class ColumnType : uint8_t { Double, Timestamp, Bit, Varchar, LongVarchar };

struct TableOptions {
  bool firstRowHasNames = true;
  unsigned maxScanRows = 8;  // 0: every row
  bool mixedAsText = false;  // IMEX=1: a column whose rows hold several kinds anywhere is text
};

// A file of records (a folder's text or .dbf file) as a table: it starts at its first row and
// column and spans the size the file tells, empty rows and columns included.
struct RecordTable {
  // The columns the file declares: their names and types are taken, not guessed (a first
  // row of names, where the options say there is one, is skipped).
  std::vector<formats::DeclaredColumn> declared;
};

// The engine's type for a type a file declares.
ColumnType TypeOf(formats::DeclaredType type);

// A value that its column's type cannot hold, and so is NULL: the statement says so.
struct Misfit {
  size_t column = 0;
  uint32_t row = 0, sheetColumn = 0;  // the first such cell
  size_t count = 0;
};

// A rectangle of a sheet read as a table.
class TableView {
 public:
  static constexpr size_t kMaxColumns = 2000;  // the engine's own limit

  // `range`: the rectangle, or none for the sheet's used range. `sheetName` names cells in
  // messages ("Mixed$A13"). Throws std::length_error for more than kMaxColumns columns.
  TableView(std::shared_ptr<const SheetData> data, const Range* range, std::string sheetName,
            const TableOptions& options, const RecordTable* records = nullptr);

  const std::vector<std::string>& ColumnNames() const { return names_; }
  const std::vector<ColumnType>& ColumnTypes() const { return types_; }
  const std::vector<Misfit>& Misfits() const { return misfits_; }
  uint32_t FirstDataRow() const { return firstData_; }
  uint32_t RowCount() const {
    return empty_ || rowsClipped_ || firstData_ > range_.lastRow ? 0
                                                                 : range_.lastRow - firstData_ + 1;
  }
  uint32_t SheetColumn(size_t column) const { return range_.firstColumn + static_cast<uint32_t>(column); }
  const SheetData& Data() const { return *data_; }
  const std::string& SheetName() const { return sheetName_; }
  unsigned MaxScanRows() const { return maxScanRows_; }
  bool Declared() const { return declared_; }
  bool Records() const { return records_; }
  // Whether a cell of this kind is kept in a column of this type (else it is NULL).
  static bool Fits(CellKind kind, ColumnType type);

  // The sheet rows whose value in `column` is the number `key` (numeric columns) or the text
  // `key` (text and timestamp columns, as the column gives it), ascending: an index of the
  // column made the first time it is asked for, so that joins and lookups do not scan.
  struct RowSpan {
    const uint32_t* begin = nullptr;
    const uint32_t* end = nullptr;
  };
  RowSpan RowsWithNumber(size_t column, double key) const;
  RowSpan RowsWithText(size_t column, std::string_view key) const;

 private:
  std::shared_ptr<const SheetData> data_;
  Range range_;
  bool empty_ = false;
  bool rowsClipped_ = false;  // the range lies below every cell of the sheet
  uint32_t firstData_ = 0;
  std::string sheetName_;
  unsigned maxScanRows_ = 8;
  bool declared_ = false;
  bool records_ = false;
  std::vector<std::string> names_;
  std::vector<ColumnType> types_;
  std::vector<Misfit> misfits_;
  struct ColumnIndex {
    std::vector<std::pair<double, uint32_t>> numbers;
    std::vector<std::pair<std::string, uint32_t>> texts;
    std::vector<uint32_t> rows;  // the rows in key order, for the spans
  };
  const ColumnIndex& Index(size_t column) const;
  mutable std::vector<std::unique_ptr<ColumnIndex>> indexes_;  // one connection's, lazily
};

// "A13": a cell's name as the sheet shows it (zero-based row and column).
std::string CellName(uint32_t row, uint32_t column);
// A number as text: the shortest form that reads back as the same number.
size_t FormatNumber(double value, char* out);  // out: at least 32 bytes
// A date serial as "YYYY-MM-DD HH:MM:SS[.fff]". out: at least 32 bytes.
size_t FormatSerial(double serial, bool date1904, char* out);

}  // namespace tabrix::sql

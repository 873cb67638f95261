// A sheet's cells as the engine keeps them (read once, shared by every connection), and a
// table over them: a rectangle, its column names and the types guessed for them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "formats/Workbook.h"

namespace tabrix::sql {

using formats::CellKind;
using formats::Range;

// The pages behind PageArray. ResizePages moves or grows a block of `from` bytes to `to`
// bytes (either may be 0), keeping its contents; throws std::bad_alloc.
void* ResizePages(void* block, size_t from, size_t to);
void ReleasePages(void* block, size_t bytes);

// Memory taken from the system in pages and grown by remapping them, never by copying: a
// sheet's cells and texts reach hundreds of megabytes, and a vector's doubling would copy them
// at each step and hold both copies at its peak. Pages never written to take no memory.
// For trivially copyable elements only.
template <typename T>
class PageArray {
 public:
  PageArray() = default;
  ~PageArray() { ReleasePages(data_, capacity_ * sizeof(T)); }
  PageArray(const PageArray&) = delete;
  PageArray& operator=(const PageArray&) = delete;

  bool empty() const { return size_ == 0; }
  size_t size() const { return size_; }
  T* data() { return data_; }
  const T* data() const { return data_; }
  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }
  T& operator[](size_t i) { return data_[i]; }
  const T& operator[](size_t i) const { return data_[i]; }
  const T& front() const { return data_[0]; }
  const T& back() const { return data_[size_ - 1]; }

  void reserve(size_t count) {
    if (count > capacity_) Regrow(count);
  }
  void push_back(const T& value) {
    if (size_ == capacity_) Regrow(capacity_ < 4096 ? 4096 : capacity_ * 2);
    data_[size_++] = value;
  }
  // Appends `count` elements and returns where they start.
  T* Extend(size_t count) {
    if (capacity_ - size_ < count) Regrow(std::max(size_ + count, capacity_ * 2));
    T* at = data_ + size_;
    size_ += count;
    return at;
  }
  void resize(size_t count) {  // shrinks only
    if (count < size_) size_ = count;
  }
  // Gives the pages past the last element back.
  void shrink_to_fit() {
    if (capacity_ > size_) {
      data_ = static_cast<T*>(ResizePages(data_, capacity_ * sizeof(T), size_ * sizeof(T)));
      capacity_ = size_;
    }
  }

 private:
  void Regrow(size_t count) {
    if (count > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    data_ = static_cast<T*>(ResizePages(data_, capacity_ * sizeof(T), count * sizeof(T)));
    capacity_ = count;
  }
  T* data_ = nullptr;
  size_t size_ = 0, capacity_ = 0;
};

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
  PageArray<Stored> cells_;
  PageArray<char> arena_;
  std::vector<uint32_t>
      rowStart_;  // per row of the used range: its first cell; one more at the end
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
  uint32_t SheetColumn(size_t column) const {
    return range_.firstColumn + static_cast<uint32_t>(column);
  }
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
  // The steps of reading the table, in the order the constructor takes them.
  void FrameRecords(size_t declaredColumns);
  void FrameRange(const Range& range);
  void NameColumns(const std::vector<formats::DeclaredColumn>& declared, bool namesRow);
  std::string HeaderName(size_t column) const;
  void MakeNamesUnique();
  uint64_t ScanEnd(const TableOptions& options) const;
  void GuessTypes(uint64_t scanEnd);
  void FindMisfits(uint64_t scanEnd);
  // Calls visit(row, column, cell) for the table's cells in the rows from `from` on.
  template <typename Visit>
  void ForEachCell(uint64_t from, Visit visit) const;

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
// A cell as a text column gives it: its text, number, date or TRUE/FALSE. buffer: 32 bytes,
// which the text may be in.
std::string_view CellText(const SheetData& data, const SheetData::Stored& cell, char* buffer);

}  // namespace tabrix::sql

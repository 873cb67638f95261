// The one interface between the driver's engine and its file formats: the tables of a file,
// and the cells of one table as a stream. A format knows neither ODBC nor SQL.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tabrix::formats {

// Why a file could not be opened or read; the message names the file, the part and the cell
// where it can ("Sheet1$B7: shared string 40 of 12").
class FormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class CellKind : uint8_t {
  Number,    // number: the value
  DateTime,  // a number whose format is a date or a time: the serial, in the workbook's system
  Boolean,   // number: 0 or 1
  Text,      // text: UTF-8
  Error,     // text: the error as the sheet shows it ("#N/A", "#DIV/0!")
};

// One non-empty cell. `text` is valid only during the call that passes the cell.
struct Cell {
  uint32_t row = 0;     // zero-based, of the sheet
  uint32_t column = 0;  // zero-based, of the sheet
  CellKind kind = CellKind::Number;
  double number = 0;
  std::string_view text;
};

// A rectangle of a sheet, zero-based and inclusive.
struct Range {
  uint32_t firstRow = 0, firstColumn = 0, lastRow = 0, lastColumn = 0;
};

// A worksheet, or a name the workbook defines for a range of one.
struct TableInfo {
  std::string name;     // a sheet's own name ("Sales 2026"), or the defined name
  bool isSheet = true;  // false: a defined name
  size_t sheet = 0;     // the index in Workbook::Tables() of the sheet the table's cells are on
  bool hasRange = false;
  Range range;          // for a defined name: its cells; for a sheet: the dimension the file
                        // declares, if it declares one (a hint only: cells decide)
};

// Receives a sheet's cells. Cells come in the file's order, which is row by row in files
// that well-kept writers make; a consumer must still accept any order, and a repeated cell
// (the later one wins). Returning false stops the stream early.
class CellSink {
 public:
  virtual ~CellSink() = default;
  virtual bool OnCell(const Cell& cell) = 0;
};

class Workbook {
 public:
  virtual ~Workbook() = default;
  // Sheets first, in the workbook's order, then defined names.
  virtual const std::vector<TableInfo>& Tables() const = 0;
  // true: serials count from 1904-01-01 (serial 0); false: the 1900 system (serial 1 is
  // 1900-01-01, and 60 is the 29 February 1900 that the system counts).
  virtual bool Date1904() const = 0;
  // Streams the cells of the sheet at `sheet` (an index into Tables() with isSheet); reading
  // holds no more than a bounded window of the file in memory. Throws FormatError.
  virtual void ReadSheet(size_t sheet, CellSink& sink) = 0;
};

// Opens the workbook at `path` read-only, telling .xlsx/.xlsm from .xls by their content, and
// reads only its structure (the sheets, the names, the styles and shared strings it needs to
// read cells). Never blocks on a FIFO or a device: anything but a regular file is refused.
// Throws FormatError with the reason ("not a workbook", "encrypted", "damaged: ...").
std::unique_ptr<Workbook> OpenWorkbook(const std::string& path);

}  // namespace tabrix::formats

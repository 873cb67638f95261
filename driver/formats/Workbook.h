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

// The types a file can declare for its columns (a schema.ini line, a .dbf field).
enum class DeclaredType : uint8_t {
  Number,    // a floating-point number: Number cells
  Integer,   // a whole number: Number cells
  Currency,  // a fixed-point amount: Number cells
  Date,      // a day: DateTime cells (a serial of the 1900 system, no fraction)
  DateTime,  // a day and time: DateTime cells
  Boolean,   // Boolean cells
  Text,      // Text cells of at most `width` characters (255 when 0)
  LongText,  // Text cells of any length (a memo)
  Binary,    // Text cells holding bytes (a general or binary field)
};

// A column the file declares (a schema.ini line, a .dbf field). When a table has declared
// columns, the engine takes their names and types instead of guessing, and every row of
// the table is data (but for a first row of names the table skips: firstRowHasNames = 1).
struct DeclaredColumn {
  std::string name;
  DeclaredType type = DeclaredType::Text;
  uint32_t width = 0;  // characters or digits; 0: the type's own
  uint32_t scale = 0;  // digits after the point (Number, Currency)
};

// A worksheet, a name the workbook defines for a range of one, or a file of a folder that is
// the database (a text or .dbf file).
struct TableInfo {
  std::string name;     // a sheet's own name ("Sales 2026"), the defined name, or the name a
                        // folder's file is listed by ("sales#csv")
  bool isSheet = true;  // false: a defined name
  size_t sheet = 0;     // the index in Workbook::Tables() of the sheet the table's cells are on
  bool hasRange = false;
  Range range;          // for a defined name: its cells; for a sheet: the dimension the file
                        // declares, if it declares one (a hint only: cells decide)

  // A table that is a file of its own (a folder's text or .dbf file): that file's path. Its
  // name takes no '$' and no range; `aliases` are the other names SQL may give it
  // ("sales.csv"). Its cells are kept per file and `readAs`, which says how the format reads
  // it (its options, the schema it was given): a change of either reads it again.
  std::string file;
  std::vector<std::string> aliases;
  std::string readAs;
  // The columns the file declares; when there are none, the engine takes the names from the
  // first row where `firstRowHasNames` says so and guesses the types from the first
  // `maxScanRows` rows (0: every row). Unset: as the data source says (with declared
  // columns: no row of names).
  std::vector<DeclaredColumn> columns;
  int8_t firstRowHasNames = -1;  // -1 unset, 0 no, 1 yes
  int32_t maxScanRows = -1;      // -1 unset
};

// Receives a sheet's cells. Cells come in the file's order, which is row by row in files
// that well-kept writers make; a consumer must still accept any order, and a repeated cell
// (the later one wins). Returning false stops the stream early.
class CellSink {
 public:
  virtual ~CellSink() = default;
  virtual bool OnCell(const Cell& cell) = 0;
  // A table of records (a file of a folder) tells its size at the end, so that rows and
  // columns with no value at all still count: rows 0 to rows - 1, columns 0 to columns - 1.
  virtual void OnSize(uint32_t /*rows*/, uint32_t /*columns*/) {}
  // Something the reader tells about the file without failing (a line with more fields than
  // the table has, left out), naming the file and the line; told with every statement that
  // reads the table.
  virtual void OnWarning(const std::string& /*message*/) {}
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

// What a data source's driver reads.
enum class DatabaseKind : uint8_t {
  Excel,   // a workbook file
  Text,    // a folder of delimited or fixed-width text files
  DBase,   // a folder of .dbf tables
  FoxPro,  // a folder of Visual FoxPro .dbf tables
};

// The data source's options that a format reads by (schema.ini and the file's own header
// come before them). Empty strings and -1: not given.
struct DatabaseOptions {
  std::vector<std::string> extensions;  // the files that are tables, by extension ("csv"; "*"
                                        // every file; "" a file without one); empty: the
                                        // format's own list
  std::string format;                   // "CSVDelimited", "TabDelimited", "Delimited(;)",
                                        // "FixedLength"
  int8_t colNameHeader = -1;            // whether a text file's first line names the columns
  int32_t maxScanRows = -1;             // rows a type is guessed from (0: every row)
  std::string characterSet;             // "ANSI", "OEM", "65001", "UTF-8", a code page number
};

// Opens the database at `path` for `kind`: a workbook for Excel, a folder for the others
// (each table's file is only listed; it is read when ReadSheet is called for it). Throws
// FormatError with the reason ("a FIFO", "not a folder", ...), naming the path.
std::unique_ptr<Workbook> OpenDatabase(DatabaseKind kind, const std::string& path,
                                       const DatabaseOptions& options);

}  // namespace tabrix::formats

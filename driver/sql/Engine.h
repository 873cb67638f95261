// The SQL engine: SQLite over a workbook's sheets. One Database per connection (an in-memory
// SQLite database whose tables are virtual tables over the sheets), one Query per statement.
// A Database and its queries are used by one thread at a time; the sheets behind them are
// shared by every connection in the process.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "sql/Sheet.h"

struct sqlite3;
struct sqlite3_stmt;

namespace tabrix::sql {

// A failure with its SQLSTATE; the message names what failed and starts "[Tabrix] ".
class EngineError : public std::runtime_error {
 public:
  EngineError(std::string state, const std::string& message)
      : std::runtime_error("[Tabrix] " + message), state_(std::move(state)) {}
  const std::string& State() const { return state_; }

 private:
  std::string state_;
};

struct Warning {
  std::string state;
  std::string message;  // starts "[Tabrix] "
};

struct ConnectOptions {
  std::string path;  // the workbook, or the folder for the drivers of folders
  TableOptions table;
  formats::DatabaseKind kind = formats::DatabaseKind::Excel;
  formats::DatabaseOptions database;  // what the formats of folders read by
};

// The SQL types of result columns: the columns' own, and what expressions give.
enum class ResultType : uint8_t { Double, Timestamp, Bit, Varchar, LongVarchar, BigInt };

struct ResultColumn {
  std::string name;      // the label
  std::string baseName;  // the sheet's column, or empty for an expression
  std::string table;     // the table it comes from, or empty
  ResultType type = ResultType::Varchar;
};

enum class ValueType : uint8_t { Null, Integer, Real, Text };

class Database;

class Query {
 public:
  ~Query();
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  int ParameterCount() const;
  void BindNull(int index);  // 1-based
  void BindInteger(int index, int64_t value);
  void BindReal(int index, double value);
  void BindText(int index, std::string_view value);
  void BindBlob(int index, std::string_view bytes);
  void ClearBindings();

  // Runs the statement to its first row; the values lost to guessed types come back as
  // warnings. Throws EngineError.
  void Execute(std::vector<Warning>& warnings);
  bool HasRow() const { return hasRow_; }
  // The next row; false at the end. Throws EngineError.
  bool Next();
  void Close();

  int ColumnCount() const { return static_cast<int>(columns_.size()); }
  // Known after Prepare; an expression's type is settled by its first row after Execute.
  const ResultColumn& Column(int index) const { return columns_[static_cast<size_t>(index)]; }

  // The current row's values (0-based columns); a text is valid until the next row.
  ValueType Type(int column) const;
  int64_t Integer(int column) const;
  double Real(int column) const;
  std::string_view Text(int column) const;

 private:
  friend class Database;
  Query(Database& database, sqlite3_stmt* statement);
  void DescribeColumns(bool fromRow);
  // Execute's steps: to the first row, then what the tables read could not hold.
  void FirstRow();
  void TellLostValues(std::vector<Warning>& warnings) const;
  // A statement that only lists columns of one sheet (SELECT * or SELECT a, b FROM t) reads
  // its rows from the sheet's cells directly, each value as the virtual table would give it,
  // without a pass through the engine per value. The engine still prepares and describes it.
  void PlanDirect(std::string_view sql);
  struct DirectValue {
    ValueType type = ValueType::Null;
    int64_t integer = 0;
    double real = 0;
    std::string_view text;
    uint64_t row = UINT64_MAX;  // the row it was read for
    char buffer[32];
  };
  const DirectValue& Direct(int column) const;

  Database& database_;
  sqlite3_stmt* statement_;
  std::vector<ResultColumn> columns_;
  std::vector<std::pair<std::string, std::string>> reads_;  // (table, column) the SQL reads
  bool hasRow_ = false;
  bool described_ = false;
  std::shared_ptr<const TableView> direct_;  // set when the rows are read directly
  std::vector<size_t> directColumns_;        // by result column: the view's column
  mutable std::vector<DirectValue> directValues_;
  uint64_t directRow_ = 0, directEnd_ = 0;
};

class Database {
 public:
  // Opens the workbook's structure. Throws EngineError 08001 naming the path and the reason.
  static std::unique_ptr<Database> Open(const ConnectOptions& options);
  // Over a workbook already open (tests give theirs); its sheets are cached by `options.path`
  // together with the object's identity.
  static std::unique_ptr<Database> Open(const ConnectOptions& options,
                                        std::unique_ptr<formats::Workbook> workbook);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // The statement as the engine runs it (the desktop dialect and the ODBC escapes translated).
  // Throws EngineError 42000 for an escape it cannot read.
  static std::string Translate(std::string_view sql);
  // Throws EngineError: 42S02 an unknown table, 42S22 an unknown column, 42000 a syntax error
  // or a statement that would change something.
  std::unique_ptr<Query> Prepare(std::string_view sql);

  struct Table {
    std::string name;  // as SQL names it ("Sales 2026$", the defined name, "sales#csv")
    bool isSheet = true;
    bool isFile = false;  // a folder's file
  };
  std::vector<Table> Tables() const;
  // The columns of a table as a query sees them. Throws EngineError 42S02.
  std::vector<std::pair<std::string, ColumnType>> Columns(const std::string& table);
  const std::string& Path() const { return options_.path; }
  const TableOptions& Options() const { return options_.table; }

  // Stops a running statement (from another thread).
  void Interrupt();
  // Stops the statements stepped from now on once they run `seconds` (0: no limit) in one
  // call, failing them HYT00.
  void SetTimeout(unsigned seconds);

  struct Impl;  // the engine's own state, opaque

 private:
  friend class Query;
  explicit Database(const ConnectOptions& options);
  // Makes the virtual table for `name` if the workbook has it; false if not.
  bool Resolve(const std::string& name);
  bool ResolveFile(const std::string& name);  // a folder's file
  bool AddView(const std::string& name, std::shared_ptr<TableView> view);
  const TableView* View(const std::string& table) const;
  std::shared_ptr<const TableView> SharedView(const std::string& table) const;
  [[noreturn]] void Fail(int code, const std::string& sql);
  std::string Where() const;  // "the workbook '...'" or "the folder '...'", for messages

  ConnectOptions options_;
  std::unique_ptr<Impl> impl_;
};

// How many sheets this process has read from files (each is read once while its file is
// unchanged, whatever the connections): for tests and diagnostics.
size_t SheetsRead();

// Whether a statement's first word makes it one that changes something (for the message).
bool IsChange(std::string_view sql);

}  // namespace tabrix::sql

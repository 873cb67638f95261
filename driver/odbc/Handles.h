// The driver's handles and its UTF-8 core: every entry point, ANSI or wide, converts its
// strings and calls one function here. Strings in and out of the core are UTF-8.
#pragma once

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sql/Engine.h"

namespace tabrix::odbc {

struct DiagRecord {
  std::string state;
  std::string message;
  SQLINTEGER native = 0;
  SQLLEN row = SQL_NO_ROW_NUMBER;
  SQLINTEGER column = SQL_NO_COLUMN_NUMBER;
};

// What every handle has: its diagnostics, cleared by each call but the diagnostic ones.
struct Handle {
  explicit Handle(SQLSMALLINT type) : handleType(type) {}
  SQLSMALLINT handleType;
  std::vector<DiagRecord> diags;
  SQLRETURN lastReturn = SQL_SUCCESS;
  SQLLEN diagRowCount = 0;
  // Records a diagnostic and answers SQL_ERROR (or SQL_SUCCESS_WITH_INFO for a warning).
  SQLRETURN Error(const std::string& state, const std::string& message);
  void Warn(const std::string& state, const std::string& message);
};

struct Env : Handle {
  Env() : Handle(SQL_HANDLE_ENV) {}
  SQLINTEGER odbcVersion = SQL_OV_ODBC3;
  std::mutex mutex;
};

struct Stmt;

struct Dbc : Handle {
  explicit Dbc(Env* e) : Handle(SQL_HANDLE_DBC), env(e) {}
  Env* env;
  std::recursive_mutex mutex;  // one call on a connection and its statements at a time
  std::unique_ptr<sql::Database> database;
  std::list<Stmt*> statements;
  std::atomic<Stmt*> running{nullptr};  // the statement the engine is stepping, for SQLCancel
  std::string dsn;
  bool readOnly = true;
  bool autocommit = true;
  SQLUINTEGER loginTimeout = 0, connectionTimeout = 0, packetSize = 0;
  SQLUINTEGER accessMode = SQL_MODE_READ_ONLY;
  SQLUINTEGER txnIsolation = SQL_TXN_READ_COMMITTED;
  SQLUINTEGER metadataId = SQL_FALSE;
  std::string currentCatalog;
};

// A bound column or parameter.
struct Binding {
  bool bound = false;
  SQLSMALLINT cType = SQL_C_DEFAULT;
  SQLPOINTER target = nullptr;
  SQLLEN bufferLength = 0;
  SQLLEN* indicator = nullptr;
  // Parameters only.
  SQLSMALLINT ioType = SQL_PARAM_INPUT, sqlType = SQL_VARCHAR;
  SQLULEN columnSize = 0;
  SQLSMALLINT decimalDigits = 0;
};

// A result column's description, as SQLDescribeCol and SQLColAttribute give it.
struct ColumnMeta {
  std::string name, baseName, table, typeName;
  SQLSMALLINT sqlType = SQL_VARCHAR;
  SQLULEN size = 255;
  SQLSMALLINT digits = 0;
  SQLSMALLINT nullable = SQL_NULLABLE;
  SQLLEN displaySize = 255, octetLength = 255;
  bool isUnsigned = false;
};

// One value of the current row.
struct Value {
  sql::ValueType type = sql::ValueType::Null;
  int64_t integer = 0;
  double real = 0;
  std::string_view text;
};

// A result set: the engine's rows, or rows the driver made (the catalogue).
class Result {
 public:
  virtual ~Result() = default;
  virtual size_t ColumnCount() const = 0;
  virtual const ColumnMeta& Meta(size_t column) const = 0;
  // Moves to the next row (the first on the first call); false past the last.
  virtual bool Next() = 0;
  virtual Value Get(size_t column) const = 0;
};

struct Stmt : Handle {
  explicit Stmt(Dbc* d) : Handle(SQL_HANDLE_STMT), dbc(d) {}
  Dbc* dbc;
  std::string sql;                    // as the engine runs it
  std::unique_ptr<sql::Query> query;  // the prepared statement, if any
  std::unique_ptr<Result> result;     // the open cursor, if any
  bool prepared = false;
  bool executed = false;
  bool onRow = false;  // a row was fetched and SQLGetData may read it
  SQLLEN rowCount = -1;
  std::vector<Binding> columns;  // [0] unused (bookmarks are not offered)
  std::vector<Binding> params;   // [0] unused
  // Statement attributes.
  SQLULEN rowArraySize = 1;
  SQLULEN rowBindType = SQL_BIND_BY_COLUMN;
  SQLUSMALLINT* rowStatus = nullptr;
  SQLULEN* rowsFetched = nullptr;
  SQLULEN* rowBindOffset = nullptr;
  SQLULEN paramsetSize = 1;
  SQLULEN* paramsProcessed = nullptr;
  SQLUSMALLINT* paramStatus = nullptr;
  SQLULEN* paramBindOffset = nullptr;
  SQLULEN paramBindType = SQL_PARAM_BIND_BY_COLUMN;
  SQLULEN maxRows = 0, maxLength = 0, queryTimeout = 0;
  SQLULEN cursorType = SQL_CURSOR_FORWARD_ONLY;
  SQLULEN concurrency = SQL_CONCUR_READ_ONLY;
  SQLULEN noscan = SQL_NOSCAN_OFF;
  SQLULEN retrieveData = SQL_RD_ON;
  SQLULEN useBookmarks = SQL_UB_OFF;
  SQLULEN metadataId = SQL_FALSE;
  SQLULEN rowsDelivered = 0;  // for SQL_ATTR_MAX_ROWS
  // SQLGetData in pieces: the column being read and how many of its bytes are given.
  SQLUSMALLINT pieceColumn = 0;
  size_t pieceOffset = 0;
  bool pieceDone = false;
  std::string scratch;  // a value's text in the form asked (UTF-16 for WCHAR), while in pieces
  // Parameters sent at execution time: after SQLExecute answers SQL_NEED_DATA, SQLParamData
  // names each in turn and SQLPutData gives its value, in pieces for texts and bytes.
  enum class Data : uint8_t { None, Need, Put } data = Data::None;
  struct Pending {
    SQLUSMALLINT param = 0;
    std::string bytes;
    bool given = false, null = false;
  };
  std::vector<Pending> pending;
  size_t current = 0;  // 1-based index into `pending` of the parameter being put
};

// Converts between UTF-8 and UTF-16 (SQLWCHAR as unixODBC has it: 16 bits).
std::string FromWide(const SQLWCHAR* text, SQLLEN length);  // length in characters or SQL_NTS
void AppendWide(std::string& out, std::string_view utf8);   // UTF-16 code units as bytes

// Writes a string into a caller's buffer, NUL-terminated and cut at a whole character, with
// its full length in bytes (ANSI) or characters/bytes (wide, as `lengthInBytes` says).
// Returns true if it had to cut (the caller reports 01004).
bool PutString(const std::string& utf8, SQLPOINTER buffer, SQLLEN bufferLength, SQLLEN* length,
               bool wide, bool lengthInBytes);

// Converts one value into a caller's buffer of C type `cType`. `offset` is the piece state for
// SQLGetData (null for bound columns). Returns SQL_SUCCESS, SQL_SUCCESS_WITH_INFO (01004,
// 01S07, recorded on `handle`), SQL_NO_DATA (no piece left) or SQL_ERROR.
SQLRETURN ConvertValue(const Value& value, const ColumnMeta& meta, SQLSMALLINT cType,
                       SQLPOINTER target, SQLLEN bufferLength, SQLLEN* indicator,
                       Stmt* pieces, Handle& handle, SQLLEN row, SQLUSMALLINT column);

// The core functions, one per ODBC function, strings in UTF-8.
SQLRETURN AllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output);
SQLRETURN FreeHandle(SQLSMALLINT type, SQLHANDLE handle);
SQLRETURN Connect(Dbc* dbc, const std::string& dsn);
SQLRETURN DriverConnect(Dbc* dbc, const std::string& in, std::string& completed);
SQLRETURN Disconnect(Dbc* dbc);
SQLRETURN GetInfo(Dbc* dbc, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT bufferLength,
                  SQLSMALLINT* length, bool wide);
SQLRETURN SetConnectAttr(Dbc* dbc, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length);
SQLRETURN GetConnectAttr(Dbc* dbc, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER bufferLength,
                         SQLINTEGER* length, bool wide);
SQLRETURN SetStmtAttr(Stmt* stmt, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length);
SQLRETURN GetStmtAttr(Stmt* stmt, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER bufferLength,
                      SQLINTEGER* length);
SQLRETURN Prepare(Stmt* stmt, const std::string& sql);
SQLRETURN Execute(Stmt* stmt);
SQLRETURN ExecDirect(Stmt* stmt, const std::string& sql);
SQLRETURN NativeSql(Dbc* dbc, const std::string& in, std::string& out);
SQLRETURN NumResultCols(Stmt* stmt, SQLSMALLINT* count);
SQLRETURN DescribeCol(Stmt* stmt, SQLUSMALLINT column, std::string& name, SQLSMALLINT* type,
                      SQLULEN* size, SQLSMALLINT* digits, SQLSMALLINT* nullable);
SQLRETURN ColAttribute(Stmt* stmt, SQLUSMALLINT column, SQLUSMALLINT field, std::string* text,
                       bool& isText, SQLLEN* number);
SQLRETURN BindCol(Stmt* stmt, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER target,
                  SQLLEN bufferLength, SQLLEN* indicator);
SQLRETURN Fetch(Stmt* stmt);
SQLRETURN FetchScroll(Stmt* stmt, SQLSMALLINT orientation, SQLLEN offset);
SQLRETURN GetData(Stmt* stmt, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER target,
                  SQLLEN bufferLength, SQLLEN* indicator);
SQLRETURN RowCount(Stmt* stmt, SQLLEN* count);
SQLRETURN MoreResults(Stmt* stmt);
SQLRETURN CloseCursor(Stmt* stmt, bool mustBeOpen);
SQLRETURN FreeStmt(Stmt* stmt, SQLUSMALLINT option);
SQLRETURN Cancel(Stmt* stmt);
SQLRETURN ParamData(Stmt* stmt, SQLPOINTER* value);
SQLRETURN PutData(Stmt* stmt, SQLPOINTER data, SQLLEN length);
SQLRETURN EndTran(SQLSMALLINT handleType, SQLHANDLE handle, SQLSMALLINT completion);
SQLRETURN NumParams(Stmt* stmt, SQLSMALLINT* count);
SQLRETURN DescribeParam(Stmt* stmt, SQLUSMALLINT param, SQLSMALLINT* type, SQLULEN* size,
                        SQLSMALLINT* digits, SQLSMALLINT* nullable);
SQLRETURN BindParameter(Stmt* stmt, SQLUSMALLINT param, SQLSMALLINT ioType, SQLSMALLINT cType,
                        SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT digits, SQLPOINTER value,
                        SQLLEN bufferLength, SQLLEN* indicator);
SQLRETURN GetTypeInfo(Stmt* stmt, SQLSMALLINT type);
// The catalogue. A null optional is a null argument; patterns as ODBC has them.
using Arg = std::optional<std::string>;
SQLRETURN Tables(Stmt* stmt, const Arg& catalog, const Arg& schema, const Arg& table,
                 const Arg& types);
SQLRETURN Columns(Stmt* stmt, const Arg& catalog, const Arg& schema, const Arg& table,
                  const Arg& column);
SQLRETURN Statistics(Stmt* stmt);
SQLRETURN PrimaryKeys(Stmt* stmt);
SQLRETURN ForeignKeys(Stmt* stmt);
SQLRETURN SpecialColumns(Stmt* stmt);
SQLRETURN Procedures(Stmt* stmt);
SQLRETURN ProcedureColumns(Stmt* stmt);
SQLRETURN GetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, std::string& state,
                     SQLINTEGER* native, std::string& message);
// `text` receives a text field; numbers go to `value` directly.
SQLRETURN GetDiagField(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                       SQLSMALLINT field, SQLPOINTER value, std::string* text, bool& isText);

}  // namespace tabrix::odbc

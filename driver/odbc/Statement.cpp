// Statements: preparing and running SQL, describing and fetching results, parameters, and the
// catalogue's result sets.
#include <algorithm>
#include <cstring>

#include "odbc/Handles.h"

namespace tabrix::odbc {
namespace {

ColumnMeta MetaFor(const sql::ResultColumn& column) {
  ColumnMeta m;
  m.name = column.name;
  m.baseName = column.baseName;
  m.table = column.table;
  switch (column.type) {
    case sql::ResultType::Double:
      m.sqlType = SQL_DOUBLE, m.size = 15, m.digits = 0, m.displaySize = 24, m.octetLength = 8;
      m.typeName = "NUMBER";
      break;
    case sql::ResultType::Timestamp:
      m.sqlType = SQL_TYPE_TIMESTAMP, m.size = 23, m.digits = 3, m.displaySize = 23;
      m.octetLength = sizeof(SQL_TIMESTAMP_STRUCT);
      m.typeName = "DATETIME";
      break;
    case sql::ResultType::Bit:
      m.sqlType = SQL_BIT, m.size = 1, m.displaySize = 1, m.octetLength = 1;
      m.typeName = "LOGICAL";
      break;
    case sql::ResultType::BigInt:
      m.sqlType = SQL_BIGINT, m.size = 19, m.displaySize = 20, m.octetLength = 8;
      m.typeName = "INTEGER";
      break;
    case sql::ResultType::LongVarchar:
      m.sqlType = SQL_LONGVARCHAR, m.size = 65535, m.displaySize = 65535, m.octetLength = 65535 * 4;
      m.typeName = "LONGCHAR";
      break;
    case sql::ResultType::Varchar:
      m.sqlType = SQL_VARCHAR, m.size = 255, m.displaySize = 255, m.octetLength = 255 * 4;
      m.typeName = "VARCHAR";
      break;
  }
  return m;
}

// The engine's rows.
class QueryResult : public Result {
 public:
  explicit QueryResult(sql::Query& query) : query_(query) {
    for (int i = 0; i < query.ColumnCount(); ++i) metas_.push_back(MetaFor(query.Column(i)));
  }
  size_t ColumnCount() const override { return metas_.size(); }
  const ColumnMeta& Meta(size_t column) const override { return metas_[column]; }
  bool Next() override {
    if (!started_) {
      started_ = true;
      return query_.HasRow();
    }
    return query_.Next();
  }
  Value Get(size_t column) const override {
    Value v;
    const int c = static_cast<int>(column);
    v.type = query_.Type(c);
    switch (v.type) {
      case sql::ValueType::Integer: v.integer = query_.Integer(c); break;
      case sql::ValueType::Real: v.real = query_.Real(c); break;
      case sql::ValueType::Text: v.text = query_.Text(c); break;
      default: break;
    }
    return v;
  }

 private:
  sql::Query& query_;
  std::vector<ColumnMeta> metas_;
  bool started_ = false;
};

// Rows the driver makes: the catalogue and the type information.
struct Cell {
  bool null = true;
  bool isText = false;
  int64_t integer = 0;
  std::string text;
};
Cell Null() { return Cell{}; }
Cell Int(int64_t v) { return Cell{false, false, v, {}}; }
Cell Text(std::string v) { return Cell{false, true, 0, std::move(v)}; }

class RowsResult : public Result {
 public:
  // Columns: name and SQL type (SQL_VARCHAR, SQL_SMALLINT or SQL_INTEGER).
  explicit RowsResult(std::initializer_list<std::pair<const char*, SQLSMALLINT>> columns) {
    for (const auto& [name, type] : columns) {
      ColumnMeta m;
      m.name = name;
      m.sqlType = type;
      if (type == SQL_VARCHAR) {
        m.size = 255, m.displaySize = 255, m.octetLength = 255 * 4, m.typeName = "VARCHAR";
      } else if (type == SQL_SMALLINT) {
        m.size = 5, m.displaySize = 6, m.octetLength = 2, m.typeName = "SMALLINT";
      } else {
        m.size = 10, m.displaySize = 11, m.octetLength = 4, m.typeName = "INTEGER";
      }
      metas_.push_back(m);
    }
  }
  void Add(std::vector<Cell> row) { rows_.push_back(std::move(row)); }
  size_t ColumnCount() const override { return metas_.size(); }
  const ColumnMeta& Meta(size_t column) const override { return metas_[column]; }
  bool Next() override { return ++current_ < rows_.size(); }
  Value Get(size_t column) const override {
    Value v;
    const Cell& c = rows_[current_][column];
    if (c.null) return v;
    if (c.isText) {
      v.type = sql::ValueType::Text;
      v.text = c.text;
    } else {
      v.type = sql::ValueType::Integer;
      v.integer = c.integer;
    }
    return v;
  }

 private:
  std::vector<ColumnMeta> metas_;
  std::vector<std::vector<Cell>> rows_;
  size_t current_ = static_cast<size_t>(-1);
};

void ResetCursor(Stmt* stmt) {
  stmt->result.reset();
  if (stmt->query) stmt->query->Close();
  stmt->executed = false;
  stmt->onRow = false;
  stmt->pieceColumn = 0;
  stmt->rowsDelivered = 0;
}

SQLRETURN EngineFailure(Stmt* stmt, const std::exception& e) {
  if (const auto* engine = dynamic_cast<const sql::EngineError*>(&e)) {
    return stmt->Error(engine->State(), engine->what());
  }
  if (dynamic_cast<const std::bad_alloc*>(&e)) return stmt->Error("HY001", "[Tabrix] out of memory");
  return stmt->Error("HY000", std::string("[Tabrix] ") + e.what());
}

// A parameter's buffer and length indicator, the bind offset applied.
char* ParamData(const Stmt* stmt, const Binding& b) {
  char* data = static_cast<char*>(b.target);
  if (data && stmt->paramBindOffset) data += *stmt->paramBindOffset;
  return data;
}

SQLLEN ParamLength(const Stmt* stmt, const Binding& b) {
  SQLLEN* indicator = b.indicator;
  if (!indicator) return SQL_NTS;
  if (stmt->paramBindOffset) {
    indicator =
        reinterpret_cast<SQLLEN*>(reinterpret_cast<char*>(indicator) + *stmt->paramBindOffset);
  }
  return *indicator;
}

bool AtExecution(SQLLEN length) {
  return length == SQL_DATA_AT_EXEC || length <= SQL_LEN_DATA_AT_EXEC_OFFSET;
}

SQLSMALLINT DefaultCType(SQLSMALLINT sqlType) {
  switch (sqlType) {
    case SQL_INTEGER:
      return SQL_C_SLONG;
    case SQL_SMALLINT:
      return SQL_C_SSHORT;
    case SQL_BIGINT:
      return SQL_C_SBIGINT;
    case SQL_DOUBLE:
    case SQL_FLOAT:
      return SQL_C_DOUBLE;
    case SQL_REAL:
      return SQL_C_FLOAT;
    case SQL_BIT:
      return SQL_C_BIT;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
      return SQL_C_TYPE_TIMESTAMP;
    case SQL_TYPE_DATE:
    case SQL_DATE:
      return SQL_C_TYPE_DATE;
    case SQL_TYPE_TIME:
    case SQL_TIME:
      return SQL_C_TYPE_TIME;
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
      return SQL_C_WCHAR;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return SQL_C_BINARY;
    default:
      return SQL_C_CHAR;
  }
}

// Whether `cType` is one of ODBC's C types (a type this driver does not convert to is told
// when a value is converted, 07006; a number that is no C type at all is refused at once).
bool IsCType(SQLSMALLINT cType) {
  switch (cType) {
    case SQL_C_CHAR:
    case SQL_C_WCHAR:
    case SQL_C_BINARY:
    case SQL_C_BIT:
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
    case SQL_C_UTINYINT:
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
    case SQL_C_USHORT:
    case SQL_C_LONG:
    case SQL_C_SLONG:
    case SQL_C_ULONG:
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT:
    case SQL_C_FLOAT:
    case SQL_C_DOUBLE:
    case SQL_C_NUMERIC:
    case SQL_C_DATE:
    case SQL_C_TIME:
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_DATE:
    case SQL_C_TYPE_TIME:
    case SQL_C_TYPE_TIMESTAMP:
    case SQL_C_DEFAULT:
    case SQL_C_GUID:
      return true;
    default:
      return cType >= SQL_C_INTERVAL_YEAR && cType <= SQL_C_INTERVAL_MINUTE_TO_SECOND;
  }
}

SQLRETURN BadCType(Stmt* stmt, SQLSMALLINT cType) {
  return stmt->Error("HY003", "[Tabrix] " + std::to_string(cType) + " is not an ODBC C type");
}

bool IsPieceType(SQLSMALLINT cType) {
  return cType == SQL_C_CHAR || cType == SQL_C_WCHAR || cType == SQL_C_BINARY;
}

// Whether `text` is UTF-8 as the standard has it: no overlong forms, no surrogates, nothing
// beyond U+10FFFF.
bool ValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    size_t n;
    uint32_t c;
    if (b >= 0xC2 && b <= 0xDF)
      n = 2, c = b & 0x1F;
    else if (b >= 0xE0 && b <= 0xEF)
      n = 3, c = b & 0x0F;
    else if (b >= 0xF0 && b <= 0xF4)
      n = 4, c = b & 0x07;
    else
      return false;
    if (i + n > text.size()) return false;
    for (size_t k = 1; k < n; ++k) {
      const unsigned char cont = static_cast<unsigned char>(text[i + k]);
      if ((cont & 0xC0) != 0x80) return false;
      c = (c << 6) | (cont & 0x3F);
    }
    if ((n == 3 && c < 0x800) || (n == 4 && (c < 0x10000 || c > 0x10FFFF)) ||
        (c >= 0xD800 && c <= 0xDFFF)) {
      return false;
    }
    i += n;
  }
  return true;
}

// Whether UTF-16 text pairs every surrogate.
bool ValidUtf16(const SQLWCHAR* text, size_t units) {
  for (size_t i = 0; i < units; ++i) {
    const uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= units || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

// A parameter's value, `length` bytes at `data` in the C type of `b` (or as its length
// indicator says), given to the engine.
SQLRETURN BindValue(Stmt* stmt, SQLUSMALLINT number, const Binding& b, const char* data,
                    SQLLEN length) {
  sql::Query& q = *stmt->query;
  const int index = number;
  const std::string which = "[Tabrix] parameter " + std::to_string(number) + ": ";
  if (length == SQL_NULL_DATA) {
    q.BindNull(index);
    return SQL_SUCCESS;
  }
  if (!data) {
    return stmt->Error("HY009", which +
                                    "the value's pointer is null and its length indicator "
                                    "is not SQL_NULL_DATA");
  }
  if (length == SQL_DEFAULT_PARAM) {
    return stmt->Error("07S01", which +
                                    "SQL_DEFAULT_PARAM is for the parameters of procedures, "
                                    "and a workbook has none");
  }
  if (length < 0 && length != SQL_NTS) {
    return stmt->Error("HY090", which + "the length or indicator " + std::to_string(length) +
                                    " is none ODBC has (a length of 0 or more, SQL_NTS, "
                                    "SQL_NULL_DATA or data at execution)");
  }
  auto integer = [&](auto v) {
    q.BindInteger(index, static_cast<int64_t>(v));
    return SQL_SUCCESS;
  };
  SQLSMALLINT cType = b.cType;
  if (cType == SQL_C_DEFAULT) cType = DefaultCType(b.sqlType);
  switch (cType) {
    case SQL_C_CHAR:
    case SQL_C_BINARY: {
      size_t n = length == SQL_NTS ? std::strlen(data) : static_cast<size_t>(length);
      const std::string_view text(data, n);
      if (cType == SQL_C_BINARY && !ValidUtf8(text)) {
        q.BindBlob(index, text);  // bytes that are no text compare as bytes
        return SQL_SUCCESS;
      }
      if (!ValidUtf8(text)) {
        return stmt->Error("22018", which +
                                        "the text is not UTF-8, the encoding this driver "
                                        "reads the ANSI calls in (bind it as SQL_C_WCHAR, "
                                        "or convert it)");
      }
      q.BindText(index, text);
      return SQL_SUCCESS;
    }
    case SQL_C_WCHAR: {
      const auto* wide = reinterpret_cast<const SQLWCHAR*>(data);
      size_t units = 0;
      if (length == SQL_NTS) {
        while (wide[units]) ++units;
      } else if (length % static_cast<SQLLEN>(sizeof(SQLWCHAR)) != 0) {
        return stmt->Error("HY090", which + "the length of a SQL_C_WCHAR value is " +
                                        std::to_string(length) +
                                        " bytes, not a whole number of "
                                        "2-byte characters");
      } else {
        units = static_cast<size_t>(length) / sizeof(SQLWCHAR);
      }
      if (!ValidUtf16(wide, units)) {
        return stmt->Error("22018", which + "the text has a UTF-16 surrogate without its pair");
      }
      q.BindText(index, FromWide(wide, static_cast<SQLLEN>(units)));
      return SQL_SUCCESS;
    }
    case SQL_C_SLONG: case SQL_C_LONG: { int32_t v; std::memcpy(&v, data, sizeof v); return integer(v); }
    case SQL_C_ULONG: { uint32_t v; std::memcpy(&v, data, sizeof v); return integer(v); }
    case SQL_C_SSHORT: case SQL_C_SHORT: { int16_t v; std::memcpy(&v, data, sizeof v); return integer(v); }
    case SQL_C_USHORT: { uint16_t v; std::memcpy(&v, data, sizeof v); return integer(v); }
    case SQL_C_STINYINT: case SQL_C_TINYINT: { int8_t v; std::memcpy(&v, data, sizeof v); return integer(v); }
    case SQL_C_UTINYINT: case SQL_C_BIT: { uint8_t v; std::memcpy(&v, data, sizeof v); return integer(v); }
    case SQL_C_SBIGINT: { int64_t v; std::memcpy(&v, data, sizeof v); return integer(v); }
    case SQL_C_UBIGINT: {
      uint64_t v;
      std::memcpy(&v, data, sizeof v);
      if (v > static_cast<uint64_t>(INT64_MAX)) q.BindReal(index, static_cast<double>(v));
      else q.BindInteger(index, static_cast<int64_t>(v));
      return SQL_SUCCESS;
    }
    case SQL_C_DOUBLE: { double v; std::memcpy(&v, data, sizeof v); q.BindReal(index, v); return SQL_SUCCESS; }
    case SQL_C_FLOAT: { float v; std::memcpy(&v, data, sizeof v); q.BindReal(index, v); return SQL_SUCCESS; }
    case SQL_C_NUMERIC: {
      SQL_NUMERIC_STRUCT n;
      std::memcpy(&n, data, sizeof n);
      double v = 0;
      for (int i = SQL_MAX_NUMERIC_LEN - 1; i >= 0; --i) v = v * 256 + n.val[i];
      for (int i = 0; i < n.scale; ++i) v /= 10;
      for (int i = 0; i > n.scale; --i) v *= 10;
      q.BindReal(index, n.sign ? v : -v);
      return SQL_SUCCESS;
    }
    case SQL_C_TYPE_DATE: case SQL_C_DATE: {
      SQL_DATE_STRUCT d;
      std::memcpy(&d, data, sizeof d);
      char text[32];
      int n = std::snprintf(text, sizeof text, "%04d-%02u-%02u 00:00:00", d.year, d.month, d.day);
      q.BindText(index, std::string_view(text, static_cast<size_t>(n)));
      return SQL_SUCCESS;
    }
    case SQL_C_TYPE_TIME: case SQL_C_TIME: {
      SQL_TIME_STRUCT t;
      std::memcpy(&t, data, sizeof t);
      char text[32];
      // That time on the day time-only cells are kept on, so that it equals them.
      int n =
          std::snprintf(text, sizeof text, "1899-12-30 %02u:%02u:%02u", t.hour, t.minute, t.second);
      q.BindText(index, std::string_view(text, static_cast<size_t>(n)));
      return SQL_SUCCESS;
    }
    case SQL_C_TYPE_TIMESTAMP: case SQL_C_TIMESTAMP: {
      SQL_TIMESTAMP_STRUCT ts;
      std::memcpy(&ts, data, sizeof ts);
      char text[48];
      // As the engine writes timestamps: milliseconds only when there are some.
      unsigned ms = ts.fraction / 1000000;
      int n = ms ? std::snprintf(text, sizeof text, "%04d-%02u-%02u %02u:%02u:%02u.%03u", ts.year,
                                 ts.month, ts.day, ts.hour, ts.minute, ts.second, ms)
                 : std::snprintf(text, sizeof text, "%04d-%02u-%02u %02u:%02u:%02u", ts.year,
                                 ts.month, ts.day, ts.hour, ts.minute, ts.second);
      q.BindText(index, std::string_view(text, static_cast<size_t>(n)));
      return SQL_SUCCESS;
    }
    default:
      return stmt->Error("HYC00", "[Tabrix] parameter " + std::to_string(number) +
                                      ": the C type " + std::to_string(cType) + " is not offered");
  }
}

bool Like(std::string_view pattern, std::string_view text, size_t p = 0, size_t t = 0) {
  while (p < pattern.size()) {
    char c = pattern[p];
    if (c == '\\' && p + 1 < pattern.size()) {
      if (t >= text.size() || text[t] != pattern[p + 1]) return false;
      p += 2, ++t;
    } else if (c == '%') {
      for (size_t k = t; k <= text.size(); ++k) {
        if (Like(pattern, text, p + 1, k)) return true;
      }
      return false;
    } else if (c == '_') {
      if (t >= text.size()) return false;
      ++t;
      while (t < text.size() && (static_cast<unsigned char>(text[t]) & 0xC0) == 0x80) ++t;
      ++p;
    } else {
      char a = c, b = t < text.size() ? text[t] : 0;
      if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
      if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
      if (t >= text.size() || a != b) return false;
      ++p, ++t;
    }
  }
  return t == text.size();
}

// A catalogue argument as a pattern: null and "%" match everything.
bool Matches(const Arg& pattern, const std::string& text, bool identifier) {
  if (!pattern) return true;
  if (identifier) {
    std::string a = *pattern, b = text;
    for (char& c : a) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : b) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return a == b;
  }
  return Like(*pattern, text);
}

// The size of one element of a column bound as an array: a fixed C type's own size, else the
// buffer length given.
SQLULEN ElementSize(const Binding& b, const ColumnMeta& meta) {
  SQLSMALLINT cType = b.cType;
  if (cType == SQL_C_DEFAULT) {
    switch (meta.sqlType) {
      case SQL_DOUBLE: cType = SQL_C_DOUBLE; break;
      case SQL_BIT: cType = SQL_C_BIT; break;
      case SQL_TYPE_TIMESTAMP: cType = SQL_C_TYPE_TIMESTAMP; break;
      case SQL_BIGINT: cType = SQL_C_SBIGINT; break;
      case SQL_INTEGER: cType = SQL_C_SLONG; break;
      case SQL_SMALLINT: cType = SQL_C_SSHORT; break;
      default: cType = SQL_C_CHAR; break;
    }
  }
  switch (cType) {
    case SQL_C_DOUBLE: case SQL_C_SBIGINT: case SQL_C_UBIGINT: return 8;
    case SQL_C_FLOAT: case SQL_C_LONG: case SQL_C_SLONG: case SQL_C_ULONG: return 4;
    case SQL_C_SHORT: case SQL_C_SSHORT: case SQL_C_USHORT: return 2;
    case SQL_C_TINYINT: case SQL_C_STINYINT: case SQL_C_UTINYINT: case SQL_C_BIT: return 1;
    case SQL_C_NUMERIC: return sizeof(SQL_NUMERIC_STRUCT);
    case SQL_C_TYPE_DATE: case SQL_C_DATE: return sizeof(SQL_DATE_STRUCT);
    case SQL_C_TYPE_TIME: case SQL_C_TIME: return sizeof(SQL_TIME_STRUCT);
    case SQL_C_TYPE_TIMESTAMP: case SQL_C_TIMESTAMP: return sizeof(SQL_TIMESTAMP_STRUCT);
    default: return static_cast<SQLULEN>(b.bufferLength);
  }
}

// A statement run while the cursor of the last is open is refused, and the cursor closed: the
// driver manager takes the statement as having none after the failure, and would refuse the
// application's SQLCloseCursor itself.
SQLRETURN CursorOpen(Stmt* stmt) {
  ResetCursor(stmt);
  return stmt->Error("24000",
                     "[Tabrix] invalid cursor state: the statement's cursor was open "
                     "(close it with SQLCloseCursor or SQLFreeStmt(SQL_CLOSE) before the "
                     "next statement); it is closed now");
}

SQLRETURN Open(Stmt* stmt, std::unique_ptr<RowsResult> rows) {
  if (stmt->result) return CursorOpen(stmt);
  ResetCursor(stmt);
  stmt->query.reset();
  stmt->prepared = false;
  stmt->result = std::move(rows);
  stmt->executed = true;
  stmt->rowCount = -1;
  return SQL_SUCCESS;
}

void TypeMeta(sql::ColumnType type, SQLSMALLINT& sqlType, const char*& name, SQLINTEGER& size,
              SQLINTEGER& octets, Cell& digits, Cell& radix) {
  switch (type) {
    case sql::ColumnType::Double:
      sqlType = SQL_DOUBLE, name = "NUMBER", size = 15, octets = 8, digits = Null(), radix = Int(2);
      break;
    case sql::ColumnType::Timestamp:
      sqlType = SQL_TYPE_TIMESTAMP, name = "DATETIME", size = 23, octets = 16, digits = Int(3), radix = Null();
      break;
    case sql::ColumnType::Bit:
      sqlType = SQL_BIT, name = "LOGICAL", size = 1, octets = 1, digits = Null(), radix = Null();
      break;
    case sql::ColumnType::LongVarchar:
      sqlType = SQL_LONGVARCHAR, name = "LONGCHAR", size = 65535, octets = 65535 * 4, digits = Null(), radix = Null();
      break;
    case sql::ColumnType::Varchar:
      sqlType = SQL_VARCHAR, name = "VARCHAR", size = 255, octets = 255 * 4, digits = Null(), radix = Null();
      break;
  }
}

}  // namespace

SQLRETURN Prepare(Stmt* stmt, const std::string& text) {
  if (stmt->result) return CursorOpen(stmt);
  ResetCursor(stmt);
  stmt->query.reset();
  stmt->prepared = false;
  try {
    stmt->query = stmt->dbc->database->Prepare(text);
  } catch (const std::exception& e) {
    return EngineFailure(stmt, e);
  }
  stmt->sql = text;
  stmt->prepared = true;
  return SQL_SUCCESS;
}

namespace {

// Marks the statement as the one the engine steps, for SQLCancel from another thread, and gives
// the engine the statement's query timeout.
class Stepping {
 public:
  explicit Stepping(Stmt* stmt) : dbc_(stmt->dbc) {
    dbc_->database->SetTimeout(
        static_cast<unsigned>(std::min<SQLULEN>(stmt->queryTimeout, 86400u * 365)));
    dbc_->running.store(stmt);
  }
  ~Stepping() { dbc_->running.store(nullptr); }
  Stepping(const Stepping&) = delete;
  Stepping& operator=(const Stepping&) = delete;

 private:
  Dbc* dbc_;
};

// Runs the prepared statement, its parameters bound.
SQLRETURN Run(Stmt* stmt) {
  std::vector<sql::Warning> warnings;
  try {
    Stepping stepping(stmt);
    stmt->query->Execute(warnings);
  } catch (const std::exception& e) {
    return EngineFailure(stmt, e);
  }
  if (stmt->paramsProcessed) *stmt->paramsProcessed = 1;
  if (stmt->paramStatus) *stmt->paramStatus = SQL_PARAM_SUCCESS;
  stmt->result = std::make_unique<QueryResult>(*stmt->query);
  stmt->executed = true;
  stmt->rowCount = -1;
  for (const auto& w : warnings) stmt->Warn(w.state, w.message);
  return warnings.empty() ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
}

void EndData(Stmt* stmt) {
  stmt->data = Stmt::Data::None;
  stmt->pending.clear();
  stmt->current = 0;
}

// The size of a value of a fixed-size C type; 0 for texts and bytes.
size_t FixedSize(SQLSMALLINT cType) {
  switch (cType) {
    case SQL_C_DOUBLE:
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT:
      return 8;
    case SQL_C_FLOAT:
    case SQL_C_LONG:
    case SQL_C_SLONG:
    case SQL_C_ULONG:
      return 4;
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
    case SQL_C_USHORT:
      return 2;
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
    case SQL_C_UTINYINT:
    case SQL_C_BIT:
      return 1;
    case SQL_C_NUMERIC:
      return sizeof(SQL_NUMERIC_STRUCT);
    case SQL_C_TYPE_DATE:
    case SQL_C_DATE:
      return sizeof(SQL_DATE_STRUCT);
    case SQL_C_TYPE_TIME:
    case SQL_C_TIME:
      return sizeof(SQL_TIME_STRUCT);
    case SQL_C_TYPE_TIMESTAMP:
    case SQL_C_TIMESTAMP:
      return sizeof(SQL_TIMESTAMP_STRUCT);
    default:
      return 0;
  }
}

}  // namespace

SQLRETURN Execute(Stmt* stmt) {
  if (!stmt->prepared || !stmt->query) {
    return stmt->Error("HY010", "[Tabrix] no statement is prepared");
  }
  if (stmt->result) return CursorOpen(stmt);
  ResetCursor(stmt);
  EndData(stmt);
  if (stmt->paramsetSize != 1) {
    return stmt->Error("HYC00", "[Tabrix] arrays of parameters are not offered");
  }
  const int count = stmt->query->ParameterCount();
  stmt->query->ClearBindings();
  std::vector<Stmt::Pending> pending;
  for (int p = 1; p <= count; ++p) {
    if (static_cast<size_t>(p) >= stmt->params.size() || !stmt->params[p].bound) {
      return stmt->Error("07002", "[Tabrix] the statement has " + std::to_string(count) +
                                      " parameters and parameter " + std::to_string(p) + " is not bound");
    }
    const Binding& b = stmt->params[p];
    const SQLLEN length = ParamLength(stmt, b);
    if (AtExecution(length)) {
      pending.push_back({static_cast<SQLUSMALLINT>(p), {}, false, false});
      continue;
    }
    SQLRETURN rc = BindValue(stmt, static_cast<SQLUSMALLINT>(p), b, ParamData(stmt, b), length);
    if (!SQL_SUCCEEDED(rc)) return rc;
  }
  if (!pending.empty()) {
    stmt->pending = std::move(pending);
    stmt->data = Stmt::Data::Need;
    return SQL_NEED_DATA;
  }
  return Run(stmt);
}

SQLRETURN ParamData(Stmt* stmt, SQLPOINTER* value) {
  if (stmt->data == Stmt::Data::None) {
    return stmt->Error("HY010",
                       "[Tabrix] no parameter is waiting for data: SQLParamData follows "
                       "an SQLExecute or SQLExecDirect that answered SQL_NEED_DATA");
  }
  if (stmt->data == Stmt::Data::Put) {
    Stmt::Pending& d = stmt->pending[stmt->current - 1];
    const Binding& b = stmt->params[d.param];
    SQLSMALLINT cType = b.cType == SQL_C_DEFAULT ? DefaultCType(b.sqlType) : b.cType;
    SQLRETURN rc;
    if (!d.given && !IsPieceType(cType)) {
      rc = stmt->Error("HY000", "[Tabrix] parameter " + std::to_string(d.param) +
                                    ": no value was sent with SQLPutData");
    } else {
      const SQLLEN length = d.null ? SQL_NULL_DATA : static_cast<SQLLEN>(d.bytes.size());
      d.bytes.resize(std::max<size_t>(d.bytes.size() + 2, FixedSize(cType)),
                     '\0');  // room for a fixed type
      rc = BindValue(stmt, d.param, b, d.bytes.data(), length);
    }
    if (!SQL_SUCCEEDED(rc)) {
      EndData(stmt);
      return rc;
    }
    d.bytes = std::string();
  }
  if (stmt->current < stmt->pending.size()) {
    ++stmt->current;
    stmt->data = Stmt::Data::Put;
    if (value) *value = stmt->params[stmt->pending[stmt->current - 1].param].target;
    return SQL_NEED_DATA;
  }
  EndData(stmt);
  return Run(stmt);
}

namespace {

SQLRETURN PutPiece(Stmt* stmt, SQLPOINTER data, SQLLEN length);

}  // namespace

// A failed piece ends the sequence, as ODBC's state tables have it: the statement is back to
// prepared and runs again from SQLExecute.
SQLRETURN PutData(Stmt* stmt, SQLPOINTER data, SQLLEN length) {
  SQLRETURN rc = PutPiece(stmt, data, length);
  if (rc == SQL_ERROR && stmt->data == Stmt::Data::Put) EndData(stmt);
  return rc;
}

namespace {

SQLRETURN PutPiece(Stmt* stmt, SQLPOINTER data, SQLLEN length) {
  if (stmt->data != Stmt::Data::Put) {
    return stmt->Error("HY010",
                       "[Tabrix] SQLPutData gives the value of the parameter SQLParamData "
                       "has just named, and none is named");
  }
  Stmt::Pending& d = stmt->pending[stmt->current - 1];
  const Binding& b = stmt->params[d.param];
  const SQLSMALLINT cType = b.cType == SQL_C_DEFAULT ? DefaultCType(b.sqlType) : b.cType;
  const std::string which = "[Tabrix] parameter " + std::to_string(d.param) + ": ";
  if (length == SQL_NULL_DATA) {
    if (d.given && !d.null) {
      return stmt->Error("HY020",
                         which + "a NULL cannot follow the pieces of a value already sent");
    }
    d.given = d.null = true;
    return SQL_SUCCESS;
  }
  if (d.null) return stmt->Error("HY020", which + "nothing can follow a NULL sent for it");
  if (length == SQL_DEFAULT_PARAM) {
    return stmt->Error("07S01", which +
                                    "SQL_DEFAULT_PARAM is for the parameters of procedures, "
                                    "and a workbook has none");
  }
  const size_t fixed = FixedSize(cType);
  if (fixed) {
    if (d.given) {
      return stmt->Error("HY019", which +
                                      "a value of a fixed-size C type is sent in one piece, "
                                      "not in several");
    }
    if (!data) return stmt->Error("HY009", which + "the value's pointer is null");
    d.bytes.assign(static_cast<const char*>(data), fixed);
    d.given = true;
    return SQL_SUCCESS;
  }
  size_t bytes;
  if (length == SQL_NTS) {
    if (cType == SQL_C_BINARY) {
      return stmt->Error("HY090",
                         which + "bytes have no terminator: give their length, not SQL_NTS");
    }
    if (!data) return stmt->Error("HY009", which + "the value's pointer is null");
    if (cType == SQL_C_WCHAR) {
      const auto* w = static_cast<const SQLWCHAR*>(data);
      size_t units = 0;
      while (w[units]) ++units;
      bytes = units * sizeof(SQLWCHAR);
    } else {
      bytes = std::strlen(static_cast<const char*>(data));
    }
  } else if (length < 0) {
    return stmt->Error("HY090", which + "the length " + std::to_string(length) +
                                    " is none ODBC has (0 or more, SQL_NTS or SQL_NULL_DATA)");
  } else {
    bytes = static_cast<size_t>(length);
    // Pieces may split a character, even a UTF-16 unit (pyodbc sends 255 bytes at a time):
    // only the whole value is read.
    if (bytes && !data) return stmt->Error("HY009", which + "the value's pointer is null");
  }
  d.bytes.append(static_cast<const char*>(data ? data : ""), bytes);
  d.given = true;
  return SQL_SUCCESS;
}

}  // namespace

SQLRETURN ExecDirect(Stmt* stmt, const std::string& text) {
  SQLRETURN rc = Prepare(stmt, text);
  if (!SQL_SUCCEEDED(rc)) return rc;
  return Execute(stmt);
}

SQLRETURN NumResultCols(Stmt* stmt, SQLSMALLINT* count) {
  SQLSMALLINT n = 0;
  if (stmt->result) {
    n = static_cast<SQLSMALLINT>(stmt->result->ColumnCount());
  } else if (stmt->query) {
    n = static_cast<SQLSMALLINT>(stmt->query->ColumnCount());
  } else {
    return stmt->Error("HY010", "[Tabrix] no statement is prepared or run");
  }
  if (count) *count = n;
  return SQL_SUCCESS;
}

namespace {

// The description of a column of the open result, or of the prepared statement.
const ColumnMeta* Describe(Stmt* stmt, SQLUSMALLINT column, ColumnMeta& scratch) {
  if (stmt->result) {
    if (column < 1 || column > stmt->result->ColumnCount()) return nullptr;
    return &stmt->result->Meta(column - 1);
  }
  if (stmt->query) {
    if (column < 1 || static_cast<int>(column) > stmt->query->ColumnCount()) return nullptr;
    scratch = MetaFor(stmt->query->Column(column - 1));
    return &scratch;
  }
  return nullptr;
}

SQLRETURN BadColumn(Stmt* stmt, SQLUSMALLINT column) {
  if (!stmt->result && !stmt->query) return stmt->Error("HY010", "[Tabrix] no statement is prepared or run");
  return stmt->Error("07009", "[Tabrix] there is no column " + std::to_string(column) +
                                  " (the columns are numbered from 1)");
}

}  // namespace

SQLRETURN DescribeCol(Stmt* stmt, SQLUSMALLINT column, std::string& name, SQLSMALLINT* type,
                      SQLULEN* size, SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  ColumnMeta scratch;
  const ColumnMeta* m = Describe(stmt, column, scratch);
  if (!m) return BadColumn(stmt, column);
  name = m->name;
  if (type) *type = m->sqlType;
  if (size) *size = m->size;
  if (digits) *digits = m->digits;
  if (nullable) *nullable = m->nullable;
  return SQL_SUCCESS;
}

SQLRETURN ColAttribute(Stmt* stmt, SQLUSMALLINT column, SQLUSMALLINT field, std::string* text,
                       bool& isText, SQLLEN* number) {
  isText = false;
  SQLLEN n = 0;
  if (field == SQL_DESC_COUNT || field == SQL_COLUMN_COUNT) {
    SQLSMALLINT count = 0;
    SQLRETURN rc = NumResultCols(stmt, &count);
    if (number) *number = count;
    return rc;
  }
  ColumnMeta scratch;
  const ColumnMeta* m = Describe(stmt, column, scratch);
  if (!m) return BadColumn(stmt, column);
  const bool isChar = m->sqlType == SQL_VARCHAR || m->sqlType == SQL_LONGVARCHAR;
  auto setText = [&](const std::string& value) {
    isText = true;
    *text = value;
    return SQL_SUCCESS;
  };
  switch (field) {
    case SQL_DESC_NAME: case SQL_DESC_LABEL: case SQL_COLUMN_NAME: return setText(m->name);
    case SQL_DESC_BASE_COLUMN_NAME: return setText(m->baseName.empty() ? m->name : m->baseName);
    case SQL_DESC_TABLE_NAME: case SQL_DESC_BASE_TABLE_NAME: return setText(m->table);
    case SQL_DESC_CATALOG_NAME: case SQL_DESC_SCHEMA_NAME: return setText("");
    case SQL_DESC_TYPE_NAME: case SQL_DESC_LOCAL_TYPE_NAME: return setText(m->typeName);
    case SQL_DESC_LITERAL_PREFIX: case SQL_DESC_LITERAL_SUFFIX:
      return setText(isChar ? "'" : m->sqlType == SQL_TYPE_TIMESTAMP ? "#" : "");
    case SQL_DESC_CONCISE_TYPE: n = m->sqlType; break;
    case SQL_DESC_TYPE:
      n = m->sqlType == SQL_TYPE_TIMESTAMP ? SQL_DATETIME : m->sqlType;
      break;
    case SQL_DESC_DATETIME_INTERVAL_CODE: n = m->sqlType == SQL_TYPE_TIMESTAMP ? SQL_CODE_TIMESTAMP : 0; break;
    case SQL_DESC_DISPLAY_SIZE: n = m->displaySize; break;
    case SQL_DESC_LENGTH: n = static_cast<SQLLEN>(m->size); break;
    case SQL_COLUMN_LENGTH: case SQL_DESC_OCTET_LENGTH: n = m->octetLength; break;
    case SQL_DESC_PRECISION: case SQL_COLUMN_PRECISION:
      n = m->sqlType == SQL_TYPE_TIMESTAMP ? m->digits : static_cast<SQLLEN>(m->size);
      break;
    case SQL_DESC_SCALE: case SQL_COLUMN_SCALE: n = m->digits; break;
    case SQL_DESC_NULLABLE: case SQL_COLUMN_NULLABLE: n = m->nullable; break;
    case SQL_DESC_NUM_PREC_RADIX:
      n = m->sqlType == SQL_DOUBLE ? 2
          : (m->sqlType == SQL_BIGINT || m->sqlType == SQL_INTEGER || m->sqlType == SQL_SMALLINT) ? 10
                                                                                                   : 0;
      break;
    case SQL_DESC_UNSIGNED:
      n = (m->sqlType == SQL_DOUBLE || m->sqlType == SQL_BIGINT || m->sqlType == SQL_INTEGER ||
           m->sqlType == SQL_SMALLINT)
              ? SQL_FALSE
              : SQL_TRUE;
      break;
    case SQL_DESC_FIXED_PREC_SCALE: n = SQL_FALSE; break;
    case SQL_DESC_AUTO_UNIQUE_VALUE: n = SQL_FALSE; break;
    case SQL_DESC_CASE_SENSITIVE: n = isChar ? SQL_TRUE : SQL_FALSE; break;
    case SQL_DESC_SEARCHABLE: n = m->sqlType == SQL_LONGVARCHAR ? SQL_PRED_CHAR : SQL_PRED_SEARCHABLE; break;
    case SQL_DESC_UNNAMED: n = m->name.empty() ? SQL_UNNAMED : SQL_NAMED; break;
    case SQL_DESC_UPDATABLE: n = SQL_ATTR_READONLY; break;
    case SQL_DESC_ROWVER: n = SQL_FALSE; break;
    default:
      return stmt->Error("HY091", "[Tabrix] the column field " + std::to_string(field) +
                                      " is not one this driver knows");
  }
  if (number) *number = n;
  return SQL_SUCCESS;
}

SQLRETURN BindCol(Stmt* stmt, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER target,
                  SQLLEN bufferLength, SQLLEN* indicator) {
  if (column == 0) return stmt->Error("07009", "[Tabrix] bookmarks are not offered: column 0 cannot be bound");
  if (bufferLength < 0) return stmt->Error("HY090", "[Tabrix] the buffer length is negative");
  if ((target || indicator) && !IsCType(cType)) return BadCType(stmt, cType);
  if (stmt->columns.size() <= column) stmt->columns.resize(column + 1u);
  Binding& b = stmt->columns[column];
  if (!target && !indicator) {
    b = Binding{};  // unbinds
    return SQL_SUCCESS;
  }
  b.bound = true;
  b.cType = cType;
  b.target = target;
  b.bufferLength = bufferLength;
  b.indicator = indicator;
  return SQL_SUCCESS;
}

SQLRETURN Fetch(Stmt* stmt) {
  if (!stmt->result) {
    return stmt->Error("24000", "[Tabrix] no result set is open: run a statement that returns rows first");
  }
  Result& result = *stmt->result;
  const SQLULEN rows = std::max<SQLULEN>(stmt->rowArraySize, 1);
  const SQLULEN offset = stmt->rowBindOffset ? *stmt->rowBindOffset : 0;
  SQLULEN fetched = 0;
  bool info = false, errors = false;
  stmt->onRow = false;
  stmt->pieceColumn = 0;
  Stepping stepping(stmt);
  for (SQLULEN r = 0; r < rows; ++r) {
    if (stmt->maxRows && stmt->rowsDelivered >= stmt->maxRows) break;
    bool more;
    try {
      more = result.Next();
    } catch (const std::exception& e) {
      if (fetched == 0) return EngineFailure(stmt, e);
      EngineFailure(stmt, e);
      errors = true;
      break;
    }
    if (!more) break;
    ++stmt->rowsDelivered;
    SQLUSMALLINT status = SQL_ROW_SUCCESS;
    for (size_t c = 1; c < stmt->columns.size() && c <= result.ColumnCount(); ++c) {
      const Binding& b = stmt->columns[c];
      if (!b.bound) continue;
      char* target = static_cast<char*>(b.target);
      char* indicator = reinterpret_cast<char*>(b.indicator);
      if (stmt->rowBindType == SQL_BIND_BY_COLUMN) {
        if (target) target += r * ElementSize(b, result.Meta(c - 1));
        if (indicator) indicator += r * sizeof(SQLLEN);
      } else {
        if (target) target += r * stmt->rowBindType;
        if (indicator) indicator += r * stmt->rowBindType;
      }
      if (target) target += offset;
      if (indicator) indicator += offset;
      SQLRETURN rc = ConvertValue(result.Get(c - 1), result.Meta(c - 1), b.cType, target,
                                  b.bufferLength, reinterpret_cast<SQLLEN*>(indicator), nullptr,
                                  *stmt, static_cast<SQLLEN>(r + 1), static_cast<SQLUSMALLINT>(c));
      if (rc == SQL_SUCCESS_WITH_INFO && status == SQL_ROW_SUCCESS) status = SQL_ROW_SUCCESS_WITH_INFO;
      if (rc == SQL_ERROR) {
        status = SQL_ROW_ERROR;
        if (!stmt->diags.empty()) {
          stmt->diags.back().row = static_cast<SQLLEN>(r + 1);
          stmt->diags.back().column = static_cast<SQLINTEGER>(c);
        }
      }
    }
    if (status == SQL_ROW_SUCCESS_WITH_INFO) info = true;
    if (status == SQL_ROW_ERROR) errors = true;
    if (stmt->rowStatus) stmt->rowStatus[r] = status;
    ++fetched;
  }
  if (stmt->rowsFetched) *stmt->rowsFetched = fetched;
  if (stmt->rowStatus) {
    for (SQLULEN r = fetched; r < rows; ++r) stmt->rowStatus[r] = SQL_ROW_NOROW;
  }
  if (fetched == 0) return errors ? SQL_ERROR : SQL_NO_DATA;
  stmt->onRow = true;
  if (errors) return rows == 1 ? SQL_ERROR : SQL_SUCCESS_WITH_INFO;
  return info ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

SQLRETURN FetchScroll(Stmt* stmt, SQLSMALLINT orientation, SQLLEN) {
  if (orientation != SQL_FETCH_NEXT) {
    return stmt->Error("HY106", "[Tabrix] the cursor moves forward only: SQL_FETCH_NEXT is the one direction offered");
  }
  return Fetch(stmt);
}

SQLRETURN GetData(Stmt* stmt, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER target,
                  SQLLEN bufferLength, SQLLEN* indicator) {
  if (!stmt->result || !stmt->onRow) {
    return stmt->Error("24000", "[Tabrix] no row is fetched to read from");
  }
  if (column == 0 || column > stmt->result->ColumnCount()) {
    return stmt->Error("07009", "[Tabrix] there is no column " + std::to_string(column) +
                                    " (the columns are numbered from 1)");
  }
  if (!IsCType(cType) && cType != SQL_ARD_TYPE) return BadCType(stmt, cType);
  if (stmt->rowArraySize > 1) {
    return stmt->Error("HYC00", "[Tabrix] SQLGetData reads rows fetched one at a time: the row array size is " +
                                    std::to_string(stmt->rowArraySize));
  }
  if (stmt->pieceColumn != column) {
    stmt->pieceColumn = column;
    stmt->pieceOffset = 0;
    stmt->pieceDone = false;
    stmt->scratch.clear();
  }
  return ConvertValue(stmt->result->Get(column - 1), stmt->result->Meta(column - 1), cType, target,
                      bufferLength, indicator, stmt, *stmt, SQL_NO_ROW_NUMBER, column);
}

SQLRETURN RowCount(Stmt* stmt, SQLLEN* count) {
  if (!stmt->executed) return stmt->Error("HY010", "[Tabrix] no statement has run");
  if (count) *count = stmt->rowCount;
  return SQL_SUCCESS;
}

SQLRETURN MoreResults(Stmt* stmt) {
  ResetCursor(stmt);
  return SQL_NO_DATA;
}

SQLRETURN CloseCursor(Stmt* stmt, bool mustBeOpen) {
  if (mustBeOpen && !stmt->result) return stmt->Error("24000", "[Tabrix] no cursor is open");
  ResetCursor(stmt);
  return SQL_SUCCESS;
}

SQLRETURN FreeStmt(Stmt* stmt, SQLUSMALLINT option) {
  switch (option) {
    case SQL_CLOSE: return CloseCursor(stmt, false);
    case SQL_UNBIND: stmt->columns.clear(); return SQL_SUCCESS;
    case SQL_RESET_PARAMS: stmt->params.clear(); return SQL_SUCCESS;
    case SQL_DROP: return FreeHandle(SQL_HANDLE_STMT, stmt);
    default: return stmt->Error("HY092", "[Tabrix] SQLFreeStmt's option " + std::to_string(option) + " is not one ODBC has");
  }
}

SQLRETURN Cancel(Stmt* stmt) {
  Dbc* dbc = stmt->dbc;
  std::unique_lock<std::recursive_mutex> lock(dbc->mutex, std::try_to_lock);
  if (!lock.owns_lock()) {
    // Another thread is in a call on this connection: stop the engine if it steps this statement.
    if (dbc->running.load() == stmt && dbc->database) dbc->database->Interrupt();
    return SQL_SUCCESS;
  }
  if (stmt->data != Stmt::Data::None) {
    // Another thread's diagnostics are left alone: only ending the sequence is a call of its own.
    stmt->diags.clear();
    EndData(stmt);  // the parameters sent at execution time so far are dropped
  }
  return SQL_SUCCESS;
}

SQLRETURN NumParams(Stmt* stmt, SQLSMALLINT* count) {
  if (!stmt->query) return stmt->Error("HY010", "[Tabrix] no statement is prepared");
  if (count) *count = static_cast<SQLSMALLINT>(stmt->query->ParameterCount());
  return SQL_SUCCESS;
}

SQLRETURN DescribeParam(Stmt* stmt, SQLUSMALLINT param, SQLSMALLINT* type, SQLULEN* size,
                        SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  if (!stmt->query) return stmt->Error("HY010", "[Tabrix] no statement is prepared");
  if (param < 1 || param > stmt->query->ParameterCount()) {
    return stmt->Error("07009", "[Tabrix] there is no parameter " + std::to_string(param));
  }
  // The engine gives parameters no type: any value is compared as the column's own.
  if (type) *type = SQL_VARCHAR;
  if (size) *size = 255;
  if (digits) *digits = 0;
  if (nullable) *nullable = SQL_NULLABLE;
  return SQL_SUCCESS;
}

SQLRETURN BindParameter(Stmt* stmt, SQLUSMALLINT param, SQLSMALLINT ioType, SQLSMALLINT cType,
                        SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT digits, SQLPOINTER value,
                        SQLLEN bufferLength, SQLLEN* indicator) {
  if (param < 1) return stmt->Error("07009", "[Tabrix] parameters are numbered from 1");
  if (ioType != SQL_PARAM_INPUT) {
    return stmt->Error("HYC00", "[Tabrix] output parameters are not offered: a workbook has no procedures");
  }
  if (!IsCType(cType)) return BadCType(stmt, cType);
  if (!value && !indicator) {
    return stmt->Error("HY009", "[Tabrix] parameter " + std::to_string(param) +
                                    ": neither a value nor a length indicator is given");
  }
  if (bufferLength < 0) {
    return stmt->Error(
        "HY090", "[Tabrix] parameter " + std::to_string(param) + ": the buffer length is negative");
  }
  if (stmt->params.size() <= param) stmt->params.resize(param + 1u);
  Binding& b = stmt->params[param];
  b.bound = true;
  b.ioType = ioType;
  b.cType = cType;
  b.sqlType = sqlType;
  b.columnSize = size;
  b.decimalDigits = digits;
  b.target = value;
  b.bufferLength = bufferLength;
  b.indicator = indicator;
  return SQL_SUCCESS;
}

SQLRETURN SetStmtAttr(Stmt* stmt, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER) {
  const auto number = static_cast<SQLULEN>(reinterpret_cast<uintptr_t>(value));
  switch (attribute) {
    case SQL_ATTR_ROW_ARRAY_SIZE:
    case SQL_ROWSET_SIZE:
      if (number == 0) return stmt->Error("HY024", "[Tabrix] the row array size must be 1 or more");
      stmt->rowArraySize = number;
      return SQL_SUCCESS;
    case SQL_ATTR_ROW_BIND_TYPE: stmt->rowBindType = number; return SQL_SUCCESS;
    case SQL_ATTR_ROW_STATUS_PTR: stmt->rowStatus = static_cast<SQLUSMALLINT*>(value); return SQL_SUCCESS;
    case SQL_ATTR_ROWS_FETCHED_PTR: stmt->rowsFetched = static_cast<SQLULEN*>(value); return SQL_SUCCESS;
    case SQL_ATTR_ROW_BIND_OFFSET_PTR: stmt->rowBindOffset = static_cast<SQLULEN*>(value); return SQL_SUCCESS;
    case SQL_ATTR_PARAMSET_SIZE: stmt->paramsetSize = number; return SQL_SUCCESS;
    case SQL_ATTR_PARAMS_PROCESSED_PTR: stmt->paramsProcessed = static_cast<SQLULEN*>(value); return SQL_SUCCESS;
    case SQL_ATTR_PARAM_STATUS_PTR: stmt->paramStatus = static_cast<SQLUSMALLINT*>(value); return SQL_SUCCESS;
    case SQL_ATTR_PARAM_BIND_OFFSET_PTR: stmt->paramBindOffset = static_cast<SQLULEN*>(value); return SQL_SUCCESS;
    case SQL_ATTR_PARAM_BIND_TYPE: stmt->paramBindType = number; return SQL_SUCCESS;
    case SQL_ATTR_MAX_ROWS: stmt->maxRows = number; return SQL_SUCCESS;
    case SQL_ATTR_MAX_LENGTH: stmt->maxLength = number; return SQL_SUCCESS;
    case SQL_ATTR_QUERY_TIMEOUT: stmt->queryTimeout = number; return SQL_SUCCESS;
    case SQL_ATTR_NOSCAN: stmt->noscan = number; return SQL_SUCCESS;
    case SQL_ATTR_RETRIEVE_DATA: stmt->retrieveData = number; return SQL_SUCCESS;
    case SQL_ATTR_METADATA_ID: stmt->metadataId = number; return SQL_SUCCESS;
    case SQL_ATTR_ASYNC_ENABLE:
    case SQL_ATTR_ENABLE_AUTO_IPD:
      return SQL_SUCCESS;
    case SQL_ATTR_USE_BOOKMARKS:
      if (number != SQL_UB_OFF) return stmt->Error("HYC00", "[Tabrix] bookmarks are not offered");
      return SQL_SUCCESS;
    case SQL_ATTR_CURSOR_TYPE:
      if (number != SQL_CURSOR_FORWARD_ONLY) {
        stmt->Warn("01S02", "[Tabrix] the cursor is forward-only");
        return SQL_SUCCESS_WITH_INFO;
      }
      return SQL_SUCCESS;
    case SQL_ATTR_CONCURRENCY:
      if (number != SQL_CONCUR_READ_ONLY) {
        stmt->Warn("01S02", "[Tabrix] the cursor is read-only");
        return SQL_SUCCESS_WITH_INFO;
      }
      return SQL_SUCCESS;
    case SQL_ATTR_CURSOR_SCROLLABLE:
      if (number != SQL_NONSCROLLABLE) return stmt->Error("HYC00", "[Tabrix] scrollable cursors are not offered");
      return SQL_SUCCESS;
    case SQL_ATTR_CURSOR_SENSITIVITY:
      return SQL_SUCCESS;
    default:
      return stmt->Error("HY092", "[Tabrix] the statement attribute " + std::to_string(attribute) +
                                      " is not one this driver offers");
  }
}

SQLRETURN GetStmtAttr(Stmt* stmt, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER,
                      SQLINTEGER* length) {
  auto put = [&](auto v) {
    if (value) std::memcpy(value, &v, sizeof v);
    if (length) *length = sizeof v;
    return SQL_SUCCESS;
  };
  switch (attribute) {
    case SQL_ATTR_ROW_ARRAY_SIZE: case SQL_ROWSET_SIZE: return put(stmt->rowArraySize);
    case SQL_ATTR_ROW_BIND_TYPE: return put(stmt->rowBindType);
    case SQL_ATTR_ROW_STATUS_PTR: return put(static_cast<SQLPOINTER>(stmt->rowStatus));
    case SQL_ATTR_ROWS_FETCHED_PTR: return put(static_cast<SQLPOINTER>(stmt->rowsFetched));
    case SQL_ATTR_ROW_BIND_OFFSET_PTR: return put(static_cast<SQLPOINTER>(stmt->rowBindOffset));
    case SQL_ATTR_PARAMSET_SIZE: return put(stmt->paramsetSize);
    case SQL_ATTR_PARAMS_PROCESSED_PTR: return put(static_cast<SQLPOINTER>(stmt->paramsProcessed));
    case SQL_ATTR_PARAM_STATUS_PTR: return put(static_cast<SQLPOINTER>(stmt->paramStatus));
    case SQL_ATTR_PARAM_BIND_OFFSET_PTR: return put(static_cast<SQLPOINTER>(stmt->paramBindOffset));
    case SQL_ATTR_PARAM_BIND_TYPE: return put(stmt->paramBindType);
    case SQL_ATTR_MAX_ROWS: return put(stmt->maxRows);
    case SQL_ATTR_MAX_LENGTH: return put(stmt->maxLength);
    case SQL_ATTR_QUERY_TIMEOUT: return put(stmt->queryTimeout);
    case SQL_ATTR_NOSCAN: return put(stmt->noscan);
    case SQL_ATTR_RETRIEVE_DATA: return put(stmt->retrieveData);
    case SQL_ATTR_METADATA_ID: return put(stmt->metadataId);
    case SQL_ATTR_USE_BOOKMARKS: return put(SQLULEN{SQL_UB_OFF});
    case SQL_ATTR_CURSOR_TYPE: return put(SQLULEN{SQL_CURSOR_FORWARD_ONLY});
    case SQL_ATTR_CONCURRENCY: return put(SQLULEN{SQL_CONCUR_READ_ONLY});
    case SQL_ATTR_CURSOR_SCROLLABLE: return put(SQLULEN{SQL_NONSCROLLABLE});
    case SQL_ATTR_CURSOR_SENSITIVITY: return put(SQLULEN{SQL_INSENSITIVE});
    case SQL_ATTR_ASYNC_ENABLE: return put(SQLULEN{SQL_ASYNC_ENABLE_OFF});
    case SQL_ATTR_ENABLE_AUTO_IPD: return put(SQLULEN{SQL_FALSE});
    case SQL_ATTR_ROW_NUMBER: return put(SQLULEN{stmt->rowsDelivered});
    case SQL_ATTR_APP_ROW_DESC:
    case SQL_ATTR_APP_PARAM_DESC:
    case SQL_ATTR_IMP_ROW_DESC:
    case SQL_ATTR_IMP_PARAM_DESC:
      return stmt->Error("HYC00", "[Tabrix] descriptors are not offered");
    default:
      return stmt->Error("HY092", "[Tabrix] the statement attribute " + std::to_string(attribute) +
                                      " is not one this driver offers");
  }
}

SQLRETURN GetTypeInfo(Stmt* stmt, SQLSMALLINT type) {
  // The wide types are the text types, read as UTF-16, through the ANSI call as the wide one.
  if (type == SQL_WVARCHAR || type == SQL_WCHAR) type = SQL_VARCHAR;
  if (type == SQL_WLONGVARCHAR) type = SQL_LONGVARCHAR;
  auto rows = std::make_unique<RowsResult>(std::initializer_list<std::pair<const char*, SQLSMALLINT>>{
      {"TYPE_NAME", SQL_VARCHAR}, {"DATA_TYPE", SQL_SMALLINT}, {"COLUMN_SIZE", SQL_INTEGER},
      {"LITERAL_PREFIX", SQL_VARCHAR}, {"LITERAL_SUFFIX", SQL_VARCHAR}, {"CREATE_PARAMS", SQL_VARCHAR},
      {"NULLABLE", SQL_SMALLINT}, {"CASE_SENSITIVE", SQL_SMALLINT}, {"SEARCHABLE", SQL_SMALLINT},
      {"UNSIGNED_ATTRIBUTE", SQL_SMALLINT}, {"FIXED_PREC_SCALE", SQL_SMALLINT},
      {"AUTO_UNIQUE_VALUE", SQL_SMALLINT}, {"LOCAL_TYPE_NAME", SQL_VARCHAR},
      {"MINIMUM_SCALE", SQL_SMALLINT}, {"MAXIMUM_SCALE", SQL_SMALLINT}, {"SQL_DATA_TYPE", SQL_SMALLINT},
      {"SQL_DATETIME_SUB", SQL_SMALLINT}, {"NUM_PREC_RADIX", SQL_INTEGER},
      {"INTERVAL_PRECISION", SQL_SMALLINT}});
  struct TypeRow {
    const char* name;
    SQLSMALLINT type;
    int64_t size;
    const char* prefix;
    bool caseSensitive;
    SQLSMALLINT searchable;
    bool isUnsigned;
    int64_t radix;
  };
  // Ordered by DATA_TYPE, as ODBC asks.
  const TypeRow types[] = {
      {"LONGCHAR", SQL_LONGVARCHAR, 65535, "'", true, SQL_PRED_CHAR, false, 0},
      {"LOGICAL", SQL_BIT, 1, nullptr, false, SQL_PRED_BASIC, false, 0},
      {"INTEGER", SQL_BIGINT, 19, nullptr, false, SQL_PRED_BASIC, false, 10},
      {"NUMBER", SQL_DOUBLE, 15, nullptr, false, SQL_PRED_BASIC, false, 2},
      {"VARCHAR", SQL_VARCHAR, 255, "'", true, SQL_SEARCHABLE, false, 0},
      {"DATETIME", SQL_TYPE_TIMESTAMP, 23, "'", false, SQL_PRED_BASIC, false, 0},
  };
  for (const TypeRow& t : types) {
    if (type != SQL_ALL_TYPES && type != t.type &&
        !(type == SQL_TIMESTAMP && t.type == SQL_TYPE_TIMESTAMP)) {
      continue;
    }
    const bool isChar = t.type == SQL_VARCHAR || t.type == SQL_LONGVARCHAR;
    const bool isTime = t.type == SQL_TYPE_TIMESTAMP;
    rows->Add({Text(t.name), Int(t.type), Int(t.size), t.prefix ? Text(t.prefix) : Null(),
               t.prefix ? Text(t.prefix) : Null(), Null(), Int(SQL_NULLABLE),
               Int(t.caseSensitive ? SQL_TRUE : SQL_FALSE), Int(t.searchable),
               isChar || isTime || t.type == SQL_BIT ? Null() : Int(t.isUnsigned), Int(SQL_FALSE),
               isChar || isTime || t.type == SQL_BIT ? Null() : Int(SQL_FALSE), Text(t.name),
               isTime ? Int(3) : Null(), isTime ? Int(3) : Null(),
               Int(isTime ? SQL_DATETIME : t.type), isTime ? Int(SQL_CODE_TIMESTAMP) : Null(),
               t.radix ? Int(t.radix) : Null(), Null()});
  }
  return Open(stmt, std::move(rows));
}

SQLRETURN Tables(Stmt* stmt, const Arg& catalog, const Arg& schema, const Arg& table,
                 const Arg& types) {
  auto rows = std::make_unique<RowsResult>(std::initializer_list<std::pair<const char*, SQLSMALLINT>>{
      {"TABLE_CAT", SQL_VARCHAR}, {"TABLE_SCHEM", SQL_VARCHAR}, {"TABLE_NAME", SQL_VARCHAR},
      {"TABLE_TYPE", SQL_VARCHAR}, {"REMARKS", SQL_VARCHAR}});
  const sql::Database& db = *stmt->dbc->database;
  auto empty = [](const Arg& a) { return a && a->empty(); };
  if (catalog && *catalog == SQL_ALL_CATALOGS && empty(schema) && empty(table)) {
    rows->Add({Text(db.Path()), Null(), Null(), Null(), Null()});
    return Open(stmt, std::move(rows));
  }
  if (schema && *schema == SQL_ALL_SCHEMAS && empty(catalog) && empty(table)) {
    return Open(stmt, std::move(rows));  // a workbook has no schemas
  }
  if (types && *types == SQL_ALL_TABLE_TYPES && empty(catalog) && empty(schema) && empty(table)) {
    rows->Add({Null(), Null(), Null(), Text("TABLE"), Null()});
    return Open(stmt, std::move(rows));
  }
  bool wantTables = true;
  if (types && !types->empty() && *types != "%") {
    wantTables = false;
    std::string list = *types;
    size_t at = 0;
    while (at <= list.size()) {
      size_t comma = list.find(',', at);
      std::string item = list.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
      item.erase(std::remove_if(item.begin(), item.end(), [](char c) { return c == '\'' || c == ' '; }),
                 item.end());
      for (char& c : item) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (item == "TABLE") wantTables = true;
      if (comma == std::string::npos) break;
      at = comma + 1;
    }
  }
  const bool byId = stmt->metadataId == SQL_TRUE;
  if (wantTables && (!catalog || catalog->empty() || Matches(catalog, db.Path(), byId)) &&
      (!schema || schema->empty() || *schema == "%")) {
    for (const auto& t : db.Tables()) {
      if (!Matches(table, t.name, byId)) continue;
      rows->Add({Text(db.Path()), Null(), Text(t.name), Text("TABLE"),
                 Text(t.isFile ? "file" : t.isSheet ? "worksheet" : "named range")});
    }
  }
  return Open(stmt, std::move(rows));
}

SQLRETURN Columns(Stmt* stmt, const Arg& catalog, const Arg& schema, const Arg& table,
                  const Arg& column) {
  auto rows = std::make_unique<RowsResult>(std::initializer_list<std::pair<const char*, SQLSMALLINT>>{
      {"TABLE_CAT", SQL_VARCHAR}, {"TABLE_SCHEM", SQL_VARCHAR}, {"TABLE_NAME", SQL_VARCHAR},
      {"COLUMN_NAME", SQL_VARCHAR}, {"DATA_TYPE", SQL_SMALLINT}, {"TYPE_NAME", SQL_VARCHAR},
      {"COLUMN_SIZE", SQL_INTEGER}, {"BUFFER_LENGTH", SQL_INTEGER}, {"DECIMAL_DIGITS", SQL_SMALLINT},
      {"NUM_PREC_RADIX", SQL_SMALLINT}, {"NULLABLE", SQL_SMALLINT}, {"REMARKS", SQL_VARCHAR},
      {"COLUMN_DEF", SQL_VARCHAR}, {"SQL_DATA_TYPE", SQL_SMALLINT}, {"SQL_DATETIME_SUB", SQL_SMALLINT},
      {"CHAR_OCTET_LENGTH", SQL_INTEGER}, {"ORDINAL_POSITION", SQL_INTEGER},
      {"IS_NULLABLE", SQL_VARCHAR}});
  sql::Database& db = *stmt->dbc->database;
  const bool byId = stmt->metadataId == SQL_TRUE;
  if ((catalog && !catalog->empty() && !Matches(catalog, db.Path(), byId)) ||
      (schema && !schema->empty() && *schema != "%")) {
    return Open(stmt, std::move(rows));
  }
  try {
    for (const auto& t : db.Tables()) {
      if (!Matches(table, t.name, byId)) continue;
      int64_t position = 0;
      for (const auto& [name, type] : db.Columns(t.name)) {
        ++position;
        if (!Matches(column, name, byId)) continue;
        SQLSMALLINT sqlType = SQL_VARCHAR;
        const char* typeName = "VARCHAR";
        SQLINTEGER size = 255, octets = 255;
        Cell digits, radix;
        TypeMeta(type, sqlType, typeName, size, octets, digits, radix);
        const bool isChar = sqlType == SQL_VARCHAR || sqlType == SQL_LONGVARCHAR;
        const bool isTime = sqlType == SQL_TYPE_TIMESTAMP;
        rows->Add({Text(db.Path()), Null(), Text(t.name), Text(name), Int(sqlType), Text(typeName),
                   Int(size), Int(octets), digits, radix, Int(SQL_NULLABLE), Null(), Null(),
                   Int(isTime ? SQL_DATETIME : sqlType), isTime ? Int(SQL_CODE_TIMESTAMP) : Null(),
                   isChar ? Int(octets) : Null(), Int(position), Text("YES")});
      }
    }
  } catch (const std::exception& e) {
    return EngineFailure(stmt, e);
  }
  return Open(stmt, std::move(rows));
}

SQLRETURN Statistics(Stmt* stmt) {
  return Open(stmt, std::make_unique<RowsResult>(std::initializer_list<std::pair<const char*, SQLSMALLINT>>{
      {"TABLE_CAT", SQL_VARCHAR}, {"TABLE_SCHEM", SQL_VARCHAR}, {"TABLE_NAME", SQL_VARCHAR},
      {"NON_UNIQUE", SQL_SMALLINT}, {"INDEX_QUALIFIER", SQL_VARCHAR}, {"INDEX_NAME", SQL_VARCHAR},
      {"TYPE", SQL_SMALLINT}, {"ORDINAL_POSITION", SQL_SMALLINT}, {"COLUMN_NAME", SQL_VARCHAR},
      {"ASC_OR_DESC", SQL_VARCHAR}, {"CARDINALITY", SQL_INTEGER}, {"PAGES", SQL_INTEGER},
      {"FILTER_CONDITION", SQL_VARCHAR}}));
}

SQLRETURN PrimaryKeys(Stmt* stmt) {
  return Open(stmt, std::make_unique<RowsResult>(std::initializer_list<std::pair<const char*, SQLSMALLINT>>{
      {"TABLE_CAT", SQL_VARCHAR}, {"TABLE_SCHEM", SQL_VARCHAR}, {"TABLE_NAME", SQL_VARCHAR},
      {"COLUMN_NAME", SQL_VARCHAR}, {"KEY_SEQ", SQL_SMALLINT}, {"PK_NAME", SQL_VARCHAR}}));
}

SQLRETURN ForeignKeys(Stmt* stmt) {
  return Open(stmt, std::make_unique<RowsResult>(std::initializer_list<std::pair<const char*, SQLSMALLINT>>{
      {"PKTABLE_CAT", SQL_VARCHAR}, {"PKTABLE_SCHEM", SQL_VARCHAR}, {"PKTABLE_NAME", SQL_VARCHAR},
      {"PKCOLUMN_NAME", SQL_VARCHAR}, {"FKTABLE_CAT", SQL_VARCHAR}, {"FKTABLE_SCHEM", SQL_VARCHAR},
      {"FKTABLE_NAME", SQL_VARCHAR}, {"FKCOLUMN_NAME", SQL_VARCHAR}, {"KEY_SEQ", SQL_SMALLINT},
      {"UPDATE_RULE", SQL_SMALLINT}, {"DELETE_RULE", SQL_SMALLINT}, {"FK_NAME", SQL_VARCHAR},
      {"PK_NAME", SQL_VARCHAR}, {"DEFERRABILITY", SQL_SMALLINT}}));
}

SQLRETURN SpecialColumns(Stmt* stmt) {
  return Open(stmt, std::make_unique<RowsResult>(std::initializer_list<std::pair<const char*, SQLSMALLINT>>{
      {"SCOPE", SQL_SMALLINT}, {"COLUMN_NAME", SQL_VARCHAR}, {"DATA_TYPE", SQL_SMALLINT},
      {"TYPE_NAME", SQL_VARCHAR}, {"COLUMN_SIZE", SQL_INTEGER}, {"BUFFER_LENGTH", SQL_INTEGER},
      {"DECIMAL_DIGITS", SQL_SMALLINT}, {"PSEUDO_COLUMN", SQL_SMALLINT}}));
}

SQLRETURN Procedures(Stmt* stmt) {
  return Open(stmt, std::make_unique<RowsResult>(std::initializer_list<std::pair<const char*, SQLSMALLINT>>{
      {"PROCEDURE_CAT", SQL_VARCHAR}, {"PROCEDURE_SCHEM", SQL_VARCHAR}, {"PROCEDURE_NAME", SQL_VARCHAR},
      {"NUM_INPUT_PARAMS", SQL_INTEGER}, {"NUM_OUTPUT_PARAMS", SQL_INTEGER},
      {"NUM_RESULT_SETS", SQL_INTEGER}, {"REMARKS", SQL_VARCHAR}, {"PROCEDURE_TYPE", SQL_SMALLINT}}));
}

SQLRETURN ProcedureColumns(Stmt* stmt) {
  return Open(stmt, std::make_unique<RowsResult>(std::initializer_list<std::pair<const char*, SQLSMALLINT>>{
      {"PROCEDURE_CAT", SQL_VARCHAR}, {"PROCEDURE_SCHEM", SQL_VARCHAR}, {"PROCEDURE_NAME", SQL_VARCHAR},
      {"COLUMN_NAME", SQL_VARCHAR}, {"COLUMN_TYPE", SQL_SMALLINT}, {"DATA_TYPE", SQL_SMALLINT},
      {"TYPE_NAME", SQL_VARCHAR}, {"COLUMN_SIZE", SQL_INTEGER}, {"BUFFER_LENGTH", SQL_INTEGER},
      {"DECIMAL_DIGITS", SQL_SMALLINT}, {"NUM_PREC_RADIX", SQL_SMALLINT}, {"NULLABLE", SQL_SMALLINT},
      {"REMARKS", SQL_VARCHAR}, {"COLUMN_DEF", SQL_VARCHAR}, {"SQL_DATA_TYPE", SQL_SMALLINT},
      {"SQL_DATETIME_SUB", SQL_SMALLINT}, {"CHAR_OCTET_LENGTH", SQL_INTEGER},
      {"ORDINAL_POSITION", SQL_INTEGER}, {"IS_NULLABLE", SQL_VARCHAR}}));
}

}  // namespace tabrix::odbc

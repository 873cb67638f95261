// The catalogue's result sets and the type information: rows the driver makes itself.
#include <algorithm>

#include "formats/Ascii.h"
#include "odbc/Statement.h"

namespace tabrix::odbc {
namespace {

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
    formats::ToAsciiLower(a);
    formats::ToAsciiLower(b);
    return a == b;
  }
  return Like(*pattern, text);
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
      formats::ToAsciiUpper(item);
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

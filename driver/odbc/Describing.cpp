// The description of a result's columns: SQLNumResultCols, SQLDescribeCol, SQLColAttribute.
#include "odbc/Statement.h"

namespace tabrix::odbc {

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

namespace {

bool IsChar(const ColumnMeta& m) { return m.sqlType == SQL_VARCHAR || m.sqlType == SQL_LONGVARCHAR; }

// The column's fields that are text: false when `field` is none of them.
bool TextField(const ColumnMeta& m, SQLUSMALLINT field, std::string& text) {
  switch (field) {
    case SQL_DESC_NAME: case SQL_DESC_LABEL: case SQL_COLUMN_NAME: text = m.name; return true;
    case SQL_DESC_BASE_COLUMN_NAME: text = m.baseName.empty() ? m.name : m.baseName; return true;
    case SQL_DESC_TABLE_NAME: case SQL_DESC_BASE_TABLE_NAME: text = m.table; return true;
    case SQL_DESC_CATALOG_NAME: case SQL_DESC_SCHEMA_NAME: text = ""; return true;
    case SQL_DESC_TYPE_NAME: case SQL_DESC_LOCAL_TYPE_NAME: text = m.typeName; return true;
    case SQL_DESC_LITERAL_PREFIX: case SQL_DESC_LITERAL_SUFFIX:
      text = IsChar(m) ? "'" : m.sqlType == SQL_TYPE_TIMESTAMP ? "#" : "";
      return true;
    default:
      return false;
  }
}

bool IsInteger(const ColumnMeta& m) {
  return m.sqlType == SQL_BIGINT || m.sqlType == SQL_INTEGER || m.sqlType == SQL_SMALLINT;
}

// The column's fields that are numbers: false when `field` is none of them.
bool NumberField(const ColumnMeta& m, SQLUSMALLINT field, SQLLEN& n) {
  const bool timestamp = m.sqlType == SQL_TYPE_TIMESTAMP;
  switch (field) {
    case SQL_DESC_CONCISE_TYPE: n = m.sqlType; return true;
    case SQL_DESC_TYPE: n = timestamp ? SQL_DATETIME : m.sqlType; return true;
    case SQL_DESC_DATETIME_INTERVAL_CODE: n = timestamp ? SQL_CODE_TIMESTAMP : 0; return true;
    case SQL_DESC_DISPLAY_SIZE: n = m.displaySize; return true;
    case SQL_DESC_LENGTH: n = static_cast<SQLLEN>(m.size); return true;
    case SQL_COLUMN_LENGTH: case SQL_DESC_OCTET_LENGTH: n = m.octetLength; return true;
    case SQL_DESC_PRECISION: case SQL_COLUMN_PRECISION:
      n = timestamp ? m.digits : static_cast<SQLLEN>(m.size);
      return true;
    case SQL_DESC_SCALE: case SQL_COLUMN_SCALE: n = m.digits; return true;
    case SQL_DESC_NULLABLE: case SQL_COLUMN_NULLABLE: n = m.nullable; return true;
    case SQL_DESC_NUM_PREC_RADIX: n = m.sqlType == SQL_DOUBLE ? 2 : IsInteger(m) ? 10 : 0; return true;
    case SQL_DESC_UNSIGNED: n = m.sqlType == SQL_DOUBLE || IsInteger(m) ? SQL_FALSE : SQL_TRUE; return true;
    case SQL_DESC_FIXED_PREC_SCALE: n = SQL_FALSE; return true;
    case SQL_DESC_AUTO_UNIQUE_VALUE: n = SQL_FALSE; return true;
    case SQL_DESC_CASE_SENSITIVE: n = IsChar(m) ? SQL_TRUE : SQL_FALSE; return true;
    case SQL_DESC_SEARCHABLE: n = m.sqlType == SQL_LONGVARCHAR ? SQL_PRED_CHAR : SQL_PRED_SEARCHABLE; return true;
    case SQL_DESC_UNNAMED: n = m.name.empty() ? SQL_UNNAMED : SQL_NAMED; return true;
    case SQL_DESC_UPDATABLE: n = SQL_ATTR_READONLY; return true;
    case SQL_DESC_ROWVER: n = SQL_FALSE; return true;
    default:
      return false;
  }
}

}  // namespace

SQLRETURN ColAttribute(Stmt* stmt, SQLUSMALLINT column, SQLUSMALLINT field, std::string* text,
                       bool& isText, SQLLEN* number) {
  isText = false;
  if (field == SQL_DESC_COUNT || field == SQL_COLUMN_COUNT) {
    SQLSMALLINT count = 0;
    SQLRETURN rc = NumResultCols(stmt, &count);
    if (number) *number = count;
    return rc;
  }
  ColumnMeta scratch;
  const ColumnMeta* m = Describe(stmt, column, scratch);
  if (!m) return BadColumn(stmt, column);
  if (TextField(*m, field, *text)) {
    isText = true;
    return SQL_SUCCESS;
  }
  SQLLEN n = 0;
  if (!NumberField(*m, field, n)) {
    return stmt->Error("HY091", "[Tabrix] the column field " + std::to_string(field) +
                                    " is not one this driver knows");
  }
  if (number) *number = n;
  return SQL_SUCCESS;
}

}  // namespace tabrix::odbc

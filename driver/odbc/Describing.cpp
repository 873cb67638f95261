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

}  // namespace tabrix::odbc

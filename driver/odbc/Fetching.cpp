// Fetching: columns bound, rows fetched into them (one or an array at a time), and values read
// with SQLGetData, in pieces for texts and bytes.
#include <algorithm>

#include "odbc/Statement.h"

namespace tabrix::odbc {

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

namespace {

// Where row `r` of the array puts column `b`'s value and its indicator: bound by column
// (arrays of elements) or by row (arrays of structs), both moved by the bind offset.
void BoundAddresses(const Stmt* stmt, const Binding& b, const ColumnMeta& meta, SQLULEN r,
                    char*& target, SQLLEN*& indicator) {
  const SQLULEN offset = stmt->rowBindOffset ? *stmt->rowBindOffset : 0;
  target = static_cast<char*>(b.target);
  char* length = reinterpret_cast<char*>(b.indicator);
  if (stmt->rowBindType == SQL_BIND_BY_COLUMN) {
    if (target) target += r * ElementSize(b, meta);
    if (length) length += r * sizeof(SQLLEN);
  } else {
    if (target) target += r * stmt->rowBindType;
    if (length) length += r * stmt->rowBindType;
  }
  if (target) target += offset;
  if (length) length += offset;
  indicator = reinterpret_cast<SQLLEN*>(length);
}

// Converts the current row into the bound columns as row `r` of the array: its row status.
SQLUSMALLINT PutRow(Stmt* stmt, Result& result, SQLULEN r) {
  SQLUSMALLINT status = SQL_ROW_SUCCESS;
  for (size_t c = 1; c < stmt->columns.size() && c <= result.ColumnCount(); ++c) {
    const Binding& b = stmt->columns[c];
    if (!b.bound) continue;
    char* target;
    SQLLEN* indicator;
    BoundAddresses(stmt, b, result.Meta(c - 1), r, target, indicator);
    SQLRETURN rc = ConvertValue(result.Get(c - 1), result.Meta(c - 1), b.cType, target,
                                b.bufferLength, indicator, nullptr, *stmt,
                                static_cast<SQLLEN>(r + 1), static_cast<SQLUSMALLINT>(c));
    if (rc == SQL_SUCCESS_WITH_INFO && status == SQL_ROW_SUCCESS) status = SQL_ROW_SUCCESS_WITH_INFO;
    if (rc == SQL_ERROR) {
      status = SQL_ROW_ERROR;
      if (!stmt->diags.empty()) {
        stmt->diags.back().row = static_cast<SQLLEN>(r + 1);
        stmt->diags.back().column = static_cast<SQLINTEGER>(c);
      }
    }
  }
  return status;
}

}  // namespace

SQLRETURN Fetch(Stmt* stmt) {
  if (!stmt->result) {
    return stmt->Error("24000", "[Tabrix] no result set is open: run a statement that returns rows first");
  }
  Result& result = *stmt->result;
  const SQLULEN rows = std::max<SQLULEN>(stmt->rowArraySize, 1);
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
    const SQLUSMALLINT status = PutRow(stmt, result, r);
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

}  // namespace tabrix::odbc

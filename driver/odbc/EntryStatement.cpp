// The exported ODBC functions of statements: preparing, running, parameters and results.
#include "odbc/EntryShims.h"

using namespace tabrix::odbc;
using namespace tabrix::odbc::entry;

extern "C" {

SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value,
                                 SQLINTEGER length) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return SetStmtAttr(s, attribute, value, length); });
}

SQLRETURN SQL_API SQLSetStmtAttrW(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value,
                                  SQLINTEGER length) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return SetStmtAttr(s, attribute, value, length); });
}

SQLRETURN SQL_API SQLGetStmtAttr(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value,
                                 SQLINTEGER bufferLength, SQLINTEGER* length) {
  return Call<Stmt, true>(
      stmt, [&](Stmt* s) { return GetStmtAttr(s, attribute, value, bufferLength, length); });
}

SQLRETURN SQL_API SQLGetStmtAttrW(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value,
                                  SQLINTEGER bufferLength, SQLINTEGER* length) {
  return Call<Stmt, true>(
      stmt, [&](Stmt* s) { return GetStmtAttr(s, attribute, value, bufferLength, length); });
}

SQLRETURN SQL_API SQLPrepare(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return Prepare(s, FromAnsi(text, length)); });
}

SQLRETURN SQL_API SQLPrepareW(SQLHSTMT stmt, SQLWCHAR* text, SQLINTEGER length) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return Prepare(s, FromWide(text, length)); });
}

SQLRETURN SQL_API SQLExecute(SQLHSTMT stmt) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return Execute(s); });
}

SQLRETURN SQL_API SQLParamData(SQLHSTMT stmt, SQLPOINTER* value) {
  return Call<Stmt, true>(stmt, [&](Stmt* s) { return ParamData(s, value); });
}

SQLRETURN SQL_API SQLPutData(SQLHSTMT stmt, SQLPOINTER data, SQLLEN length) {
  return Call<Stmt, true>(stmt, [&](Stmt* s) { return PutData(s, data, length); });
}

SQLRETURN SQL_API SQLExecDirect(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return ExecDirect(s, FromAnsi(text, length)); });
}

SQLRETURN SQL_API SQLExecDirectW(SQLHSTMT stmt, SQLWCHAR* text, SQLINTEGER length) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return ExecDirect(s, FromWide(text, length)); });
}

SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT stmt, SQLSMALLINT* count) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return NumResultCols(s, count); });
}

namespace {

SQLRETURN DescribeColShim(SQLHSTMT stmt, SQLUSMALLINT column, SQLPOINTER name,
                          SQLSMALLINT bufferLength, SQLSMALLINT* nameLength, SQLSMALLINT* type,
                          SQLULEN* size, SQLSMALLINT* digits, SQLSMALLINT* nullable, bool wide) {
  return Call<Stmt>(stmt, [&](Stmt* s) -> SQLRETURN {
    std::string text;
    SQLRETURN rc = DescribeCol(s, column, text, type, size, digits, nullable);
    if (!SQL_SUCCEEDED(rc)) return rc;
    return PutOut(s, rc, text, name, bufferLength, nameLength, wide, false);
  });
}

}  // namespace

SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT stmt, SQLUSMALLINT column, SQLCHAR* name,
                                 SQLSMALLINT bufferLength, SQLSMALLINT* nameLength,
                                 SQLSMALLINT* type, SQLULEN* size, SQLSMALLINT* digits,
                                 SQLSMALLINT* nullable) {
  return DescribeColShim(stmt, column, name, bufferLength, nameLength, type, size, digits,
                         nullable, false);
}

SQLRETURN SQL_API SQLDescribeColW(SQLHSTMT stmt, SQLUSMALLINT column, SQLWCHAR* name,
                                  SQLSMALLINT bufferLength, SQLSMALLINT* nameLength,
                                  SQLSMALLINT* type, SQLULEN* size, SQLSMALLINT* digits,
                                  SQLSMALLINT* nullable) {
  return DescribeColShim(stmt, column, name, bufferLength, nameLength, type, size, digits,
                         nullable, true);
}

namespace {

SQLRETURN ColAttributeShim(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field,
                           SQLPOINTER text, SQLSMALLINT bufferLength, SQLSMALLINT* textLength,
                           SQLLEN* number, bool wide) {
  return Call<Stmt>(stmt, [&](Stmt* s) -> SQLRETURN {
    std::string value;
    bool isText = false;
    SQLLEN n = 0;
    SQLRETURN rc = ColAttribute(s, column, field, &value, isText, &n);
    if (!SQL_SUCCEEDED(rc)) return rc;
    if (isText) return PutOut(s, rc, value, text, bufferLength, textLength, wide, true);
    if (number) *number = n;
    return rc;
  });
}

}  // namespace

SQLRETURN SQL_API SQLColAttribute(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field,
                                  SQLPOINTER text, SQLSMALLINT bufferLength,
                                  SQLSMALLINT* textLength, SQLLEN* number) {
  return ColAttributeShim(stmt, column, field, text, bufferLength, textLength, number, false);
}

SQLRETURN SQL_API SQLColAttributeW(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field,
                                   SQLPOINTER text, SQLSMALLINT bufferLength,
                                   SQLSMALLINT* textLength, SQLLEN* number) {
  return ColAttributeShim(stmt, column, field, text, bufferLength, textLength, number, true);
}

SQLRETURN SQL_API SQLBindCol(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType,
                             SQLPOINTER target, SQLLEN bufferLength, SQLLEN* indicator) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return BindCol(s, column, cType, target, bufferLength, indicator); });
}

SQLRETURN SQL_API SQLFetch(SQLHSTMT stmt) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return Fetch(s); });
}

SQLRETURN SQL_API SQLFetchScroll(SQLHSTMT stmt, SQLSMALLINT orientation, SQLLEN offset) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return FetchScroll(s, orientation, offset); });
}

SQLRETURN SQL_API SQLGetData(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType,
                             SQLPOINTER target, SQLLEN bufferLength, SQLLEN* indicator) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return GetData(s, column, cType, target, bufferLength, indicator); });
}

SQLRETURN SQL_API SQLRowCount(SQLHSTMT stmt, SQLLEN* count) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return RowCount(s, count); });
}

SQLRETURN SQL_API SQLMoreResults(SQLHSTMT stmt) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return MoreResults(s); });
}

SQLRETURN SQL_API SQLCloseCursor(SQLHSTMT stmt) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return CloseCursor(s, true); });
}

SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT stmt, SQLUSMALLINT option) {
  if (option == SQL_DROP) return SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return Call<Stmt>(stmt, [&](Stmt* s) { return FreeStmt(s, option); });
}

SQLRETURN SQL_API SQLCancel(SQLHSTMT stmt) {
  // From any thread, while another runs the statement: no lock is taken.
  if (!stmt) return SQL_INVALID_HANDLE;
  try {
    return Cancel(static_cast<Stmt*>(stmt));
  } catch (...) {
    return SQL_ERROR;
  }
}

SQLRETURN SQL_API SQLNumParams(SQLHSTMT stmt, SQLSMALLINT* count) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return NumParams(s, count); });
}

SQLRETURN SQL_API SQLDescribeParam(SQLHSTMT stmt, SQLUSMALLINT param, SQLSMALLINT* type,
                                   SQLULEN* size, SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return DescribeParam(s, param, type, size, digits, nullable); });
}

SQLRETURN SQL_API SQLBindParameter(SQLHSTMT stmt, SQLUSMALLINT param, SQLSMALLINT ioType,
                                   SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN size,
                                   SQLSMALLINT digits, SQLPOINTER value, SQLLEN bufferLength,
                                   SQLLEN* indicator) {
  return Call<Stmt>(stmt, [&](Stmt* s) {
    return BindParameter(s, param, ioType, cType, sqlType, size, digits, value, bufferLength, indicator);
  });
}

}  // extern "C"

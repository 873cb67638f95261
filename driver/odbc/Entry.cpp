// The exported ODBC functions: thin ANSI and wide shims over the UTF-8 core. ANSI strings are
// taken as UTF-8 whatever the locale, wide ones as UTF-16. No exception leaves the driver.
#include <cstring>

#include "odbc/Handles.h"

using namespace tabrix::odbc;

namespace {

std::string FromAnsi(const SQLCHAR* text, SQLLEN length) {
  if (!text) return {};
  if (length == SQL_NTS) return std::string(reinterpret_cast<const char*>(text));
  if (length < 0) return {};
  return std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
}

Arg ArgAnsi(const SQLCHAR* text, SQLSMALLINT length) {
  if (!text) return std::nullopt;
  return FromAnsi(text, length);
}

Arg ArgWide(const SQLWCHAR* text, SQLSMALLINT length) {
  if (!text) return std::nullopt;
  return FromWide(text, length);
}

// Runs `body` as one call on `handle`: diagnostics cleared first, the connection locked, the
// outcome kept for SQL_DIAG_RETURNCODE, and any exception turned into a diagnostic.
template <typename H, bool kDuringData = false, typename F>
SQLRETURN Call(SQLHANDLE raw, F&& body) {
  if (!raw) return SQL_INVALID_HANDLE;
  H* handle = static_cast<H*>(raw);
  SQLRETURN rc;
  try {
    if constexpr (std::is_same_v<H, Env>) {
      std::lock_guard<std::mutex> lock(handle->mutex);
      handle->diags.clear();
      rc = body(handle);
    } else {
      Dbc* dbc;
      if constexpr (std::is_same_v<H, Dbc>) {
        dbc = handle;
      } else {
        dbc = handle->dbc;
      }
      std::lock_guard<std::recursive_mutex> lock(dbc->mutex);
      handle->diags.clear();
      if constexpr (std::is_same_v<H, Stmt> && !kDuringData) {
        if (handle->data != Stmt::Data::None) {
          handle->lastReturn = handle->Error(
              "HY010",
              "[Tabrix] the statement is waiting for the data of its parameters: send "
              "it with SQLParamData and SQLPutData, or end it with SQLCancel");
          return SQL_ERROR;
        }
      }
      rc = body(handle);
    }
  } catch (const std::bad_alloc&) {
    handle->diags.push_back({"HY001", "[Tabrix] out of memory"});
    rc = SQL_ERROR;
  } catch (const std::exception& e) {
    handle->diags.push_back({"HY000", std::string("[Tabrix] ") + e.what()});
    rc = SQL_ERROR;
  }
  handle->lastReturn = rc;
  return rc;
}

// A string result into a caller's buffer, with 01004 when it was cut.
template <typename Length>
SQLRETURN PutOut(Handle* handle, SQLRETURN rc, const std::string& text, SQLPOINTER buffer,
                 SQLLEN bufferLength, Length* length, bool wide, bool lengthInBytes) {
  SQLLEN full = 0;
  bool cut = PutString(text, buffer, bufferLength, &full, wide, lengthInBytes);
  if (length) *length = static_cast<Length>(full);
  if (cut) {
    handle->Warn("01004", "[Tabrix] the text was cut to the buffer");
    if (rc == SQL_SUCCESS) rc = SQL_SUCCESS_WITH_INFO;
  }
  return rc;
}

bool Connected(Stmt* stmt) { return stmt->dbc->database != nullptr; }

}  // namespace

extern "C" {

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  try {
    return AllocHandle(type, input, output);
  } catch (...) {
    return SQL_ERROR;
  }
}

SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
  try {
    return FreeHandle(type, handle);
  } catch (...) {
    return SQL_ERROR;
  }
}

SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV env, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER) {
  return Call<Env>(env, [&](Env* e) -> SQLRETURN {
    const auto number = static_cast<SQLINTEGER>(reinterpret_cast<intptr_t>(value));
    switch (attribute) {
      case SQL_ATTR_ODBC_VERSION:
        if (number != SQL_OV_ODBC2 && number != SQL_OV_ODBC3 && number != SQL_OV_ODBC3_80) {
          return e->Error("HY024", "[Tabrix] the ODBC version must be 2, 3 or 3.80");
        }
        e->odbcVersion = number;
        return SQL_SUCCESS;
      case SQL_ATTR_OUTPUT_NTS:
        if (number != SQL_TRUE) return e->Error("HYC00", "[Tabrix] strings are always NUL-terminated");
        return SQL_SUCCESS;
      case SQL_ATTR_CONNECTION_POOLING:
      case SQL_ATTR_CP_MATCH:
        return SQL_SUCCESS;
      default:
        return e->Error("HY092", "[Tabrix] the environment attribute " + std::to_string(attribute) +
                                     " is not one this driver knows");
    }
  });
}

SQLRETURN SQL_API SQLGetEnvAttr(SQLHENV env, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER,
                                SQLINTEGER* length) {
  return Call<Env>(env, [&](Env* e) -> SQLRETURN {
    SQLINTEGER v;
    switch (attribute) {
      case SQL_ATTR_ODBC_VERSION: v = e->odbcVersion; break;
      case SQL_ATTR_OUTPUT_NTS: v = SQL_TRUE; break;
      case SQL_ATTR_CONNECTION_POOLING: v = SQL_CP_OFF; break;
      case SQL_ATTR_CP_MATCH: v = SQL_CP_STRICT_MATCH; break;
      default:
        return e->Error("HY092", "[Tabrix] the environment attribute " + std::to_string(attribute) +
                                     " is not one this driver knows");
    }
    if (value) std::memcpy(value, &v, sizeof v);
    if (length) *length = sizeof v;
    return SQL_SUCCESS;
  });
}

SQLRETURN SQL_API SQLConnect(SQLHDBC dbc, SQLCHAR* dsn, SQLSMALLINT dsnLength, SQLCHAR*, SQLSMALLINT,
                             SQLCHAR*, SQLSMALLINT) {
  return Call<Dbc>(dbc, [&](Dbc* d) { return Connect(d, FromAnsi(dsn, dsnLength)); });
}

SQLRETURN SQL_API SQLConnectW(SQLHDBC dbc, SQLWCHAR* dsn, SQLSMALLINT dsnLength, SQLWCHAR*,
                              SQLSMALLINT, SQLWCHAR*, SQLSMALLINT) {
  return Call<Dbc>(dbc, [&](Dbc* d) { return Connect(d, FromWide(dsn, dsnLength)); });
}

SQLRETURN SQL_API SQLDriverConnect(SQLHDBC dbc, SQLHWND, SQLCHAR* in, SQLSMALLINT inLength,
                                   SQLCHAR* out, SQLSMALLINT outLength, SQLSMALLINT* outFull,
                                   SQLUSMALLINT completion) {
  return Call<Dbc>(dbc, [&](Dbc* d) -> SQLRETURN {
    (void)completion;  // no prompt is ever shown: the string must say everything
    std::string completed;
    SQLRETURN rc = DriverConnect(d, FromAnsi(in, inLength), completed);
    if (!SQL_SUCCEEDED(rc)) return rc;
    return PutOut(d, rc, completed, out, outLength, outFull, false, false);
  });
}

SQLRETURN SQL_API SQLDriverConnectW(SQLHDBC dbc, SQLHWND, SQLWCHAR* in, SQLSMALLINT inLength,
                                    SQLWCHAR* out, SQLSMALLINT outLength, SQLSMALLINT* outFull,
                                    SQLUSMALLINT) {
  return Call<Dbc>(dbc, [&](Dbc* d) -> SQLRETURN {
    std::string completed;
    SQLRETURN rc = DriverConnect(d, FromWide(in, inLength), completed);
    if (!SQL_SUCCEEDED(rc)) return rc;
    return PutOut(d, rc, completed, out, outLength, outFull, true, false);
  });
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC dbc) {
  return Call<Dbc>(dbc, [&](Dbc* d) { return Disconnect(d); });
}

SQLRETURN SQL_API SQLGetInfo(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value,
                             SQLSMALLINT bufferLength, SQLSMALLINT* length) {
  return Call<Dbc>(dbc, [&](Dbc* d) { return GetInfo(d, type, value, bufferLength, length, false); });
}

SQLRETURN SQL_API SQLGetInfoW(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value,
                              SQLSMALLINT bufferLength, SQLSMALLINT* length) {
  return Call<Dbc>(dbc, [&](Dbc* d) { return GetInfo(d, type, value, bufferLength, length, true); });
}

SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                                    SQLINTEGER length) {
  return Call<Dbc>(dbc, [&](Dbc* d) { return SetConnectAttr(d, attribute, value, length); });
}

SQLRETURN SQL_API SQLSetConnectAttrW(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                                     SQLINTEGER length) {
  return Call<Dbc>(dbc, [&](Dbc* d) { return SetConnectAttr(d, attribute, value, length); });
}

SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                                    SQLINTEGER bufferLength, SQLINTEGER* length) {
  return Call<Dbc>(dbc, [&](Dbc* d) {
    return GetConnectAttr(d, attribute, value, bufferLength, length, false);
  });
}

SQLRETURN SQL_API SQLGetConnectAttrW(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                                     SQLINTEGER bufferLength, SQLINTEGER* length) {
  return Call<Dbc>(dbc, [&](Dbc* d) {
    return GetConnectAttr(d, attribute, value, bufferLength, length, true);
  });
}

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

SQLRETURN SQL_API SQLNativeSql(SQLHDBC dbc, SQLCHAR* in, SQLINTEGER inLength, SQLCHAR* out,
                               SQLINTEGER outLength, SQLINTEGER* outFull) {
  return Call<Dbc>(dbc, [&](Dbc* d) -> SQLRETURN {
    std::string translated;
    SQLRETURN rc = NativeSql(d, FromAnsi(in, inLength), translated);
    if (!SQL_SUCCEEDED(rc)) return rc;
    return PutOut(d, rc, translated, out, outLength, outFull, false, false);
  });
}

SQLRETURN SQL_API SQLNativeSqlW(SQLHDBC dbc, SQLWCHAR* in, SQLINTEGER inLength, SQLWCHAR* out,
                                SQLINTEGER outLength, SQLINTEGER* outFull) {
  return Call<Dbc>(dbc, [&](Dbc* d) -> SQLRETURN {
    std::string translated;
    SQLRETURN rc = NativeSql(d, FromWide(in, inLength), translated);
    if (!SQL_SUCCEEDED(rc)) return rc;
    return PutOut(d, rc, translated, out, outLength, outFull, true, false);
  });
}

SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT stmt, SQLSMALLINT* count) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return NumResultCols(s, count); });
}

SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT stmt, SQLUSMALLINT column, SQLCHAR* name,
                                 SQLSMALLINT bufferLength, SQLSMALLINT* nameLength,
                                 SQLSMALLINT* type, SQLULEN* size, SQLSMALLINT* digits,
                                 SQLSMALLINT* nullable) {
  return Call<Stmt>(stmt, [&](Stmt* s) -> SQLRETURN {
    std::string text;
    SQLRETURN rc = DescribeCol(s, column, text, type, size, digits, nullable);
    if (!SQL_SUCCEEDED(rc)) return rc;
    return PutOut(s, rc, text, name, bufferLength, nameLength, false, false);
  });
}

SQLRETURN SQL_API SQLDescribeColW(SQLHSTMT stmt, SQLUSMALLINT column, SQLWCHAR* name,
                                  SQLSMALLINT bufferLength, SQLSMALLINT* nameLength,
                                  SQLSMALLINT* type, SQLULEN* size, SQLSMALLINT* digits,
                                  SQLSMALLINT* nullable) {
  return Call<Stmt>(stmt, [&](Stmt* s) -> SQLRETURN {
    std::string text;
    SQLRETURN rc = DescribeCol(s, column, text, type, size, digits, nullable);
    if (!SQL_SUCCEEDED(rc)) return rc;
    return PutOut(s, rc, text, name, bufferLength, nameLength, true, false);
  });
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

SQLRETURN SQL_API SQLEndTran(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion) {
  if (!handle) return SQL_INVALID_HANDLE;
  if (type == SQL_HANDLE_ENV) {
    return Call<Env>(handle, [&](Env*) { return EndTran(type, handle, completion); });
  }
  if (type == SQL_HANDLE_DBC) {
    return Call<Dbc>(handle, [&](Dbc*) { return EndTran(type, handle, completion); });
  }
  return SQL_ERROR;
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

SQLRETURN SQL_API SQLGetTypeInfo(SQLHSTMT stmt, SQLSMALLINT type) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return GetTypeInfo(s, type); });
}

SQLRETURN SQL_API SQLGetTypeInfoW(SQLHSTMT stmt, SQLSMALLINT type) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return GetTypeInfo(s, type); });
}

SQLRETURN SQL_API SQLTables(SQLHSTMT stmt, SQLCHAR* c, SQLSMALLINT cl, SQLCHAR* s, SQLSMALLINT sl,
                            SQLCHAR* t, SQLSMALLINT tl, SQLCHAR* y, SQLSMALLINT yl) {
  return Call<Stmt>(stmt, [&](Stmt* st) {
    if (!Connected(st)) return st->Error("08003", "[Tabrix] the connection is not open");
    return Tables(st, ArgAnsi(c, cl), ArgAnsi(s, sl), ArgAnsi(t, tl), ArgAnsi(y, yl));
  });
}

SQLRETURN SQL_API SQLTablesW(SQLHSTMT stmt, SQLWCHAR* c, SQLSMALLINT cl, SQLWCHAR* s, SQLSMALLINT sl,
                             SQLWCHAR* t, SQLSMALLINT tl, SQLWCHAR* y, SQLSMALLINT yl) {
  return Call<Stmt>(stmt, [&](Stmt* st) {
    if (!Connected(st)) return st->Error("08003", "[Tabrix] the connection is not open");
    return Tables(st, ArgWide(c, cl), ArgWide(s, sl), ArgWide(t, tl), ArgWide(y, yl));
  });
}

SQLRETURN SQL_API SQLColumns(SQLHSTMT stmt, SQLCHAR* c, SQLSMALLINT cl, SQLCHAR* s, SQLSMALLINT sl,
                             SQLCHAR* t, SQLSMALLINT tl, SQLCHAR* n, SQLSMALLINT nl) {
  return Call<Stmt>(stmt, [&](Stmt* st) {
    if (!Connected(st)) return st->Error("08003", "[Tabrix] the connection is not open");
    return Columns(st, ArgAnsi(c, cl), ArgAnsi(s, sl), ArgAnsi(t, tl), ArgAnsi(n, nl));
  });
}

SQLRETURN SQL_API SQLColumnsW(SQLHSTMT stmt, SQLWCHAR* c, SQLSMALLINT cl, SQLWCHAR* s, SQLSMALLINT sl,
                              SQLWCHAR* t, SQLSMALLINT tl, SQLWCHAR* n, SQLSMALLINT nl) {
  return Call<Stmt>(stmt, [&](Stmt* st) {
    if (!Connected(st)) return st->Error("08003", "[Tabrix] the connection is not open");
    return Columns(st, ArgWide(c, cl), ArgWide(s, sl), ArgWide(t, tl), ArgWide(n, nl));
  });
}

SQLRETURN SQL_API SQLStatistics(SQLHSTMT stmt, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT,
                                SQLCHAR*, SQLSMALLINT, SQLUSMALLINT, SQLUSMALLINT) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return Statistics(s); });
}

SQLRETURN SQL_API SQLStatisticsW(SQLHSTMT stmt, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT,
                                 SQLWCHAR*, SQLSMALLINT, SQLUSMALLINT, SQLUSMALLINT) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return Statistics(s); });
}

SQLRETURN SQL_API SQLPrimaryKeys(SQLHSTMT stmt, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT,
                                 SQLCHAR*, SQLSMALLINT) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return PrimaryKeys(s); });
}

SQLRETURN SQL_API SQLPrimaryKeysW(SQLHSTMT stmt, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT,
                                  SQLWCHAR*, SQLSMALLINT) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return PrimaryKeys(s); });
}

SQLRETURN SQL_API SQLForeignKeys(SQLHSTMT stmt, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT,
                                 SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*,
                                 SQLSMALLINT, SQLCHAR*, SQLSMALLINT) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return ForeignKeys(s); });
}

SQLRETURN SQL_API SQLForeignKeysW(SQLHSTMT stmt, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT,
                                  SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*,
                                  SQLSMALLINT, SQLWCHAR*, SQLSMALLINT) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return ForeignKeys(s); });
}

SQLRETURN SQL_API SQLSpecialColumns(SQLHSTMT stmt, SQLUSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*,
                                    SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLUSMALLINT, SQLUSMALLINT) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return SpecialColumns(s); });
}

SQLRETURN SQL_API SQLSpecialColumnsW(SQLHSTMT stmt, SQLUSMALLINT, SQLWCHAR*, SQLSMALLINT,
                                     SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT, SQLUSMALLINT,
                                     SQLUSMALLINT) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return SpecialColumns(s); });
}

SQLRETURN SQL_API SQLProcedures(SQLHSTMT stmt, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT,
                                SQLCHAR*, SQLSMALLINT) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return Procedures(s); });
}

SQLRETURN SQL_API SQLProceduresW(SQLHSTMT stmt, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT,
                                 SQLWCHAR*, SQLSMALLINT) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return Procedures(s); });
}

SQLRETURN SQL_API SQLProcedureColumns(SQLHSTMT stmt, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT,
                                      SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return ProcedureColumns(s); });
}

SQLRETURN SQL_API SQLProcedureColumnsW(SQLHSTMT stmt, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*,
                                       SQLSMALLINT, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*,
                                       SQLSMALLINT) {
  return Call<Stmt>(stmt, [&](Stmt* s) { return ProcedureColumns(s); });
}

SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                                SQLCHAR* state, SQLINTEGER* native, SQLCHAR* message,
                                SQLSMALLINT bufferLength, SQLSMALLINT* messageLength) {
  try {
    std::string s, m;
    SQLRETURN rc = GetDiagRec(type, handle, record, s, native, m);
    if (rc != SQL_SUCCESS) return rc;
    if (state) PutString(s, state, 6, nullptr, false, false);
    SQLLEN full = 0;
    bool cut = PutString(m, message, bufferLength, &full, false, false);
    if (messageLength) *messageLength = static_cast<SQLSMALLINT>(full);
    return cut ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
  } catch (...) {
    return SQL_ERROR;
  }
}

SQLRETURN SQL_API SQLGetDiagRecW(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                                 SQLWCHAR* state, SQLINTEGER* native, SQLWCHAR* message,
                                 SQLSMALLINT bufferLength, SQLSMALLINT* messageLength) {
  try {
    std::string s, m;
    SQLRETURN rc = GetDiagRec(type, handle, record, s, native, m);
    if (rc != SQL_SUCCESS) return rc;
    if (state) PutString(s, state, 6, nullptr, true, false);
    SQLLEN full = 0;
    bool cut = PutString(m, message, bufferLength, &full, true, false);
    if (messageLength) *messageLength = static_cast<SQLSMALLINT>(full);
    return cut ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
  } catch (...) {
    return SQL_ERROR;
  }
}

namespace {

SQLRETURN DiagFieldShim(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLSMALLINT field,
                        SQLPOINTER value, SQLSMALLINT bufferLength, SQLSMALLINT* length, bool wide) {
  try {
    std::string text;
    bool isText = false;
    SQLRETURN rc = GetDiagField(type, handle, record, field, value, &text, isText);
    if (rc != SQL_SUCCESS || !isText) return rc;
    SQLLEN full = 0;
    bool cut = PutString(text, value, bufferLength, &full, wide, true);
    if (length) *length = static_cast<SQLSMALLINT>(full);
    return cut ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
  } catch (...) {
    return SQL_ERROR;
  }
}

}  // namespace

SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                                  SQLSMALLINT field, SQLPOINTER value, SQLSMALLINT bufferLength,
                                  SQLSMALLINT* length) {
  return DiagFieldShim(type, handle, record, field, value, bufferLength, length, false);
}

SQLRETURN SQL_API SQLGetDiagFieldW(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                                   SQLSMALLINT field, SQLPOINTER value, SQLSMALLINT bufferLength,
                                   SQLSMALLINT* length) {
  return DiagFieldShim(type, handle, record, field, value, bufferLength, length, true);
}

}  // extern "C"

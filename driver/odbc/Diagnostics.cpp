// A handle's diagnostics: the records of its last call, and the header ODBC keeps with them.
#include <cstring>
#include <utility>

#include "odbc/Handles.h"

namespace tabrix::odbc {

namespace {

Handle* DiagHandle(SQLSMALLINT type, SQLHANDLE handle) {
  if (!handle) return nullptr;
  switch (type) {
    case SQL_HANDLE_ENV: case SQL_HANDLE_DBC: case SQL_HANDLE_STMT: return static_cast<Handle*>(handle);
    default: return nullptr;
  }
}

}  // namespace

SQLRETURN GetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, std::string& state,
                     SQLINTEGER* native, std::string& message) {
  Handle* h = DiagHandle(type, handle);
  if (!h) return SQL_INVALID_HANDLE;
  if (record < 1) return SQL_ERROR;
  if (static_cast<size_t>(record) > h->diags.size()) return SQL_NO_DATA;
  const DiagRecord& r = h->diags[static_cast<size_t>(record - 1)];
  state = r.state;
  message = r.message;
  if (native) *native = r.native;
  return SQL_SUCCESS;
}

namespace {

template <typename T>
SQLRETURN PutNumber(T v, SQLPOINTER value) {
  if (value) std::memcpy(value, &v, sizeof v);
  return SQL_SUCCESS;
}

SQLRETURN PutText(std::string value, std::string* text, bool& isText) {
  isText = true;
  *text = std::move(value);
  return SQL_SUCCESS;
}

// The standard that defines `state`: the states ODBC itself defines, told apart from ISO's as
// ODBC's reference tells them.
const char* Origin(const std::string& state, SQLSMALLINT field) {
  const bool odbc = state.rfind("IM", 0) == 0 || state.rfind("HY", 0) == 0 ||
                    (field == SQL_DIAG_SUBCLASS_ORIGIN &&
                     (state == "01S00" || state == "01S01" || state == "01S02" ||
                      state == "01S07" || state == "07S01" || state == "08S01" ||
                      state == "21S01" || state == "42S02" || state == "42S22" ||
                      state == "HYC00"));
  return odbc ? "ODBC 3.0" : "ISO 9075";
}

// The header's fields: false when `field` is none of them, and `rc` unset.
bool HeaderField(SQLSMALLINT type, Handle* h, SQLSMALLINT field, SQLPOINTER value,
                 std::string* text, bool& isText, SQLRETURN& rc) {
  switch (field) {
    case SQL_DIAG_NUMBER: rc = PutNumber(static_cast<SQLINTEGER>(h->diags.size()), value); return true;
    case SQL_DIAG_RETURNCODE: rc = PutNumber(h->lastReturn, value); return true;
    case SQL_DIAG_ROW_COUNT:
    case SQL_DIAG_CURSOR_ROW_COUNT:
      rc = type != SQL_HANDLE_STMT ? SQL_ERROR : PutNumber<SQLLEN>(static_cast<Stmt*>(h)->rowCount, value);
      return true;
    case SQL_DIAG_DYNAMIC_FUNCTION:
      rc = type != SQL_HANDLE_STMT ? SQL_ERROR : PutText("SELECT CURSOR", text, isText);
      return true;
    case SQL_DIAG_DYNAMIC_FUNCTION_CODE: rc = PutNumber<SQLINTEGER>(SQL_DIAG_SELECT_CURSOR, value); return true;
    default:
      return false;
  }
}

SQLRETURN RecordField(const DiagRecord& r, SQLSMALLINT field, SQLPOINTER value, std::string* text,
                      bool& isText) {
  switch (field) {
    case SQL_DIAG_SQLSTATE: return PutText(r.state, text, isText);
    case SQL_DIAG_MESSAGE_TEXT: return PutText(r.message, text, isText);
    case SQL_DIAG_CLASS_ORIGIN:
    case SQL_DIAG_SUBCLASS_ORIGIN: return PutText(Origin(r.state, field), text, isText);
    case SQL_DIAG_CONNECTION_NAME:
    case SQL_DIAG_SERVER_NAME: return PutText("", text, isText);
    case SQL_DIAG_NATIVE: return PutNumber(r.native, value);
    case SQL_DIAG_ROW_NUMBER: return PutNumber<SQLLEN>(r.row, value);
    case SQL_DIAG_COLUMN_NUMBER: return PutNumber<SQLINTEGER>(r.column, value);
    default: return SQL_ERROR;
  }
}

}  // namespace

SQLRETURN GetDiagField(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLSMALLINT field,
                       SQLPOINTER value, std::string* text, bool& isText) {
  Handle* h = DiagHandle(type, handle);
  if (!h) return SQL_INVALID_HANDLE;
  isText = false;
  SQLRETURN rc;
  if (HeaderField(type, h, field, value, text, isText, rc)) return rc;
  if (record < 1) return SQL_ERROR;
  if (static_cast<size_t>(record) > h->diags.size()) return SQL_NO_DATA;
  return RecordField(h->diags[static_cast<size_t>(record - 1)], field, value, text, isText);
}

}  // namespace tabrix::odbc

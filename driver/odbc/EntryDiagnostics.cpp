// The exported ODBC functions that read a handle's diagnostics. They clear nothing: they run
// outside the frame of a call.
#include "odbc/EntryShims.h"

using namespace tabrix::odbc;
using namespace tabrix::odbc::entry;

extern "C" {

namespace {

SQLRETURN DiagRecShim(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLPOINTER state,
                      SQLINTEGER* native, SQLPOINTER message, SQLSMALLINT bufferLength,
                      SQLSMALLINT* messageLength, bool wide) {
  try {
    std::string s, m;
    SQLRETURN rc = GetDiagRec(type, handle, record, s, native, m);
    if (rc != SQL_SUCCESS) return rc;
    if (state) PutString(s, state, 6, nullptr, wide, false);
    SQLLEN full = 0;
    bool cut = PutString(m, message, bufferLength, &full, wide, false);
    if (messageLength) *messageLength = static_cast<SQLSMALLINT>(full);
    return cut ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
  } catch (...) {
    return SQL_ERROR;
  }
}

}  // namespace

SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                                SQLCHAR* state, SQLINTEGER* native, SQLCHAR* message,
                                SQLSMALLINT bufferLength, SQLSMALLINT* messageLength) {
  return DiagRecShim(type, handle, record, state, native, message, bufferLength, messageLength,
                     false);
}

SQLRETURN SQL_API SQLGetDiagRecW(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                                 SQLWCHAR* state, SQLINTEGER* native, SQLWCHAR* message,
                                 SQLSMALLINT bufferLength, SQLSMALLINT* messageLength) {
  return DiagRecShim(type, handle, record, state, native, message, bufferLength, messageLength,
                     true);
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

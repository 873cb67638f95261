// What every exported ODBC function shares: the string arguments taken in, one call's frame on
// its handle, and string results put out. Only the entry points include this.
#pragma once

#include <cstring>
#include <type_traits>

#include "odbc/Handles.h"

namespace tabrix::odbc::entry {

inline std::string FromAnsi(const SQLCHAR* text, SQLLEN length) {
  if (!text) return {};
  if (length == SQL_NTS) return std::string(reinterpret_cast<const char*>(text));
  if (length < 0) return {};
  return std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
}

inline Arg ArgAnsi(const SQLCHAR* text, SQLSMALLINT length) {
  if (!text) return std::nullopt;
  return FromAnsi(text, length);
}

inline Arg ArgWide(const SQLWCHAR* text, SQLSMALLINT length) {
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

inline bool Connected(Stmt* stmt) { return stmt->dbc->database != nullptr; }

}  // namespace tabrix::odbc::entry

// A connection's attributes, and the calls on a connection that need no database work.
#include <cstring>

#include "odbc/Handles.h"

namespace tabrix::odbc {

SQLRETURN SetConnectAttr(Dbc* dbc, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER) {
  const auto number = static_cast<SQLUINTEGER>(reinterpret_cast<uintptr_t>(value));
  switch (attribute) {
    case SQL_ATTR_AUTOCOMMIT:
      // Off is accepted: nothing is ever written, so there is nothing to commit.
      dbc->autocommit = number != SQL_AUTOCOMMIT_OFF;
      return SQL_SUCCESS;
    case SQL_ATTR_LOGIN_TIMEOUT: dbc->loginTimeout = number; return SQL_SUCCESS;
    case SQL_ATTR_CONNECTION_TIMEOUT: dbc->connectionTimeout = number; return SQL_SUCCESS;
    case SQL_ATTR_PACKET_SIZE: dbc->packetSize = number; return SQL_SUCCESS;
    case SQL_ATTR_TXN_ISOLATION: dbc->txnIsolation = number; return SQL_SUCCESS;
    case SQL_ATTR_METADATA_ID: dbc->metadataId = number; return SQL_SUCCESS;
    case SQL_ATTR_ACCESS_MODE:
      if (number == SQL_MODE_READ_WRITE) {
        dbc->Warn("01S02", "[Tabrix] the workbook is opened read-only whatever is asked");
        return SQL_SUCCESS_WITH_INFO;
      }
      return SQL_SUCCESS;
    case SQL_ATTR_CURRENT_CATALOG:
      return SQL_SUCCESS;
    case SQL_ATTR_QUIET_MODE:
    case SQL_ATTR_TRACE:
    case SQL_ATTR_TRACEFILE:
    case SQL_ATTR_TRANSLATE_LIB:
    case SQL_ATTR_TRANSLATE_OPTION:
    case SQL_ATTR_ODBC_CURSORS:
    case SQL_ATTR_ANSI_APP:
    case SQL_ATTR_ASYNC_ENABLE:
    case SQL_ATTR_CONNECTION_DEAD:
    case SQL_ATTR_AUTO_IPD:
      return SQL_SUCCESS;
    default:
      return dbc->Error("HY092", "[Tabrix] the connection attribute " + std::to_string(attribute) +
                                     " is not one this driver knows");
  }
}

SQLRETURN GetConnectAttr(Dbc* dbc, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER bufferLength,
                         SQLINTEGER* length, bool wide) {
  auto put = [&](SQLUINTEGER v) {
    if (value) std::memcpy(value, &v, sizeof v);
    if (length) *length = sizeof v;
    return SQL_SUCCESS;
  };
  switch (attribute) {
    case SQL_ATTR_AUTOCOMMIT: return put(dbc->autocommit ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF);
    case SQL_ATTR_LOGIN_TIMEOUT: return put(dbc->loginTimeout);
    case SQL_ATTR_CONNECTION_TIMEOUT: return put(dbc->connectionTimeout);
    case SQL_ATTR_PACKET_SIZE: return put(dbc->packetSize);
    case SQL_ATTR_TXN_ISOLATION: return put(dbc->txnIsolation);
    case SQL_ATTR_METADATA_ID: return put(dbc->metadataId);
    case SQL_ATTR_ACCESS_MODE: return put(SQL_MODE_READ_ONLY);
    case SQL_ATTR_ASYNC_ENABLE: return put(SQL_ASYNC_ENABLE_OFF);
    case SQL_ATTR_AUTO_IPD: return put(SQL_FALSE);
    case SQL_ATTR_CONNECTION_DEAD: return put(dbc->database ? SQL_CD_FALSE : SQL_CD_TRUE);
    case SQL_ATTR_CURRENT_CATALOG: {
      SQLLEN full = 0;
      bool cut = PutString(dbc->database ? dbc->database->Path() : "", value, bufferLength, &full,
                           wide, true);
      if (length) *length = static_cast<SQLINTEGER>(full);
      if (cut) {
        dbc->Warn("01004", "[Tabrix] the catalogue's name was cut to the buffer");
        return SQL_SUCCESS_WITH_INFO;
      }
      return SQL_SUCCESS;
    }
    default:
      return dbc->Error("HY092", "[Tabrix] the connection attribute " + std::to_string(attribute) +
                                     " is not one this driver knows");
  }
}

SQLRETURN NativeSql(Dbc* dbc, const std::string& in, std::string& out) {
  try {
    out = sql::Database::Translate(in);
    return SQL_SUCCESS;
  } catch (const sql::EngineError& e) {
    return dbc->Error(e.State(), e.what());
  }
}

SQLRETURN EndTran(SQLSMALLINT handleType, SQLHANDLE handle, SQLSMALLINT completion) {
  if (completion != SQL_COMMIT && completion != SQL_ROLLBACK) {
    auto* h = static_cast<Handle*>(handle);
    return h->Error("HY012", "[Tabrix] the transaction's completion must be SQL_COMMIT or SQL_ROLLBACK");
  }
  (void)handleType;
  return SQL_SUCCESS;  // nothing is ever written: nothing to commit or roll back
}

}  // namespace tabrix::odbc

// The exported ODBC functions of handles, environments and connections: thin ANSI and wide
// shims over the UTF-8 core. ANSI strings are taken as UTF-8 whatever the locale, wide ones as
// UTF-16. No exception leaves the driver.
#include "odbc/EntryShims.h"

using namespace tabrix::odbc;
using namespace tabrix::odbc::entry;

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

}  // extern "C"

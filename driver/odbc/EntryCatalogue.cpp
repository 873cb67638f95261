// The exported ODBC functions of the catalogue: the result sets that describe the database.
#include "odbc/EntryShims.h"

using namespace tabrix::odbc;
using namespace tabrix::odbc::entry;

extern "C" {

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

}  // extern "C"

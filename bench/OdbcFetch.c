/* One client's view of a driver's speed: connects through unixODBC's driver manager with a
 * connection string, runs one statement, and fetches every value as text with SQLGetData,
 * as isql and most clients do. Prints one line of figures:
 *   connect_s first_row_s last_value_s rows values text_bytes peak_rss_kib
 * With --again, a second connection in the same process runs the statement once more and its
 * figures are printed on a second line (the driver may keep what it read).
 *   tabrix_odbc_fetch [--again] CONNECTION-STRING SQL */
#include <sql.h>
#include <sqlext.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <time.h>

static double Now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static void Diagnose(SQLSMALLINT type, SQLHANDLE handle, const char* what) {
  SQLCHAR state[6], message[1024];
  SQLINTEGER native;
  SQLSMALLINT length;
  fprintf(stderr, "tabrix_odbc_fetch: %s failed\n", what);
  for (SQLSMALLINT i = 1; SQL_SUCCEEDED(SQLGetDiagRec(type, handle, i, state, &native, message,
                                                      sizeof message, &length));
       ++i)
    fprintf(stderr, "  %s %s\n", state, message);
}

static int Run(SQLHENV env, const char* connection, const char* sql) {
  SQLHDBC dbc;
  SQLHSTMT stmt;
  const double start = Now();
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  if (!SQL_SUCCEEDED(SQLDriverConnect(dbc, NULL, (SQLCHAR*)connection, SQL_NTS, NULL, 0, NULL,
                                      SQL_DRIVER_NOPROMPT))) {
    Diagnose(SQL_HANDLE_DBC, dbc, "SQLDriverConnect");
    return 1;
  }
  const double connected = Now();
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
  if (!SQL_SUCCEEDED(SQLExecDirect(stmt, (SQLCHAR*)sql, SQL_NTS))) {
    Diagnose(SQL_HANDLE_STMT, stmt, "SQLExecDirect");
    return 1;
  }
  SQLSMALLINT columns = 0;
  SQLNumResultCols(stmt, &columns);
  long rows = 0, values = 0, bytes = 0;
  double firstRow = 0;
  char text[4096];
  SQLRETURN rc;
  while ((rc = SQLFetch(stmt)) != SQL_NO_DATA) {
    if (!SQL_SUCCEEDED(rc)) {
      Diagnose(SQL_HANDLE_STMT, stmt, "SQLFetch");
      return 1;
    }
    if (rows++ == 0) firstRow = Now();
    for (SQLUSMALLINT c = 1; c <= (SQLUSMALLINT)columns; ++c) {
      SQLLEN length = 0;
      if (!SQL_SUCCEEDED(SQLGetData(stmt, c, SQL_C_CHAR, text, sizeof text, &length))) {
        Diagnose(SQL_HANDLE_STMT, stmt, "SQLGetData");
        return 1;
      }
      ++values;
      if (length > 0) bytes += length;
    }
  }
  const double done = Now();
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  printf("%.4f %.4f %.4f %ld %ld %ld %ld\n", connected - start, (rows ? firstRow : done) - start,
         done - start, rows, values, bytes, usage.ru_maxrss);
  return 0;
}

int main(int argc, char** argv) {
  int again = argc > 1 && strcmp(argv[1], "--again") == 0;
  if (argc != 3 + again) {
    fprintf(stderr, "usage: %s [--again] CONNECTION-STRING SQL\n", argv[0]);
    return 2;
  }
  SQLHENV env;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
  int status = Run(env, argv[1 + again], argv[2 + again]);
  if (status == 0 && again) status = Run(env, argv[1 + again], argv[2 + again]);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return status;
}

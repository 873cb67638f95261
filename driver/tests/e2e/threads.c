/* A threaded C client: two threads connect to an .xls workbook again and again through
   unixODBC's driver manager and read its sheet, while two others keep converting text with
   iconv and making locales, as threaded programs do. Every connection must succeed (a reader
   that waited on a lock another thread held would stall, and be told as a failure). Usage:
   threads FOLDER (the workbooks of make_workbooks.py). Exits 1 naming what failed. */
#include <iconv.h>
#include <locale.h>
#include <pthread.h>
#include <sql.h>
#include <sqlext.h>
#include <stdatomic.h>
#include <stdio.h>
#include <string.h>

static const char* folder;
static atomic_int stop;
static atomic_int failures;

static void* ChurnConversions(void* unused) {
  (void)unused;
  while (!atomic_load(&stop)) {
    iconv_t cd = iconv_open("UTF-16LE", "UTF-8");
    if (cd == (iconv_t)-1) continue;
    char in[] = "Z\xC3\xBCrich", out[32];
    char *from = in, *to = out;
    size_t left = sizeof in - 1, room = sizeof out;
    iconv(cd, &from, &left, &to, &room);
    iconv_close(cd);
  }
  return NULL;
}

static void* ChurnLocales(void* unused) {
  (void)unused;
  while (!atomic_load(&stop)) {
    locale_t l = newlocale(LC_ALL_MASK, "C.UTF-8", (locale_t)0);
    if (l) freelocale(l);
  }
  return NULL;
}

static void Fail(const char* what, SQLSMALLINT type, SQLHANDLE handle) {
  SQLCHAR state[8] = "", message[1024] = "";
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  if (handle) SQLGetDiagRec(type, handle, 1, state, &native, message, sizeof message, &length);
  fprintf(stderr, "%s: %s %s\n", what, state, message);
  atomic_fetch_add(&failures, 1);
}

static void* Connect(void* unused) {
  (void)unused;
  char in[4096];
  snprintf(in, sizeof in, "DRIVER={Microsoft Excel Driver (*.xls)};DBQ=%s/legacy.xls", folder);
  for (int i = 0; i < 25 && atomic_load(&failures) == 0; ++i) {
    SQLHENV env;
    SQLHDBC dbc;
    SQLHSTMT stmt;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    if (!SQL_SUCCEEDED(SQLDriverConnect(dbc, NULL, (SQLCHAR*)in, SQL_NTS, NULL, 0, NULL,
                                        SQL_DRIVER_NOPROMPT))) {
      Fail("connect", SQL_HANDLE_DBC, dbc);
    } else {
      SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
      if (!SQL_SUCCEEDED(SQLExecDirect(stmt, (SQLCHAR*)"SELECT SUM(Count) FROM [Legacy$]", SQL_NTS))) {
        Fail("select", SQL_HANDLE_STMT, stmt);
      } else {
        double sum = 0;
        SQLLEN indicator = 0;
        if (!SQL_SUCCEEDED(SQLFetch(stmt)) ||
            !SQL_SUCCEEDED(SQLGetData(stmt, 1, SQL_C_DOUBLE, &sum, 0, &indicator)) || sum != 6) {
          Fail("the sum of Count is not 6", SQL_HANDLE_STMT, stmt);
        }
      }
      SQLFreeHandle(SQL_HANDLE_STMT, stmt);
      SQLDisconnect(dbc);
    }
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
  return NULL;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: threads FOLDER\n");
    return 2;
  }
  folder = argv[1];
  pthread_t churn[3], connect[2];
  pthread_create(&churn[0], NULL, ChurnConversions, NULL);
  pthread_create(&churn[1], NULL, ChurnConversions, NULL);
  pthread_create(&churn[2], NULL, ChurnLocales, NULL);
  for (int i = 0; i < 2; ++i) pthread_create(&connect[i], NULL, Connect, NULL);
  for (int i = 0; i < 2; ++i) pthread_join(connect[i], NULL);
  atomic_store(&stop, 1);
  for (int i = 0; i < 3; ++i) pthread_join(churn[i], NULL);
  if (atomic_load(&failures) != 0) return 1;
  printf("threads: 50 connections read the .xls workbook while other threads converted text\n");
  return 0;
}

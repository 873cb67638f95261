/* A C client of the driver through unixODBC's driver manager: a connection string without a
   data source, row arrays bound by column and by row with their row status, SQLGetData in
   pieces, the wide calls, SQLNativeSql and the diagnostics. Usage: client FOLDER (the
   workbooks of make_workbooks.py). Exits 1 naming the first check that failed. */
#include <pthread.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static int failures = 0;

#define CHECK(cond)                                                    \
  do {                                                                 \
    if (!(cond)) {                                                     \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      ++failures;                                                      \
    }                                                                  \
  } while (0)

static void Diag(SQLSMALLINT type, SQLHANDLE handle, char* state, char* message, size_t size) {
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  state[0] = message[0] = 0;
  SQLGetDiagRec(type, handle, 1, (SQLCHAR*)state, &native, (SQLCHAR*)message, (SQLSMALLINT)size,
                &length);
}

static SQLHSTMT Run(SQLHDBC dbc, const char* sql) {
  SQLHSTMT stmt;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
  SQLRETURN rc = SQLExecDirect(stmt, (SQLCHAR*)sql, SQL_NTS);
  if (!SQL_SUCCEEDED(rc)) {
    char state[8], message[1024];
    Diag(SQL_HANDLE_STMT, stmt, state, message, sizeof message);
    fprintf(stderr, "%s: %s %s\n", sql, state, message);
    ++failures;
  }
  return stmt;
}

static void ExpectState(SQLSMALLINT type, SQLHANDLE handle, const char* want, const char* what) {
  char state[8], message[1024];
  Diag(type, handle, state, message, sizeof message);
  if (strcmp(state, want) != 0) {
    fprintf(stderr, "%s: expected %s, got %s %s\n", what, want, state, message);
    ++failures;
  }
}

/* Sends SQLCancel every 20 ms until told to stop: the statement stops on the first that comes
   while it runs. */
struct Canceller {
  SQLHSTMT stmt;
  volatile int stop;
};

static void* CancelLoop(void* arg) {
  struct Canceller* c = (struct Canceller*)arg;
  struct timespec pause = {0, 20 * 1000 * 1000};
  while (!c->stop) {
    nanosleep(&pause, NULL);
    if (!c->stop) SQLCancel(c->stmt);
  }
  return NULL;
}

static const char* kSpin =
    "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 3000000000) "
    "SELECT COUNT(*) FROM c";

static char* ReadFile(const char* path) {
  FILE* f = fopen(path, "rb");
  if (!f) return NULL;
  static char buffer[1 << 16];
  size_t n = fread(buffer, 1, sizeof buffer - 1, f);
  fclose(f);
  buffer[n] = 0;
  return buffer;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: client FOLDER\n");
    return 2;
  }
  const char* folder = argv[1];
  char path[4096], in[8192], out[8192], state[8], message[1024];
  snprintf(path, sizeof path, "%s/long.txt", folder);
  const char* longText = ReadFile(path);
  CHECK(longText != NULL);

  SQLHENV env;
  SQLHDBC dbc;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);

  /* A workbook that is not there: 08001 naming it. */
  snprintf(in, sizeof in, "DRIVER={Microsoft Excel Driver (*.xls)};DBQ=%s/missing.xlsx", folder);
  SQLSMALLINT outLength = 0;
  SQLRETURN rc = SQLDriverConnect(dbc, NULL, (SQLCHAR*)in, SQL_NTS, (SQLCHAR*)out, sizeof out,
                                  &outLength, SQL_DRIVER_NOPROMPT);
  CHECK(rc == SQL_ERROR);
  Diag(SQL_HANDLE_DBC, dbc, state, message, sizeof message);
  CHECK(strcmp(state, "08001") == 0);
  CHECK(strstr(message, "[Tabrix] cannot open the workbook '") != NULL);
  CHECK(strstr(message, "missing.xlsx': no such file") != NULL);

  /* No data source: the driver by its description, the workbook by DBQ. */
  snprintf(in, sizeof in, "DRIVER={Microsoft Excel Driver (*.xls)};DBQ=sales.xlsx;DefaultDir=%s", folder);
  rc = SQLDriverConnect(dbc, NULL, (SQLCHAR*)in, SQL_NTS, (SQLCHAR*)out, sizeof out, &outLength,
                        SQL_DRIVER_NOPROMPT);
  CHECK(SQL_SUCCEEDED(rc));
  CHECK(strstr(out, "DBQ=sales.xlsx") != NULL);
  SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0);

  /* Column-wise binding, four rows at a time: 4, 4, 2, then no data. */
  {
    SQLHSTMT stmt;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    SQLINTEGER n[4];
    SQLLEN nInd[4];
    char half[4][8];
    SQLLEN halfInd[4];
    SQLUSMALLINT status[4];
    SQLULEN fetched = 0;
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)4, 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status, 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    CHECK(SQL_SUCCEEDED(SQLExecDirect(stmt, (SQLCHAR*)"SELECT N, Half FROM [Numbers$] ORDER BY N", SQL_NTS)));
    SQLBindCol(stmt, 1, SQL_C_SLONG, n, 0, nInd);
    SQLBindCol(stmt, 2, SQL_C_CHAR, half, sizeof half[0], halfInd);
    int total = 0;
    SQLULEN seen[3] = {0, 0, 0};
    for (int batch = 0; (rc = SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) != SQL_NO_DATA && batch < 3; ++batch) {
      CHECK(rc == SQL_SUCCESS);
      seen[batch] = fetched;
      for (SQLULEN r = 0; r < fetched; ++r) {
        ++total;
        CHECK(n[r] == total);
        CHECK(status[r] == SQL_ROW_SUCCESS);
      }
      if (batch == 2) {
        CHECK(strcmp(half[1], "5") == 0);
        CHECK(status[2] == SQL_ROW_NOROW);
      }
    }
    CHECK(seen[0] == 4 && seen[1] == 4 && seen[2] == 2);
    CHECK(total == 10);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  }

  /* Row-wise binding, three rows a time, with a column cut short: 01004 and its row status. */
  {
    struct Row {
      double amount;
      SQLLEN amountInd;
      char city[4];
      SQLLEN cityInd;
    } rows[3];
    SQLUSMALLINT status[3];
    SQLULEN fetched = 0;
    SQLHSTMT stmt;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, (SQLPOINTER)sizeof(struct Row), 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)3, 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status, 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    CHECK(SQL_SUCCEEDED(SQLExecDirect(
        stmt, (SQLCHAR*)"SELECT Amount, City FROM [Sales 2026$] ORDER BY Amount", SQL_NTS)));
    SQLBindCol(stmt, 1, SQL_C_DOUBLE, &rows[0].amount, 0, &rows[0].amountInd);
    SQLBindCol(stmt, 2, SQL_C_CHAR, rows[0].city, sizeof rows[0].city, &rows[0].cityInd);
    rc = SQLFetch(stmt);
    CHECK(rc == SQL_SUCCESS_WITH_INFO);
    CHECK(fetched == 3);
    CHECK(rows[0].amount == 3 && strcmp(rows[0].city, "東") == 0 && rows[0].cityInd == 6);
    CHECK(status[0] == SQL_ROW_SUCCESS_WITH_INFO);
    CHECK(rows[1].amount == 7 && strcmp(rows[1].city, "Ber") == 0 && status[1] == SQL_ROW_SUCCESS_WITH_INFO);
    CHECK(rows[2].amount == 12.5 && strcmp(rows[2].city, "Zü") == 0 && rows[2].cityInd == 7);
    Diag(SQL_HANDLE_STMT, stmt, state, message, sizeof message);
    CHECK(strcmp(state, "01004") == 0);
    rc = SQLFetch(stmt);
    CHECK(rc == SQL_SUCCESS_WITH_INFO && fetched == 1 && strcmp(rows[0].city, "Bas") == 0);
    CHECK(status[1] == SQL_ROW_NOROW && status[2] == SQL_ROW_NOROW);
    CHECK(SQLFetch(stmt) == SQL_NO_DATA);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  }

  /* SQLGetData in pieces: 01004 until the last piece, then no data. */
  {
    SQLHSTMT stmt = Run(dbc, "SELECT Note FROM [Sales 2026$] WHERE City = 'Bern'");
    CHECK(SQLFetch(stmt) == SQL_SUCCESS);
    static char whole[1 << 16];
    size_t used = 0;
    char piece[100];
    SQLLEN ind = 0;
    int pieces = 0;
    while ((rc = SQLGetData(stmt, 1, SQL_C_CHAR, piece, sizeof piece, &ind)) != SQL_NO_DATA) {
      CHECK(SQL_SUCCEEDED(rc));
      if (!SQL_SUCCEEDED(rc)) break;
      ++pieces;
      if (rc == SQL_SUCCESS_WITH_INFO) {
        Diag(SQL_HANDLE_STMT, stmt, state, message, sizeof message);
        CHECK(strcmp(state, "01004") == 0);
      }
      size_t n = strlen(piece);
      memcpy(whole + used, piece, n);
      used += n;
    }
    whole[used] = 0;
    CHECK(longText && strcmp(whole, longText) == 0);
    CHECK(pieces > 50);
    SQLCloseCursor(stmt);
    /* The same text as UTF-16, in pieces. */
    CHECK(SQL_SUCCEEDED(SQLExecDirect(stmt, (SQLCHAR*)"SELECT Note FROM [Sales 2026$] WHERE City = 'Bern'", SQL_NTS)));
    CHECK(SQLFetch(stmt) == SQL_SUCCESS);
    SQLWCHAR wide[64];
    SQLLEN units = 0, first = -1;
    while ((rc = SQLGetData(stmt, 1, SQL_C_WCHAR, wide, sizeof wide, &ind)) != SQL_NO_DATA && SQL_SUCCEEDED(rc)) {
      if (first < 0) first = ind;
      SQLLEN n = 0;
      while (wide[n]) ++n;
      units += n;
    }
    CHECK(first == units * (SQLLEN)sizeof(SQLWCHAR));  /* the first answer told the whole length */
    CHECK(units == 5000 + 13); /* " Zürich 東京 😀": 12 characters, 😀 two units */
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  }

  /* The wide calls: text and a parameter as UTF-16. */
  {
    SQLHSTMT stmt;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    static const SQLWCHAR sql[] = {'S','E','L','E','C','T',' ','A','m','o','u','n','t',' ','F','R','O','M',' ',
                                   '[','S','a','l','e','s',' ','2','0','2','6','$',']',' ','W','H','E','R','E',' ',
                                   'C','i','t','y',' ','=',' ','?',0};
    static SQLWCHAR city[] = {0x6771, 0x4EAC, 0};  /* 東京 */
    SQLLEN cityLength = SQL_NTS;
    CHECK(SQL_SUCCEEDED(SQLPrepareW(stmt, (SQLWCHAR*)sql, SQL_NTS)));
    SQLSMALLINT params = 0;
    SQLNumParams(stmt, &params);
    CHECK(params == 1);
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 255, 0, city, sizeof city, &cityLength);
    CHECK(SQL_SUCCEEDED(SQLExecute(stmt)));
    double amount = 0;
    CHECK(SQLFetch(stmt) == SQL_SUCCESS);
    SQLGetData(stmt, 1, SQL_C_DOUBLE, &amount, 0, NULL);
    CHECK(amount == 3);
    CHECK(SQLFetch(stmt) == SQL_NO_DATA);
    SQLWCHAR name[16];
    SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    CHECK(SQLDescribeColW(stmt, 1, name, 16, &nameLength, &type, &size, &digits, &nullable) == SQL_SUCCESS);
    CHECK(nameLength == 6 && name[0] == 'A' && type == SQL_DOUBLE);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  }

  /* Column attributes and the catalogue's enumerations. */
  {
    SQLHSTMT stmt = Run(dbc, "SELECT N AS Number, Half * 2 FROM [Numbers$]");
    SQLLEN number = -1;
    char text[256];
    SQLSMALLINT length = 0;
    CHECK(SQLColAttribute(stmt, 1, SQL_DESC_UPDATABLE, NULL, 0, NULL, &number) == SQL_SUCCESS);
    CHECK(number == SQL_ATTR_READONLY);
    SQLColAttribute(stmt, 1, SQL_DESC_LABEL, text, sizeof text, &length, NULL);
    CHECK(strcmp(text, "Number") == 0 && length == 6);
    SQLColAttribute(stmt, 1, SQL_DESC_BASE_COLUMN_NAME, text, sizeof text, &length, NULL);
    CHECK(strcmp(text, "N") == 0);
    SQLColAttribute(stmt, 1, SQL_DESC_BASE_TABLE_NAME, text, sizeof text, &length, NULL);
    CHECK(strcmp(text, "Numbers$") == 0);
    SQLColAttribute(stmt, 1, SQL_DESC_TYPE_NAME, text, sizeof text, &length, NULL);
    CHECK(strcmp(text, "NUMBER") == 0);
    SQLColAttribute(stmt, 2, SQL_DESC_CONCISE_TYPE, NULL, 0, NULL, &number);
    CHECK(number == SQL_DOUBLE);
    SQLColAttribute(stmt, 1, SQL_DESC_NULLABLE, NULL, 0, NULL, &number);
    CHECK(number == SQL_NULLABLE);
    CHECK(SQLColAttribute(stmt, 3, SQL_DESC_NAME, text, sizeof text, &length, NULL) == SQL_ERROR);
    Diag(SQL_HANDLE_STMT, stmt, state, message, sizeof message);
    CHECK(strcmp(state, "07009") == 0);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);

    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    CHECK(SQL_SUCCEEDED(SQLTables(stmt, (SQLCHAR*)SQL_ALL_CATALOGS, SQL_NTS, (SQLCHAR*)"", 0, (SQLCHAR*)"", 0, NULL, 0)));
    CHECK(SQLFetch(stmt) == SQL_SUCCESS);
    SQLLEN ind = 0;
    SQLGetData(stmt, 1, SQL_C_CHAR, text, sizeof text, &ind);
    CHECK(strstr(text, "/sales.xlsx") != NULL);
    CHECK(SQLFetch(stmt) == SQL_NO_DATA);
    SQLCloseCursor(stmt);
    CHECK(SQL_SUCCEEDED(SQLTables(stmt, (SQLCHAR*)"", 0, (SQLCHAR*)"", 0, (SQLCHAR*)"", 0, (SQLCHAR*)SQL_ALL_TABLE_TYPES, SQL_NTS)));
    CHECK(SQLFetch(stmt) == SQL_SUCCESS);
    SQLGetData(stmt, 4, SQL_C_CHAR, text, sizeof text, &ind);
    CHECK(strcmp(text, "TABLE") == 0);
    CHECK(SQLFetch(stmt) == SQL_NO_DATA);
    SQLCloseCursor(stmt);
    CHECK(SQL_SUCCEEDED(SQLTables(stmt, NULL, 0, NULL, 0, (SQLCHAR*)"N%", SQL_NTS, (SQLCHAR*)"'TABLE','VIEW'", SQL_NTS)));
    CHECK(SQLFetch(stmt) == SQL_SUCCESS);
    SQLGetData(stmt, 3, SQL_C_CHAR, text, sizeof text, &ind);
    CHECK(strcmp(text, "Numbers$") == 0);
    CHECK(SQLFetch(stmt) == SQL_NO_DATA);
    SQLCloseCursor(stmt);
    CHECK(SQL_SUCCEEDED(SQLGetTypeInfo(stmt, SQL_ALL_TYPES)));
    int types = 0;
    while (SQLFetch(stmt) == SQL_SUCCESS) ++types;
    CHECK(types == 6);
    SQLSMALLINT columns = 0;
    SQLNumResultCols(stmt, &columns);
    CHECK(columns == 19);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  }

  /* Parameters sent at execution time, in pieces that split characters. */
  {
    SQLHSTMT stmt;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    CHECK(SQL_SUCCEEDED(SQLPrepare(stmt, (SQLCHAR*)"SELECT City, LEN(?) FROM [Sales 2026$] WHERE City = ? AND Amount = ?", SQL_NTS)));
    SQLLEN atExec = SQL_LEN_DATA_AT_EXEC(0), atExec2 = SQL_DATA_AT_EXEC, atExec3 = SQL_DATA_AT_EXEC;
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WLONGVARCHAR, 0, 0, (SQLPOINTER)1, 0, &atExec);
    SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 0, 0, (SQLPOINTER)2, 0, &atExec2);
    SQLBindParameter(stmt, 3, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, (SQLPOINTER)3, 0, &atExec3);
    for (int round = 0; round < 3; ++round) {
      CHECK(SQLExecute(stmt) == SQL_NEED_DATA);
      CHECK(SQLFetch(stmt) == SQL_ERROR);
      ExpectState(SQL_HANDLE_STMT, stmt, "HY010", "SQLFetch while parameters wait for data");
      CHECK(SQLPutData(stmt, (SQLPOINTER) "x", 1) == SQL_ERROR);
      ExpectState(SQL_HANDLE_STMT, stmt, "HY010", "SQLPutData before SQLParamData");
      SQLPOINTER token = NULL;
      CHECK(SQLParamData(stmt, &token) == SQL_NEED_DATA && token == (SQLPOINTER)1);
      if (round == 1) {
        /* A failed piece ends the sequence too: a number comes in one piece. */
        CHECK(SQLPutData(stmt, (SQLPOINTER) "ab", 2) == SQL_SUCCESS);
        CHECK(SQLPutData(stmt, (SQLPOINTER) "ab", -99) == SQL_ERROR);
        ExpectState(SQL_HANDLE_STMT, stmt, "HY090", "a piece of length -99");
        CHECK(SQLParamData(stmt, &token) == SQL_ERROR);
        ExpectState(SQL_HANDLE_STMT, stmt, "HY010", "SQLParamData after a failed piece");
        continue;
      }
      if (round == 0) {
        /* SQLCancel ends the sequence; the statement runs again from SQLExecute. */
        CHECK(SQLCancel(stmt) == SQL_SUCCESS);
        CHECK(SQLParamData(stmt, &token) == SQL_ERROR);
        ExpectState(SQL_HANDLE_STMT, stmt, "HY010", "SQLParamData after SQLCancel");
        continue;
      }
      /* "東京😀" as UTF-16, the pair of the emoji split across pieces of 3, 3 and 4 bytes. */
      static const SQLWCHAR wide[] = {0x6771, 0x4EAC, 0xD83D, 0xDE00};
      CHECK(SQLPutData(stmt, (SQLPOINTER)wide, 3) == SQL_SUCCESS);
      CHECK(SQLPutData(stmt, (SQLPOINTER)((const char*)wide + 3), 3) == SQL_SUCCESS);
      CHECK(SQLPutData(stmt, (SQLPOINTER)((const char*)wide + 6), 2) == SQL_SUCCESS);
      CHECK(SQLParamData(stmt, &token) == SQL_NEED_DATA && token == (SQLPOINTER)2);
      /* "Zürich" in UTF-8, the ü split between two pieces. */
      CHECK(SQLPutData(stmt, (SQLPOINTER) "Z\xC3", 2) == SQL_SUCCESS);
      CHECK(SQLPutData(stmt, (SQLPOINTER) "\xBCrich", SQL_NTS) == SQL_SUCCESS);
      CHECK(SQLParamData(stmt, &token) == SQL_NEED_DATA && token == (SQLPOINTER)3);
      double amount = 12.5;
      CHECK(SQLPutData(stmt, &amount, 0) == SQL_SUCCESS);
      CHECK(SQLParamData(stmt, &token) == SQL_SUCCESS);
      CHECK(SQLFetch(stmt) == SQL_SUCCESS);
      char city[16] = "";
      SQLINTEGER length = 0;
      SQLGetData(stmt, 1, SQL_C_CHAR, city, sizeof city, NULL);
      SQLGetData(stmt, 2, SQL_C_SLONG, &length, 0, NULL);
      CHECK(strcmp(city, "Zürich") == 0);
      CHECK(length == 3);
      CHECK(SQLFetch(stmt) == SQL_NO_DATA);
      /* The cursor stays open until closed: another statement on it is refused. */
      CHECK(SQLExecute(stmt) == SQL_ERROR);
      ExpectState(SQL_HANDLE_STMT, stmt, "24000", "SQLExecute with the cursor open");
      CHECK(SQLMoreResults(stmt) == SQL_NO_DATA);
      CHECK(SQLCloseCursor(stmt) == SQL_ERROR);  /* the refusal closed it */
      ExpectState(SQL_HANDLE_STMT, stmt, "24000", "SQLCloseCursor with no cursor");
    }
    /* Text that is not UTF-8, a length indicator ODBC does not have, half a UTF-16 unit. */
    CHECK(SQL_SUCCEEDED(SQLPrepare(stmt, (SQLCHAR*)"SELECT COUNT(*) FROM [Sales 2026$] WHERE City = ?", SQL_NTS)));
    char latin1[] = "Z\xFCrich";
    SQLLEN length = SQL_NTS;
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 255, 0, latin1, 0, &length);
    CHECK(SQLExecute(stmt) == SQL_ERROR);
    ExpectState(SQL_HANDLE_STMT, stmt, "22018", "a parameter that is not UTF-8");
    length = -99;
    CHECK(SQLExecute(stmt) == SQL_ERROR);
    ExpectState(SQL_HANDLE_STMT, stmt, "HY090", "a length indicator of -99");
    length = 3;
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 255, 0, NULL, 0, &length);
    CHECK(SQLExecute(stmt) == SQL_ERROR);
    ExpectState(SQL_HANDLE_STMT, stmt, "HY009", "a parameter of 3 bytes at a null pointer");
    length = SQL_NULL_DATA;
    CHECK(SQLExecute(stmt) == SQL_SUCCESS);  /* NULL: no row */
    CHECK(SQLFetch(stmt) == SQL_SUCCESS);
    SQLCloseCursor(stmt);
    static SQLWCHAR wideCity[] = {'B', 'e', 'r', 'n', 0};
    length = 7;
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 255, 0, wideCity, 0, &length);
    CHECK(SQLExecute(stmt) == SQL_ERROR);
    ExpectState(SQL_HANDLE_STMT, stmt, "HY090", "a wide parameter of 7 bytes");
    length = 8;
    CHECK(SQLExecute(stmt) == SQL_SUCCESS);
    SQLINTEGER count = 0;
    CHECK(SQLFetch(stmt) == SQL_SUCCESS);
    SQLGetData(stmt, 1, SQL_C_SLONG, &count, 0, NULL);
    CHECK(count == 1);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  }

  /* The cursor moves forward only; the others are refused, and the next still works. */
  {
    SQLHSTMT stmt = Run(dbc, "SELECT N FROM [Numbers$] ORDER BY N");
    /* Another statement while this one's cursor is open (the driver manager lets it through
       before the first fetch): refused, and the cursor closed, as the manager then takes it. */
    SQLINTEGER unused = 0;
    CHECK(SQLBindCol(stmt, 1, 12345, &unused, 4, NULL) == SQL_ERROR);
    ExpectState(SQL_HANDLE_STMT, stmt, "HY003", "a C type that is none");
    CHECK(SQLExecDirect(stmt, (SQLCHAR*)"SELECT 1 FROM [Numbers$]", SQL_NTS) == SQL_ERROR);
    Diag(SQL_HANDLE_STMT, stmt, state, message, sizeof message);
    CHECK(strcmp(state, "24000") == 0 && strstr(message, "[Tabrix] invalid cursor state") != NULL);
    CHECK(SQLFetch(stmt) == SQL_ERROR);
    CHECK(SQL_SUCCEEDED(SQLExecDirect(stmt, (SQLCHAR*)"SELECT N FROM [Numbers$] ORDER BY N", SQL_NTS)));
    const SQLSMALLINT others[] = {SQL_FETCH_FIRST, SQL_FETCH_LAST, SQL_FETCH_PRIOR, SQL_FETCH_ABSOLUTE,
                                  SQL_FETCH_RELATIVE, SQL_FETCH_BOOKMARK};
    for (size_t i = 0; i < sizeof others / sizeof others[0]; ++i) {
      CHECK(SQLFetchScroll(stmt, others[i], 1) == SQL_ERROR);
      ExpectState(SQL_HANDLE_STMT, stmt, "HY106", "a scroll other than next");
    }
    SQLINTEGER n = 0;
    CHECK(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0) == SQL_SUCCESS);
    SQLGetData(stmt, 1, SQL_C_SLONG, &n, 0, NULL);
    CHECK(n == 1);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  }

  /* Wide text in pieces through buffers of 0, odd and tiny sizes, the emoji's pair split. */
  {
    SQLHSTMT stmt = Run(dbc, "SELECT Note FROM [Sales 2026$] WHERE City = 'Bern'");
    CHECK(SQLFetch(stmt) == SQL_SUCCESS);
    SQLWCHAR buffer[8];
    SQLLEN ind = 0;
    CHECK(SQLGetData(stmt, 1, SQL_C_WCHAR, buffer, 0, &ind) == SQL_SUCCESS_WITH_INFO);
    CHECK(ind == (5000 + 13) * 2);
    static SQLWCHAR whole[6000];
    size_t units = 0;
    SQLLEN sizes[] = {7, 4, 3, 2};
    int step = 0;
    while ((rc = SQLGetData(stmt, 1, SQL_C_WCHAR, buffer, sizes[step++ % 4], &ind)) != SQL_NO_DATA) {
      CHECK(SQL_SUCCEEDED(rc));
      if (!SQL_SUCCEEDED(rc) || step > 20000) break;
      for (size_t i = 0; buffer[i] && units < 6000; ++i) whole[units++] = buffer[i];
    }
    CHECK(units == 5000 + 13);
    CHECK(whole[units - 2] == 0xD83D && whole[units - 1] == 0xDE00);
    SQLCloseCursor(stmt);
    /* Buffers with room for one UTF-16 unit or one byte: a character too large for them comes
       split, never stuck. */
    for (int form = 0; form < 2; ++form) {
      CHECK(SQL_SUCCEEDED(SQLExecDirect(stmt, (SQLCHAR*)"SELECT Note FROM [Sales 2026$] WHERE City = 'Bern'", SQL_NTS)));
      CHECK(SQLFetch(stmt) == SQL_SUCCESS);
      static char bytes[20000];
      size_t used = 0;
      int calls = 0;
      while (++calls < 30000) {
        char piece[4];
        rc = SQLGetData(stmt, 1, form ? SQL_C_CHAR : SQL_C_WCHAR, piece, form ? 2 : 4, &ind);
        if (rc == SQL_NO_DATA || !SQL_SUCCEEDED(rc)) break;
        size_t n = form ? 1 : 2;
        if (rc == SQL_SUCCESS) n = form ? strlen(piece) : (piece[0] || piece[1] ? 2 : 0);
        memcpy(bytes + used, piece, n);
        used += n;
      }
      CHECK(rc == SQL_NO_DATA);
      if (form) {
        bytes[used] = 0;
        CHECK(longText && strcmp(bytes, longText) == 0);
      } else {
        CHECK(used == (5000 + 13) * 2 && memcmp(bytes, whole, used) == 0);
      }
      SQLCloseCursor(stmt);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  }

  /* The query timeout, then a cancel from another thread. */
  {
    SQLHSTMT stmt;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, (SQLPOINTER)1, 0);
    CHECK(SQLExecDirect(stmt, (SQLCHAR*)kSpin, SQL_NTS) == SQL_ERROR);
    ExpectState(SQL_HANDLE_STMT, stmt, "HYT00", "a statement past its timeout");
    SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, (SQLPOINTER)0, 0);
    struct Canceller canceller = {stmt, 0};
    pthread_t thread;
    pthread_create(&thread, NULL, CancelLoop, &canceller);
    rc = SQLExecDirect(stmt, (SQLCHAR*)kSpin, SQL_NTS);
    char cancelState[8], cancelMessage[1024];
    Diag(SQL_HANDLE_STMT, stmt, cancelState, cancelMessage, sizeof cancelMessage);
    canceller.stop = 1;
    pthread_join(thread, NULL);
    CHECK(rc == SQL_ERROR);
    CHECK(strcmp(cancelState, "HY008") == 0);
    CHECK(SQL_SUCCEEDED(SQLExecDirect(stmt, (SQLCHAR*)"SELECT N FROM [Numbers$]", SQL_NTS)));
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  }

  /* What the engine is given. */
  {
    SQLINTEGER length = 0;
    rc = SQLNativeSql(dbc, (SQLCHAR*)"SELECT TOP 1 * FROM [S$] WHERE d = {d '2026-01-31'} OR d = #2/1/2026#", SQL_NTS,
                      (SQLCHAR*)out, sizeof out, &length);
    CHECK(rc == SQL_SUCCESS);
    CHECK(strcmp(out, "SELECT * FROM [S$] WHERE d = '2026-01-31 00:00:00' OR d = '2026-02-01 00:00:00' LIMIT 1") == 0);
  }

  /* Failures tell what failed. */
  {
    SQLHSTMT stmt;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    CHECK(SQLExecDirect(stmt, (SQLCHAR*)"SELECT * FROM [Sheet1$]", SQL_NTS) == SQL_ERROR);
    Diag(SQL_HANDLE_STMT, stmt, state, message, sizeof message);
    CHECK(strcmp(state, "42S02") == 0);
    CHECK(strstr(message, "[Tabrix] no table 'Sheet1$' in the workbook '") != NULL);
    CHECK(strstr(message, "its tables are 'Sales 2026$', 'Mixed$', 'Numbers$', 'Cities'") != NULL);
    CHECK(SQLExecDirect(stmt, (SQLCHAR*)"UPDATE [Numbers$] SET N = 0", SQL_NTS) == SQL_ERROR);
    Diag(SQL_HANDLE_STMT, stmt, state, message, sizeof message);
    CHECK(strcmp(state, "42000") == 0 && strstr(message, "read-only: UPDATE is refused") != NULL);
    /* A value the guessed type cannot hold: told at execute, naming its cell. */
    rc = SQLExecDirect(stmt, (SQLCHAR*)"SELECT Value FROM [Mixed$]", SQL_NTS);
    CHECK(rc == SQL_SUCCESS_WITH_INFO);
    Diag(SQL_HANDLE_STMT, stmt, state, message, sizeof message);
    CHECK(strcmp(state, "01000") == 0 && strstr(message, "Mixed$A14") != NULL);
    SQLINTEGER records = 0;
    SQLGetDiagField(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_NUMBER, &records, 0, NULL);
    CHECK(records == 1);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  }

  CHECK(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT)));
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  if (failures) {
    fprintf(stderr, "%d checks failed\n", failures);
    return 1;
  }
  printf("all checks passed\n");
  return 0;
}

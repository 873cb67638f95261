/* A driver setup library for the end-to-end tests: its ConfigDSN logs what unixODBC hands
 * it (request, config mode, driver description, attribute bytes) to $TABRIX_SETUP_LOG, one
 * line per call, and refuses with a posted reason when $TABRIX_SETUP_REFUSE is set. */
#include <odbcinst.h>
#include <stdio.h>
#include <stdlib.h>

BOOL ConfigDSN(HWND parent, WORD request, LPCSTR driver, LPCSTR attributes) {
  (void)parent;
  UWORD mode = 0;
  SQLGetConfigMode(&mode);
  const char* logPath = getenv("TABRIX_SETUP_LOG");
  FILE* log = logPath ? fopen(logPath, "a") : NULL;
  if (log) {
    fprintf(log, "request=%u mode=%u driver=%s attributes=", request, mode, driver);
    /* The list ends with an empty pair; NULs are logged as \0. */
    const char* p = attributes;
    for (;;) {
      if (*p == '\0') {
        fputs("\\0", log);
        if (p[1] == '\0') {
          fputs("\\0", log);
          break;
        }
      } else {
        fputc(*p, log);
      }
      ++p;
    }
    fputc('\n', log);
    fclose(log);
  }
  if (getenv("TABRIX_SETUP_REFUSE")) {
    SQLPostInstallerError(ODBC_ERROR_REQUEST_FAILED, "the test setup refused");
    return 0;
  }
  return 1;
}

/* A driver setup library for the tests under Wine. Its ConfigDSN appends what the ODBC
 * installer hands it to the file named by TABRIX_SETUP_LOG, one line per call, then does
 * what a driver's setup does: adds, configures or removes the data source's key under the
 * root that the config mode names. While TABRIX_SETUP_REFUSE is set it refuses instead,
 * with a posted reason. */
#include <windows.h>
/* windows.h first: odbcinst.h needs its types. */
#include <odbcinst.h>
#include <stdio.h>
#include <string.h>

static BOOL IsSet(const char* name, char* value, DWORD size) {
  DWORD n = GetEnvironmentVariableA(name, value, size);
  return n > 0 && n < size;
}

/* The attribute bytes in hex, through the list's closing NUL, so that every byte shows. */
static void Log(HWND parent, WORD request, UWORD mode, LPCSTR driver, LPCSTR attributes) {
  char path[MAX_PATH];
  if (!IsSet("TABRIX_SETUP_LOG", path, sizeof path)) return;
  FILE* log = fopen(path, "ab");
  if (!log) return;
  fprintf(log, "request=%u mode=%u parent=%s driver=%s attributes=", request, mode,
          parent ? "set" : "null", driver ? driver : "(null)");
  const unsigned char* p = (const unsigned char*)attributes;
  for (size_t n = 1; p && n > 0; p += n + 1) {
    n = strlen((const char*)p);
    for (size_t i = 0; i <= n; ++i) fprintf(log, "%02x", p[i]);
  }
  fputc('\n', log);
  fclose(log);
}

static BOOL SetValues(HKEY key, LPCSTR attributes) {
  for (const char* p = attributes; *p; p += strlen(p) + 1) {
    const char* eq = strchr(p, '=');
    if (!eq || _strnicmp(p, "DSN=", 4) == 0) continue;
    char name[256];
    size_t n = (size_t)(eq - p) < sizeof name - 1 ? (size_t)(eq - p) : sizeof name - 1;
    memcpy(name, p, n);
    name[n] = '\0';
    if (RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)(eq + 1), (DWORD)strlen(eq)) !=
        ERROR_SUCCESS)
      return FALSE;
  }
  return TRUE;
}

static BOOL Act(WORD request, UWORD mode, LPCSTR attributes) {
  const char* name = NULL;
  for (const char* p = attributes; *p; p += strlen(p) + 1)
    if (_strnicmp(p, "DSN=", 4) == 0) name = p + 4;
  if (!name || !*name) return FALSE;
  char path[512];
  snprintf(path, sizeof path, "Software\\ODBC\\ODBC.INI\\%s", name);
  HKEY root = mode == ODBC_SYSTEM_DSN ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  HKEY key = NULL;
  BOOL ok = FALSE;
  switch (request) {
    case ODBC_ADD_DSN:
      ok = RegCreateKeyExA(root, path, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL) == ERROR_SUCCESS;
      break;
    case ODBC_CONFIG_DSN:
      ok = RegOpenKeyExA(root, path, 0, KEY_WRITE, &key) == ERROR_SUCCESS;
      break;
    case ODBC_REMOVE_DSN:
      return RegDeleteKeyA(root, path) == ERROR_SUCCESS;
  }
  if (ok) ok = SetValues(key, attributes);
  if (key) RegCloseKey(key);
  return ok;
}

BOOL INSTAPI ConfigDSN(HWND parent, WORD request, LPCSTR driver, LPCSTR attributes) {
  UWORD mode = 0;
  SQLGetConfigMode(&mode);
  Log(parent, request, mode, driver, attributes);
  char refuse[8];
  if (IsSet("TABRIX_SETUP_REFUSE", refuse, sizeof refuse)) {
    SQLPostInstallerError(ODBC_ERROR_REQUEST_FAILED, "the test setup refused");
    return FALSE;
  }
  return attributes && Act(request, mode, attributes);
}

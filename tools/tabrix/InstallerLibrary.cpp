// unixODBC's installer library, loaded by the client when a verb first calls it (a driver's
// setup library to run, an installer error to read, or unixODBC's own system folder to
// learn) rather than by every run at start-up. The platform layer calls these functions
// as if linked; here each finds its namesake in libodbcinst on first use.
#include <dlfcn.h>
#include <odbcinst.h>

#include <atomic>
#include <stdexcept>
#include <string>

namespace {

std::atomic<bool> loaded{false};

void* Library() {
  static void* library = [] {
    void* handle = dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_GLOBAL);
    if (!handle)
      throw std::runtime_error(std::string("unixODBC's installer library cannot be loaded: ") +
                               dlerror());
    loaded = true;
    return handle;
  }();
  return library;
}

template <typename Function>
Function* Find(const char* name) {
  void* symbol = dlsym(Library(), name);
  if (!symbol) throw std::runtime_error(std::string("unixODBC's installer library has no ") + name);
  return reinterpret_cast<Function*>(symbol);
}

}  // namespace

extern "C" {

BOOL SQLConfigDataSource(HWND parent, WORD request, LPCSTR driver, LPCSTR attributes) {
  static auto* real = Find<decltype(SQLConfigDataSource)>("SQLConfigDataSource");
  return real(parent, request, driver, attributes);
}

SQLRETURN SQLInstallerError(WORD index, DWORD* code, LPSTR message, WORD size, WORD* length) {
  static auto* real = Find<decltype(SQLInstallerError)>("SQLInstallerError");
  return real(index, code, message, size, length);
}

// The client reads the installer's log only right after a call of its own into the library,
// which empties the log first: until the library is loaded for such a call, posting to its
// log or emptying it is not worth loading it for.
SQLRETURN SQLPostInstallerError(DWORD code, LPCSTR message) {
  if (!loaded) return SQL_SUCCESS;
  static auto* real = Find<decltype(SQLPostInstallerError)>("SQLPostInstallerError");
  return real(code, message);
}

BOOL SQLGetConfigMode(UWORD* mode) {
  if (!loaded) {
    *mode = ODBC_BOTH_DSN;
    return 1;
  }
  static auto* real = Find<decltype(SQLGetConfigMode)>("SQLGetConfigMode");
  return real(mode);
}

char* odbcinst_system_file_path(char* buffer) {
  using Function = char*(char*);
  static auto* real = Find<Function>("odbcinst_system_file_path");
  return real(buffer);
}

}  // extern "C"

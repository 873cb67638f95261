// unixODBC's installer library, loaded by the client when a verb first calls it (a driver's
// setup library to run, an installer error to read, or unixODBC's own system folder to
// learn) rather than by every run at start-up. The platform layer calls these four functions
// as if linked; here each finds its namesake in libodbcinst on first use.
#include <dlfcn.h>
#include <odbcinst.h>

#include <stdexcept>
#include <string>

namespace {

void* Library() {
  static void* library = [] {
    void* handle = dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_GLOBAL);
    if (!handle)
      throw std::runtime_error(std::string("unixODBC's installer library cannot be loaded: ") +
                               dlerror());
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

SQLRETURN SQLPostInstallerError(DWORD code, LPCSTR message) {
  static auto* real = Find<decltype(SQLPostInstallerError)>("SQLPostInstallerError");
  return real(code, message);
}

char* odbcinst_system_file_path(char* buffer) {
  using Function = char*(char*);
  static auto* real = Find<Function>("odbcinst_system_file_path");
  return real(buffer);
}

}  // extern "C"

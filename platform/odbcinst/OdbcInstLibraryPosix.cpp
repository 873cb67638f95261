// unixODBC's installer library, loaded when a call first needs it (a driver's setup library
// to run, an installer error to read, or unixODBC's own system folder to learn) rather than
// by every program at start-up; each function found by name on first use.
#include "platform/odbcinst/OdbcInstLibrary.h"

#include <dlfcn.h>
#include <odbcinst.h>

#include <atomic>
#include <stdexcept>

template <>
platform::OdbcInstLibrary* platform::OdbcInstLibrarySeam::override_ = nullptr;

namespace platform {
namespace {

constexpr const char* kLibrary = "libodbcinst.so.2";

template <typename Function>
Function* Find(void* library, const char* name) {
  void* symbol = dlsym(library, name);
  if (!symbol) throw std::runtime_error(std::string("unixODBC's installer library has no ") + name);
  return reinterpret_cast<Function*>(symbol);
}

class LoadedOnFirstUse : public OdbcInstLibrary {
 public:
  bool ConfigDataSource(uint16_t request, const std::string& driver,
                        const std::string& attributes) override {
    static auto* real = Find<decltype(SQLConfigDataSource)>(Load(), "SQLConfigDataSource");
    return real(nullptr, request, driver.c_str(), attributes.data());
  }

  std::optional<Failure> InstallerError(uint16_t index) override {
    static auto* real = Find<decltype(SQLInstallerError)>(Load(), "SQLInstallerError");
    DWORD code = 0;
    char message[SQL_MAX_MESSAGE_LENGTH] = {};
    WORD length = 0;
    const SQLRETURN rc = real(index, &code, message, sizeof message, &length);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return std::nullopt;
    return Failure{static_cast<int>(code), message};
  }

  // The log is read only right after a call into the library, which empties it first: until
  // the library is in the process, posting to its log or emptying it is not worth loading it
  // for. Where the application has loaded it, it reads the log itself.
  void PostInstallerError(uint32_t code, const std::string& message) override {
    void* library = Loaded();
    if (!library) return;
    static auto* real = Find<decltype(SQLPostInstallerError)>(library, "SQLPostInstallerError");
    real(static_cast<DWORD>(code), message.c_str());
  }

  uint16_t GetConfigMode() override {
    void* library = Loaded();
    if (!library) return ODBC_BOTH_DSN;
    static auto* real = Find<decltype(SQLGetConfigMode)>(library, "SQLGetConfigMode");
    UWORD mode = ODBC_BOTH_DSN;
    real(&mode);
    return mode;
  }

  // Exported by libodbcinst, but declared only in a header meant for building unixODBC.
  std::string SystemFilePath() override {
    static auto* real = Find<char*(char*)>(Load(), "odbcinst_system_file_path");
    char buffer[4096] = {};
    const char* path = real(buffer);
    return path ? path : "";
  }

 private:
  // The library's handle once it is in the process, whoever loaded it; else null. Asks the
  // loader until then (RTLD_NOLOAD loads nothing and leaves the library's flags as they are).
  void* Loaded() {
    if (void* known = handle_.load()) return known;
    void* found = dlopen(kLibrary, RTLD_LAZY | RTLD_NOLOAD);
    return found ? Keep(found) : nullptr;
  }

  void* Load() {
    if (void* known = Loaded()) return known;
    void* opened = dlopen(kLibrary, RTLD_NOW | RTLD_GLOBAL);
    if (!opened)
      throw std::runtime_error(std::string("unixODBC's installer library cannot be loaded: ") +
                               dlerror());
    return Keep(opened);
  }

  // One reference kept for the process's lifetime: a second thread's is given back.
  void* Keep(void* opened) {
    void* expected = nullptr;
    if (!handle_.compare_exchange_strong(expected, opened)) {
      dlclose(opened);
      return expected;
    }
    return opened;
  }

  std::atomic<void*> handle_{nullptr};
};

}  // namespace

OdbcInstLibrary& DefaultOdbcInstLibrary() {
  static LoadedOnFirstUse library;
  return library;
}

}  // namespace platform

#include <dlfcn.h>

#include "platform/designer/DynamicLibrary.h"

namespace platform::dynlib {

// Local binding: each package keeps its own copy of the framework, as a separate host
// runtime version would.
Result<void*> Open(const std::string& path) {
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) return Refused(dlerror());  // the loader's words name the file
  return library;
}

void* Symbol(void* library, const char* name) { return dlsym(library, name); }

void Close(void* library) { dlclose(library); }

}  // namespace platform::dynlib

#include <dlfcn.h>

#include <stdexcept>

#include "platform/designer/DynamicLibrary.h"

namespace platform::dynlib {

// Local binding: each package keeps its own copy of the framework, as a separate host
// runtime version would.
void* Open(const std::string& path) {
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) throw std::runtime_error(dlerror());
  return library;
}

void* Symbol(void* library, const char* name) { return dlsym(library, name); }

void Close(void* library) { dlclose(library); }

}  // namespace platform::dynlib

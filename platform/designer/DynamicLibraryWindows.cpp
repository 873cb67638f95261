#include "platform/WindowsApi.h"
#include "platform/designer/DynamicLibrary.h"

namespace platform::dynlib {

Result<void*> Open(const std::string& path) {
  HMODULE library = LoadLibraryA(path.c_str());
  if (!library) return LastSystemFailure(path + ": cannot be loaded");
  return reinterpret_cast<void*>(library);
}

void* Symbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void Close(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

}  // namespace platform::dynlib

#include <stdexcept>

#include "platform/WindowsApi.h"
#include "platform/designer/DynamicLibrary.h"

namespace platform::dynlib {

void* Open(const std::string& path) {
  HMODULE library = LoadLibraryA(path.c_str());
  if (!library)
    throw std::runtime_error(path + ": cannot be loaded (error " + std::to_string(GetLastError()) +
                             ")");
  return reinterpret_cast<void*>(library);
}

void* Symbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void Close(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

}  // namespace platform::dynlib

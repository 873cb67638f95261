// The platform's dynamic loader, as the design host needs it.
#pragma once

#include <string>

namespace platform::dynlib {

// Raises std::runtime_error with the loader's reason when the library cannot be loaded.
void* Open(const std::string& path);
void* Symbol(void* library, const char* name);  // null when absent
void Close(void* library);

}  // namespace platform::dynlib

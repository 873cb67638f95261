// The platform's dynamic loader, as the design host needs it.
#pragma once

#include <string>

#include "platform/Failure.h"

namespace platform::dynlib {

// The loaded library; the loader's reason when it cannot be loaded.
Result<void*> Open(const std::string& path);
void* Symbol(void* library, const char* name);  // null when absent
void Close(void* library);

}  // namespace platform::dynlib

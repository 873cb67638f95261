// errno in words: the C library's own (strerror), as every other Posix tool words it.
#include <cerrno>
#include <system_error>

#include "platform/Failure.h"

namespace platform {

std::string SystemMessage(int code) { return std::generic_category().message(code); }

Failure SystemFailure(int code, std::string_view what) {
  return Failure{code, std::string(what) + ": " + SystemMessage(code)};
}

Failure LastSystemFailure(std::string_view what) { return SystemFailure(errno, what); }

}  // namespace platform

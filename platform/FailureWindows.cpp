// Windows error codes in words: the system's own message table, without its trailing period
// and line end, so that reasons read as Posix ones do.
#include "platform/Failure.h"
#include "platform/WindowsApi.h"

namespace platform {

std::string SystemMessage(int code) {
  char text[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ')) --n;
  if (n > 0 && text[n - 1] == '.') --n;
  return n > 0 ? std::string(text, n) : "error " + std::to_string(code);
}

Failure SystemFailure(int code, std::string_view what) {
  return Failure{code, std::string(what) + ": " + SystemMessage(code)};
}

Failure LastSystemFailure(std::string_view what) {
  return SystemFailure(static_cast<int>(GetLastError()), what);
}

}  // namespace platform

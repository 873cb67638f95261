#include "platform/framework/Path.h"

namespace platform {

// "\" and ":" are ordinary characters of a Linux file name ("/data/Q1:Q2.xls"): they end a
// folder only in a name that has no "/".
size_t FolderPartLength(std::string_view fileName) {
  size_t at = fileName.rfind('/');
  if (at == std::string_view::npos) at = fileName.find_last_of("\\:");
  return at == std::string_view::npos ? 0 : at + 1;
}

}  // namespace platform

#include "platform/framework/Path.h"

namespace platform {

// Windows takes "/" for "\" everywhere, and a drive's ":" ends a folder too ("C:Book1.xls").
size_t FolderPartLength(std::string_view fileName) {
  const size_t at = fileName.find_last_of("\\/:");
  return at == std::string_view::npos ? 0 : at + 1;
}

}  // namespace platform

// The engine's stand-in for the readers while none is built in: every file is refused.
#include "formats/Workbook.h"

namespace tabrix::formats {

std::unique_ptr<Workbook> OpenWorkbook(const std::string& path) {
  throw FormatError(path + ": not a workbook this driver reads (no reader is built in)");
}

}  // namespace tabrix::formats

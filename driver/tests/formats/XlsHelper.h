// The test programs find the .xls reader's helper where the build put it (the driver's
// library finds it beside itself).
#pragma once

#include "driver/formats/Readers.h"

#ifdef TABRIX_XLS_HELPER
namespace tabrix::formats::testing {
inline const ScopedXlsHelper kXlsHelper{TABRIX_XLS_HELPER};
}  // namespace tabrix::formats::testing
#endif

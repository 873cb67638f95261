// Unit edsncompreg: the package's registration unit. Its Register makes the same
// registrations as TabrixCreateUnit's; the host calls both.
#pragma once

#include "platform/Export.h"

namespace edsncompreg {

TABRIX_API void Register();

}  // namespace edsncompreg

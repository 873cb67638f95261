#include "design/edsncompreg.h"

#include "design/TabrixCreateEditors.h"

namespace edsncompreg {

void Register() { TabrixCreateUnit::Register(); }

}  // namespace edsncompreg

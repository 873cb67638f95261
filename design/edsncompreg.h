// Unit edsncompreg: the package's registration unit. Its Register makes the same
// registrations as TabrixCreateUnit's; the host calls both.
#pragma once

namespace edsncompreg {

void Register();

}  // namespace edsncompreg

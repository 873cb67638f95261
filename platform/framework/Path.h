// File names as the host spells them: each host's rules live in a file of their own, chosen by
// CMake for the target OS (PathPosix.cpp, PathWindows.cpp).
#pragma once

#include <cstddef>
#include <string_view>

namespace platform {

// The length of a file name's folder part, up to and including the delimiter that ends the
// folder; 0 when the name has none. On Windows a folder ends at "\", "/" or a drive's ":".
// On Linux it ends at "/"; a name without one is taken as a Windows name (as form files
// carry them), whose folder ends at "\" or ":".
size_t FolderPartLength(std::string_view fileName);

}  // namespace platform

// The package's resources, drawn and laid out here: the palette bitmap, the icon and the
// version block, each in its Windows file format. The package table holds them, and on
// Windows so do the library's own resources (Package.rc, from files ResourceFiles.cpp writes).
#pragma once

#include <cstdint>
#include <vector>

#include "TabrixVersion.h"

// "DESCRIPTION": the package's description. A macro, as it initialises an exported array.
#define TABRIX_PACKAGE_DESCRIPTION "Orvane Tabrix: ODBC data sources for Excel workbooks"

namespace tabrix::package {

using Bytes = std::vector<unsigned char>;

// "TTABRIXCREATOR": 24 x 24, 16 colours, a .bmp file.
const Bytes& PaletteBitmap();
// "MAINICON": 32 x 32, 16 colours, a .ico file with one image.
const Bytes& MainIcon();
// The version block: VS_VERSIONINFO holding the fixed file information and the strings
// Windows shows for the file (US English, UTF-16): FileDescription, ProductName, CompanyName,
// FileVersion, ProductVersion and LegalCopyright.
const Bytes& VersionBlock();

// The file version is the release; the product version is the component's, which stays 1.0.
inline constexpr uint16_t kFileVersion[4] = {TABRIX_VERSION_MAJOR, TABRIX_VERSION_MINOR,
                                             TABRIX_VERSION_PATCH, 0};
inline constexpr uint16_t kProductVersion[4] = {1, 0, 0, 0};

}  // namespace tabrix::package

// The ODBC data-source library: the desktop-driver catalogue, driver information, and the
// data-source and workgroup operations, as plain functions over the registry and the ODBC
// installer. The library keeps no state between calls.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Export.h"

namespace TabrixCodeUnit {

// A length byte followed by room for N single-byte characters.
template <size_t N>
struct ShortString {
  static_assert(N <= 255);
  uint8_t Length;
  char Chars[N];

  std::string str() const { return std::string(Chars, std::min<size_t>(Length, N)); }
  // Takes the text cut to 255 characters, then to the field's capacity.
  void assign(std::string_view text) {
    size_t n = std::min(std::min<size_t>(text.size(), 255), N);
    std::copy_n(text.data(), n, Chars);
    Length = static_cast<uint8_t>(n);
  }
};

// What the driver manager records about an installed driver. 292 bytes, no gaps.
struct TODBCDriverInfo {
  ShortString<127> Driver;  // the driver library's path
  ShortString<20> DriverODBCVer;
  ShortString<100> DSN;
  ShortString<20> FileExtns;
  ShortString<20> UID;
};
static_assert(sizeof(TODBCDriverInfo) == 292);

// The driver description for a database code (1 Access, 2 Excel, 3 Text, 4 Paradox,
// 5 dBase, 6 Visual FoxPro, 7 dBase), with its file type in `fileType`; empty for others.
TABRIX_API std::string GetDSNTypeString(int32_t databaseCode, std::string& fileType);

// The installed driver's definition; all fields empty when it is not installed.
TABRIX_API TODBCDriverInfo GetODBCInfo(const std::string& driverDescription);

// Whether the data source's key exists: request 1 looks among user data sources, 4 among
// system data sources, any other code among user data sources.
TABRIX_API bool FindDSN(const std::string& name, int32_t requestCode);

// Create or reconfigure a data source through the ODBC installer. `extraAttributes` is
// empty or keyword=value pairs each ended by a NUL; it is appended to the attribute list.
// These two and RemoveDSN answer false, before building the list, for a request code outside
// 0 to 65535 (the installer's request is 16 bits wide, and a wider code would wrap to another
// request), for a string argument holding a NUL byte, and for malformed extra attributes.
TABRIX_API bool CreateDSN(int32_t requestCode, int32_t databaseCode, const std::string& name,
                          const std::string& description, const std::string& databasePath,
                          const std::string& defaultDir, const std::string& userId,
                          const std::string& password, const std::string& extraAttributes);
TABRIX_API bool ConfigureDSN(int32_t requestCode, int32_t databaseCode, const std::string& name,
                             const std::string& description, const std::string& databasePath,
                             const std::string& defaultDir, const std::string& userId,
                             const std::string& password, const std::string& extraAttributes);
// Request 6 removes a system data source, 7 the default one, every other code a user one.
TABRIX_API bool RemoveDSN(int32_t requestCode, int32_t databaseCode, const std::string& name);

// Write the data source's "SystemDB" value (its Access workgroup file), under the local
// machine or the current user. False for an empty path or a data source not defined there.
TABRIX_API bool RegisterSystemMDW(const std::string& name, const std::string& workgroupFile);
TABRIX_API bool RegisterMDW(const std::string& name, const std::string& workgroupFile);

}  // namespace TabrixCodeUnit

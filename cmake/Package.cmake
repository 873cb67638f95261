# make package: build/tabrix_<version>_amd64.deb, its dependencies found by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tabrix)
set(CPACK_PACKAGE_VENDOR "The Tabrix developers")
set(CPACK_PACKAGE_CONTACT "The Tabrix developers <tabrix@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "ODBC data sources for Excel workbooks and desktop-database drivers")
set(CPACK_PACKAGE_DESCRIPTION [=[
Tabrix creates ODBC data sources for Excel workbooks, and defines,
reconfigures, finds and removes data sources for the six desktop-database
ODBC drivers (Access, Excel, Text, Paradox, dBase, Visual FoxPro), in the
configuration files of unixODBC.

This package holds the tabrix command-line client, the package libraries
libTabrix_D4U, libTabrix_D5U and libTabrix_D6U with their headers, a
pkg-config file and a CMake package for programs built with them, the
manual page and the bash completion, and libtabrixodbc, a read-only ODBC
driver for Excel workbooks (.xlsx, .xlsm, .xls), registered with unixODBC
as "Microsoft Excel Driver (*.xls)" on install.]=])
# The maintainer scripts register the driver with unixODBC's odbcinst tool.
set(CPACK_DEBIAN_PACKAGE_DEPENDS odbcinst)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A shlibs file for the libraries, and the ldconfig trigger Debian asks of a package with
# libraries in /usr/lib, in place of the maintainer scripts CPack writes for them.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/triggers)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/DebTriggersOnly.cmake)
set(CPACK_STRIP_FILES ON)
include(CPack)

// The calls the platform makes into unixODBC's installer library, libodbcinst, behind a seam
// (Linux only; on Windows the installer calls odbccp32, linked).
//
// The default loads the library on first use (OdbcInstLibraryPosix.cpp), so that a program
// that does not link it, the client, starts without it; the packages link it, and then it is
// the very library the application reads the installer's log from. A test puts a library of
// its own in place.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Failure.h"
#include "platform/Seam.h"

namespace platform {

class OdbcInstLibrary {
 public:
  virtual ~OdbcInstLibrary() = default;
  // SQLConfigDataSource, with no parent window: unixODBC hands the request to the driver's
  // setup library. Whether it succeeded; why not is in the log.
  virtual bool ConfigDataSource(uint16_t request, const std::string& driver,
                                const std::string& attributes) = 0;
  // SQLInstallerError: the log's record `index` (from 1), nullopt past the last; the
  // Failure's code is the installer's error code.
  virtual std::optional<Failure> InstallerError(uint16_t index) = 0;
  // SQLPostInstallerError: adds a record to the log.
  virtual void PostInstallerError(uint32_t code, const std::string& message) = 0;
  // SQLGetConfigMode, which also empties the log: ODBC_BOTH_DSN (0) unless an application
  // set another.
  virtual uint16_t GetConfigMode() = 0;
  // odbcinst_system_file_path: the folder of unixODBC's system files, as it was built.
  virtual std::string SystemFilePath() = 0;
};

// The library loaded on first use (OdbcInstLibraryPosix.cpp). Its failures to load the
// library or find a function in it are std::runtime_errors.
OdbcInstLibrary& DefaultOdbcInstLibrary();

using OdbcInstLibrarySeam = Seam<OdbcInstLibrary, DefaultOdbcInstLibrary>;
template <>
OdbcInstLibrary* OdbcInstLibrarySeam::override_;  // OdbcInstLibraryPosix.cpp

inline OdbcInstLibrary& CurrentOdbcInstLibrary() { return OdbcInstLibrarySeam::Current(); }
using ScopedOdbcInstLibrary = OdbcInstLibrarySeam::Scoped;

}  // namespace platform

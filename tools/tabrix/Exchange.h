// What export, import and apply share: data sources as the three file formats hold them, the
// drivers they name, and the checks a data source passes before it is written.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sources/DataSourceStore.h"
#include "tools/tabrix/Cli.h"

namespace tabrix::cli::exchange {

using platform::Pairs;

// What export writes in place of a password, and what import and apply read as "keep the
// stored one".
inline constexpr std::string_view kMasked = "********";

struct DataSource {
  std::string name;
  bool system = true;
  std::string driver;  // the description as the drivers' definitions spell it
  Pairs attributes;    // every value but Driver, in order
};
inline const char* ScopeName(bool system) { return system ? "system" : "user"; }

// The drivers defined in odbcinst.ini (the registry's ODBCINST.INI on Windows).
class Drivers {
 public:
  // Raises std::exception naming the file when it cannot be read.
  static Drivers Read();
  // The definition a Driver value names, by its description or its library; nullopt when
  // none does.
  std::optional<std::string> Find(std::string_view value) const;
  // The library a driver manager loads for a description (Driver64, else Driver); "" when
  // it is not defined or names none.
  std::string Library(std::string_view description) const;
  // Where the definitions are, for messages.
  static std::string Where();

 private:
  struct Driver {
    std::string description, driver64, driver;
  };
  std::vector<Driver> list_;
};

// The description of a stored data source's driver: its Driver value as a defined driver,
// else its line in the listing, else the value as it stands.
std::string DriverOf(const platform::StoredSources& scope, const platform::StoredSource& source,
                     const Drivers& drivers);
// The values but Driver.
Pairs WithoutDriver(const Pairs& values);

// Why the data source cannot be written as it stands: its name, a keyword or a value;
// "" when it can.
std::string WhyNotStorable(const std::string& name, const Pairs& attributes);

// A value as export writes it: a password masked unless `passwords` is set (an empty one
// stays empty, as MaskedPair shows it).
std::string Masked(bool passwords, const std::string& keyword, const std::string& value);

// The file or key holding one scope's data sources, for messages.
std::string WhereScope(bool system);

// The formats. Passwords are masked unless `passwords` is set. The odbc.ini fragment is a
// unixODBC notion (ExchangeIni.cpp); the Windows build has none (ExchangeIniWindows.cpp).
// Why this build writes and reads no odbc.ini fragment; "" where it does.
std::string WhyNoIni();
std::string ToJson(const std::vector<DataSource>& sources, bool passwords);
std::string ToIni(const std::vector<DataSource>& sources, bool passwords);
std::string ToReg(const std::vector<DataSource>& sources, bool passwords, const Drivers& drivers);

// A codec's reason without its "line N: ".
std::string Reason(const std::exception& e);

// A file refused as a whole: what() names the file and the line where there is one.
struct Malformed : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A data source as an imported file gives it, before its driver is looked up.
struct Incoming {
  DataSource source;  // driver still empty
  bool scopeGiven = true;
  std::string driverValue;  // its Driver value (JSON: "driver")
  std::string listed;       // the file's listing line for it, where the file has one
  std::string where;        // "FILE:LINE" or "FILE: dsns[N]", for messages
  bool present = true;      // apply's "state"
};

enum class Format { Json, Ini, Reg };
Format Detect(std::string_view bytes);
// Raise Malformed. A JSON state may carry "state"; `stateAllowed` is false for import.
std::vector<Incoming> ParseJson(const std::string& text, const std::string& file,
                                bool stateAllowed);
std::vector<Incoming> ParseIni(const std::string& text, const std::string& file);
std::vector<Incoming> ParseReg(const std::string& bytes, const std::string& file);

}  // namespace tabrix::cli::exchange

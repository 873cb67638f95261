// What the client needs from the operating system it runs on; one file per OS, chosen by
// CMake (HostPosix.cpp, HostWindows.cpp).
#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace tabrix::cli::host {

// Adds --config-dir, the private folder of ODBC files, to a verb: a unixODBC notion. Where
// data sources live in the registry the option is refused with the reason.
void AddConfigDirOption(CLI::App& verb, std::string& dir);
// Points the ODBC layer at that folder, before anything reads its files; "" changes nothing.
void UseConfigDir(const std::string& dir);
// Where data sources and drivers are kept, for the help's footer.
std::string WhereDataSourcesLive();

// True when standard error is a terminal or console (progress is shown only there).
bool StandardErrorIsTerminal();

}  // namespace tabrix::cli::host

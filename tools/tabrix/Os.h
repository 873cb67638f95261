// What the client needs from the operating system it runs on beyond the data sources (which
// are platform/sources' store): its configuration option, the terminal, the secret prompt,
// its input and output files. One file per OS, chosen by CMake (OsPosix.cpp, OsWindows.cpp).
#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tabrix::cli::os {

// Adds --config-dir, the private folder of ODBC files, to a verb: a unixODBC notion. Where
// data sources live in the registry the option is refused with the reason.
void AddConfigDirOption(CLI::App& verb, std::string& dir);
// Points the ODBC layer at that folder, before anything reads its files; "" changes nothing.
void UseConfigDir(const std::string& dir);
// Where data sources and drivers are kept, for the help's footer.
std::string WhereDataSourcesLive();

// True when standard error is a terminal or console (progress is shown only there).
bool StandardErrorIsTerminal();

// A whole file for a verb to read (run's form file): a regular file only, never blocking.
// Raises std::exception with the reason, a missing file included.
std::string ReadWholeFile(const std::string& path);
// One line of standard input, with echo off when it is a terminal (the prompt then goes to
// standard error); false at the end of input, with no line.
bool ReadSecretLine(const std::string& prompt, std::string& line);
// Writes `bytes` to `path` through a temporary file in the same folder and a rename; a new
// file readable by its owner alone when `secret`. It writes through a symbolic link, and
// refuses what is not a regular file (a device, a FIFO, a folder) or what the caller could
// not write in place. Raises std::exception with the reason.
void WriteOutputFile(const std::string& path, const std::string& bytes, bool secret);
// Writes bytes to standard output as they are (no line-end translation).
void WriteStandardOutput(const std::string& bytes);

}  // namespace tabrix::cli::os

// What the client needs from the operating system it runs on; one file per OS, chosen by
// CMake (HostPosix.cpp, HostWindows.cpp).
#pragma once

#include <CLI/CLI.hpp>
#include <memory>
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

// Holds the lock on the file of one scope's data sources from before the first read of a
// change to after its last write; null where the store locks each write itself (the
// registry). Raises std::exception, with the reason, when the lock cannot be had.
std::shared_ptr<void> LockDataSources(bool system);
// How long a change waits for a lock another process holds; 0 does not wait. Standard error
// says which file is locked as soon as waiting starts.
void UseLockWait(double seconds);
// A whole file for a verb to read (run's form file): a regular file only, never blocking.
// Raises std::exception with the reason, a missing file included.
std::string ReadWholeFile(const std::string& path);
// One line of standard input, with echo off when it is a terminal (the prompt then goes to
// standard error); false at the end of input, with no line.
bool ReadSecretLine(const std::string& prompt, std::string& line);
// Where other users can read what is stored in the file of one scope's data sources (its
// path and mode), or "" where they cannot.
std::string ReadableByOthers(bool system);

}  // namespace tabrix::cli::host

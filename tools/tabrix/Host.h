// What the client needs from the operating system it runs on; one file per OS, chosen by
// CMake (HostPosix.cpp, HostWindows.cpp).
#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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

using Pairs = std::vector<std::pair<std::string, std::string>>;

// One scope's data sources as the ODBC layer reads them, in the store's order: each with its
// values (a name given twice: its first section only), and the listing's name = driver lines.
struct StoredSource {
  std::string name;
  Pairs values;  // one per keyword: the value unixODBC reads (the first)
  // The values it does not read, a keyword given again in its section: "FILE:LINE: ..." each.
  std::vector<std::string> ignored;
};
struct StoredSources {
  std::vector<StoredSource> sources;
  Pairs listing;
};
// Raises std::exception naming the file or key when the scope cannot be read, or unixODBC
// would read nothing from it. One read, however many data sources there are.
StoredSources ReadDataSources(bool system);

// One data source's change. Replace writes Driver (the driver's description on Linux, its
// library on Windows, as create writes it) and then `values`, dropping every other value;
// Update sets `values` only, and Driver too when `driver` is given; Remove drops the data
// source. Replace, and Update with a driver, set its line in the listing.
struct SourceEdit {
  enum class Kind { Replace, Update, Remove };
  Kind kind = Kind::Update;
  std::string name;
  std::string driver;  // the description as the drivers' definitions spell it
  Pairs values;
};
// Why a data source cannot be stored as it stands, its name, a keyword or a value, with the
// reason; "" when it can. On Linux, what odbc.ini cannot hold exactly.
std::string WhyNotStorable(const std::string& name, const Pairs& values);
// Makes the changes of one scope: on Linux one locked, atomic rewrite of its file (all or
// nothing); on Windows key by key through the registry. The names, keywords and values must
// have passed WhyNotStorable. Raises std::exception with the reason.
void EditDataSources(bool system, const std::vector<SourceEdit>& edits);

// Writes `bytes` to `path` through a temporary file in the same folder and a rename; a new
// file readable by its owner alone when `secret`. It writes through a symbolic link, and
// refuses what is not a regular file (a device, a FIFO, a folder) or what the caller could
// not write in place. Raises std::exception with the reason.
void WriteOutputFile(const std::string& path, const std::string& bytes, bool secret);
// Writes bytes to standard output as they are (no line-end translation).
void WriteStandardOutput(const std::string& bytes);

}  // namespace tabrix::cli::host

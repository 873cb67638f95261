// The files the benchmark works on: an odbc.ini of N Excel data sources, the drivers file
// that declares the Excel driver, and the data source every run adds and removes.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace bench {

using KeyValues = std::vector<std::pair<std::string, std::string>>;

inline constexpr const char* kDriver = "Microsoft Excel Driver (*.xls)";
// The data source each add creates and each remove deletes; it is never in the base file.
inline constexpr const char* kAddedName = "BenchAdded";

// "XlsSource00042": the i-th data source of a generated file (1-based).
std::string SourceName(int i);

// The keys of one data source in the order the installer writes them, Driver first.
KeyValues SourceKeys(const std::string& name);

// Where one file size keeps its files. The folder is what ODBCSYSINI names; the user file
// is what ODBCINI names and the only file any way changes.
struct Files {
  std::string folder;
  std::string base;      // the user file as generated: N data sources
  std::string with;      // the base file plus kAddedName, as an add would leave it
  std::string tmpl;      // kAddedName as an odbcinst template
  std::string userFile;  // the live user odbc.ini

  // Taken from ODBCSYSINI and ODBCINI. Exits unless both are set, ODBCSEARCH is not, and the
  // user file lies in the folder, so that no run can touch the machine's own files.
  static Files FromEnvironment();
};

// Writes odbcinst.ini, an empty system odbc.ini, the base and with files and the template
// into `folder`. Returns the size of the base file in bytes.
size_t Generate(const std::string& folder, int count);

// Puts a copy of `from` in place of `to`, synced, so that the next operation starts from a
// known file and does not pay for the copy's writeback.
void Restore(const std::string& from, const std::string& to);

// Value of a key in `keys`; empty when missing.
std::string Find(const KeyValues& keys, const std::string& key);

}  // namespace bench

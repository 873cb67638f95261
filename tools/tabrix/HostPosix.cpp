#include <unistd.h>

#include <cstdlib>

#include "tools/tabrix/Host.h"

namespace tabrix::cli::host {

void AddConfigDirOption(CLI::App& verb, std::string& dir) {
  verb.add_option("--config-dir", dir,
                  "A private folder holding odbcinst.ini (the drivers), odbc.ini (system data "
                  "sources) and odbc.user.ini (user data sources), instead of unixODBC's own "
                  "files")
      ->check(CLI::ExistingDirectory);
}

void UseConfigDir(const std::string& dir) {
  if (dir.empty()) return;
  setenv("ODBCSYSINI", dir.c_str(), 1);
  setenv("ODBCINSTINI", "odbcinst.ini", 1);
  setenv("ODBCINI", (dir + "/odbc.user.ini").c_str(), 1);
  unsetenv("ODBCSEARCH");
}

std::string WhereDataSourcesLive() {
  return "Files: unixODBC's own (odbcinst -j shows them), or with --config-dir DIR the folder's "
         "odbcinst.ini, odbc.ini and odbc.user.ini.";
}

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace tabrix::cli::host

#include <io.h>

#include <cstdio>

#include "tools/tabrix/Host.h"

namespace tabrix::cli::host {

// Kept out of the help but still parsed, so that a script written for the Linux build
// learns why, rather than reading "not expected". A usage error (exit 2).
void AddConfigDirOption(CLI::App& verb, std::string&) {
  verb.add_option_function<std::string>(
          "--config-dir",
          [](const std::string&) {
            throw CLI::ValidationError(
                "--config-dir",
                "not available in the Windows build: it names unixODBC's files; "
                "data sources and drivers are in the registry");
          })
      ->group("");
}

// The option never carries a value here: its check refuses it while parsing.
void UseConfigDir(const std::string&) {}

std::string WhereDataSourcesLive() {
  return "Data sources: the registry, HKEY_CURRENT_USER (user) and HKEY_LOCAL_MACHINE (system) "
         "\\Software\\ODBC\\ODBC.INI; drivers under HKEY_LOCAL_MACHINE\\Software\\ODBC\\"
         "ODBCINST.INI.";
}

bool StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

}  // namespace tabrix::cli::host

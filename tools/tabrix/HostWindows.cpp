#include <io.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "platform/WindowsApi.h"
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

// The registry serialises each write itself; there is no file to lock.
std::shared_ptr<void> LockDataSources(bool) { return nullptr; }

void UseLockWait(double) {}

std::string ReadWholeFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) throw std::runtime_error(path + ": no such file");
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) throw std::runtime_error(path + " is a folder");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error(path + ": cannot be read");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool ReadSecretLine(const std::string& prompt, std::string& line) {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  const bool console = GetConsoleMode(input, &mode) != 0;
  if (console) {
    SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    std::cerr << prompt << std::flush;
  }
  const bool read = static_cast<bool>(std::getline(std::cin, line));
  if (console) {
    SetConsoleMode(input, mode);
    std::cerr << std::endl;
  }
  return read;
}

// The registry keeps its own access rights per key.
std::string ReadableByOthers(bool) { return ""; }

}  // namespace tabrix::cli::host

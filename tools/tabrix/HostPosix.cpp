#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "platform/odbcini/OdbcIni.h"
#include "tools/tabrix/Host.h"

namespace tabrix::cli::host {

namespace ini = platform::odbcini;

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

std::shared_ptr<void> LockDataSources(bool system) {
  return std::make_shared<ini::FileLock>(system ? ini::SystemFile() : ini::UserFile());
}

void UseLockWait(double seconds) {
  ini::SetLockWait({seconds, [](const std::string& file) {
                      std::cerr << "tabrix: " << file << " is locked by another process (" << file
                                << ".lock); waiting" << std::endl;
                    }});
}

std::string ReadWholeFile(const std::string& path) {
  std::string text;
  if (!ini::ReadFile(path, text)) throw std::runtime_error(path + ": no such file");
  return text;
}

bool ReadSecretLine(const std::string& prompt, std::string& line) {
  termios saved{};
  const bool terminal = isatty(STDIN_FILENO) == 1 && tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    std::cerr << prompt << std::flush;
  }
  const bool read = static_cast<bool>(std::getline(std::cin, line));
  if (terminal) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  return read;
}

std::string ReadableByOthers(bool system) {
  const std::string file = system ? ini::SystemFile() : ini::UserFile();
  struct stat st {};
  if (stat(file.c_str(), &st) != 0 || (st.st_mode & 044) == 0) return "";
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
  return file + " (mode " + mode + ")";
}

}  // namespace tabrix::cli::host

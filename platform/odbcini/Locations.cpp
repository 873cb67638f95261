// Where unixODBC's configuration files are.
#include "platform/odbcini/Locations.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/odbcini/Rewrite.h"
#include "platform/odbcinst/OdbcInstLibrary.h"

namespace platform::odbcini {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string SystemFolder() {
  std::string dir = Env("ODBCSYSINI");
  if (!dir.empty()) return dir;
  return CurrentOdbcInstLibrary().SystemFilePath();  // unixODBC's own answer
}

}  // namespace

std::string UserFile() {
  std::string file = Env("ODBCINI");
  if (!file.empty()) return file;
  // As _odbcinst_UserINI asks: getpwuid_r into a 1,024-byte buffer. Without an entry, or with
  // one that does not fit, unixODBC takes "/home", not $HOME.
  char buf[1024];
  passwd entry{};
  passwd* found = nullptr;
  getpwuid_r(getuid(), &entry, buf, sizeof buf, &found);
  const char* home = found == &entry && entry.pw_dir ? entry.pw_dir : "/home";
  return std::string(home) + "/.odbc.ini";
}

std::string SystemFile() { return SystemFolder() + "/odbc.ini"; }

// $ODBCINSTINI set but empty names the folder itself, as unixODBC joins the two.
std::string DriversFile() {
  const char* name = std::getenv("ODBCINSTINI");
  return SystemFolder() + "/" + (name ? name : "odbcinst.ini");
}

std::string UserDriversFile() {
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "/home") + "/.odbcinst.ini";
}

bool ReadDriversFile(const std::string& path, std::string& text) {
  if (!path.empty() &&
      path.back() == '/') {  // unixODBC's fopen opens the folder; fgets reads nothing
    text.clear();
    return true;
  }
  return ReadFile(path, text);
}

}  // namespace platform::odbcini

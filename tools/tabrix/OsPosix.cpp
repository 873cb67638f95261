#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>

#include "platform/odbcini/OdbcIni.h"
#include "tools/tabrix/Os.h"

namespace tabrix::cli::os {

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

std::string ReadWholeFile(const std::string& path) {
  std::string text;
  if (!ini::ReadFile(path, text)) throw std::runtime_error(path + ": no such file");
  return text;
}

namespace {

// The terminal's settings while echo is off, for a signal that ends the run at the prompt.
termios echoing{};
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

extern "C" void RestoreEchoAndDie(int signal) {
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &echoing);  // async-signal-safe
  ::signal(signal, SIG_DFL);
  raise(signal);  // dies of it as it would have, with its exit status
}

}  // namespace

bool ReadSecretLine(const std::string& prompt, std::string& line) {
  termios saved{};
  const bool terminal = isatty(STDIN_FILENO) == 1 && tcgetattr(STDIN_FILENO, &saved) == 0;
  struct sigaction previous[std::size(kEndingSignals)] = {};
  if (terminal) {
    // ^C, a kill or a hang-up at the prompt must not leave the terminal without echo.
    echoing = saved;
    struct sigaction restore {};
    restore.sa_handler = RestoreEchoAndDie;
    sigemptyset(&restore.sa_mask);
    for (int sig : kEndingSignals) sigaddset(&restore.sa_mask, sig);
    for (size_t i = 0; i < std::size(kEndingSignals); ++i)
      sigaction(kEndingSignals[i], &restore, &previous[i]);
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    std::cerr << prompt << std::flush;
  }
  const bool read = static_cast<bool>(std::getline(std::cin, line));
  if (terminal) {
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    for (size_t i = 0; i < std::size(kEndingSignals); ++i)
      sigaction(kEndingSignals[i], &previous[i], nullptr);
  }
  return read;
}

namespace {

// Where a symbolic link leads, followed to its end whether or not that end exists yet: an
// export through a dangling link makes the file it names, as a shell's redirection does.
std::string Followed(const std::string& requested) {
  std::string path = requested;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    const ssize_t n = readlink(path.c_str(), target.data(), target.size());
    if (n < 0) break;
    target.resize(static_cast<size_t>(n));
    if (target.empty() || target[0] != '/') {
      const size_t slash = path.rfind('/');
      target = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + target;
    }
    path = target;
  }
  if (char* real = realpath(path.c_str(), nullptr)) {
    path = real;
    std::free(real);
  }
  return path;
}

// A file to replace by rename must be a regular file the caller may write: a rename would
// put a file in place of a device or a FIFO, and would bypass a file's own permissions. A
// symbolic link is written through to the file it names, as the configuration files are.
// Answers the path and the mode the file has (0 for a new one).
std::pair<std::string, mode_t> OutputTarget(const std::string& requested) {
  const std::string path = Followed(requested);
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return {path, 0};  // a new file
  const char* kind = S_ISREG(st.st_mode)    ? nullptr
                     : S_ISDIR(st.st_mode)  ? "a folder"
                     : S_ISFIFO(st.st_mode) ? "a FIFO"
                     : S_ISCHR(st.st_mode)  ? "a character device"
                     : S_ISBLK(st.st_mode)  ? "a block device"
                                            : "not a regular file";
  if (kind)
    throw std::runtime_error(path + " is " + kind + "; an export is written to a regular file");
  if (std::string why = platform::odbcini::WhyNotWritable(path); !why.empty())
    throw std::runtime_error(why);
  return {path, st.st_mode & 07777};
}

}  // namespace

void WriteOutputFile(const std::string& requested, const std::string& bytes, bool secret) {
  // A file replaced keeps its mode, so an owner-only one stays owner-only; a new file without
  // secrets gets what the umask allows, as a shell's redirection would. Passwords are for the
  // owner alone either way.
  const mode_t mask = umask(0);
  umask(mask);
  const auto [path, mode] = OutputTarget(requested);
  mode_t wanted = mode != 0 ? mode : 0666 & ~mask;
  if (secret) wanted &= 0700;
  platform::odbcini::ReplaceFile(path, bytes, wanted);
}

void WriteStandardOutput(const std::string& bytes) { std::cout.write(bytes.data(), bytes.size()); }

}  // namespace tabrix::cli::os

// Crash safety: a writer adding and removing data sources is killed with SIGKILL at random
// moments; after each kill the file must still read cleanly with unixODBC's odbcinst and
// hold only whole sections, each listed under [ODBC Data Sources], with the mode it had.
//
//   tabrix_crash FOLDER [RUNS]
//
// Each writer removes what it adds, so the file stays at its 200 base data sources plus
// one: it never outgrows what odbcinst -q -s can list, and every run costs the same.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "library/TabrixCodeUnit.h"
#include "platform/odbcini/OdbcIni.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

namespace ini = platform::odbcini;

const std::string kOptions =
    "ImplicitCommitSync=\0ReadOnly=0\0FirstRowHasNames=1\0MaxScanRows=8\0SafeTransactions=0\0"
    "Threads=3\0UserCommitSync=No\0"s;
constexpr size_t kKeysPerSource = 14;  // Driver, the six other pairs, seven options
constexpr int kBaseSources = 200;

// Built with snprintf: GCC 12 at -O3 flags "W" + std::to_string(...) (bug 105651).
std::string Name(const char* prefix, int a, int b = -1) {
  char buf[48];
  if (b < 0)
    std::snprintf(buf, sizeof buf, "%s%d", prefix, a);
  else
    std::snprintf(buf, sizeof buf, "%s%d_%d", prefix, a, b);
  return buf;
}

std::string Workbook(const std::string& name) { return "/data/" + name + ".xls"; }

bool Add(const std::string& name) {
  return TabrixCodeUnit::CreateDSN(1, 2, name, "Crash test " + name, Workbook(name), "/data",
                                   "admin", "secret", kOptions);
}

bool Remove(const std::string& name) { return TabrixCodeUnit::RemoveDSN(1, 2, name); }

// Adds and removes its own data sources until killed, telling `done` of each change made.
[[noreturn]] void Writer(int run, int done) {
  for (int i = 0;; ++i) {
    const std::string name = Name("W", run, i);
    if (Add(name)) (void)!write(done, "a", 1);
    if (Remove(name)) (void)!write(done, "r", 1);
  }
}

std::string Run(const char* command, int& status) {
  std::string out;
  FILE* pipe = popen(command, "r");
  if (!pipe) {
    status = -1;
    return out;
  }
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  status = pclose(pipe);
  return out;
}

// What is wrong with the file, or "" when it is whole.
std::string Inspect(const fs::path& file, mode_t mode) {
  std::string text;
  if (!ini::ReadFile(file, text)) return "the file is gone";
  struct stat st {};
  if (stat(file.c_str(), &st) != 0 || (st.st_mode & 07777) != mode) return "the mode changed";
  std::set<std::string> sections, listed;
  std::string fault;
  ini::ForEachSection(text, [&](const ini::Section& s) {
    const std::string name(s.name);
    auto keys = ini::ReadKeys(std::string_view(text).substr(s.body, s.end - s.body));
    if (s.name == ini::kDataSourcesSection) {
      for (const auto& kv : keys) listed.insert(kv.first);
    } else if (!sections.insert(name).second) {
      fault = "section [" + name + "] twice";
    } else if (keys.size() != kKeysPerSource) {
      fault = "partial section [" + name + "]";
    } else if (ini::FindKey(std::string_view(text).substr(s.body, s.end - s.body), "DBQ") !=
               Workbook(name)) {
      fault = "a wrong DBQ in [" + name + "]";
    }
    return fault.empty();
  });
  if (!fault.empty()) return fault;
  if (sections != listed) return "[ODBC Data Sources] does not match the sections";
  if (sections.size() < kBaseSources) return "base data sources are missing";

  // unixODBC's own reading: every section listed, and the command succeeding.
  int status = 0;
  const std::string out = Run("odbcinst -q -s -h 2>&1", status);
  if (status != 0) return "odbcinst failed: " + out;
  const auto names = static_cast<size_t>(std::count(out.begin(), out.end(), '\n'));
  if (names != sections.size())
    return "odbcinst lists " + std::to_string(names) + " of " + std::to_string(sections.size());
  return "";
}

// Temporary files of ours in the folder right now.
std::set<std::string> TempFiles(const fs::path& dir) {
  std::set<std::string> found;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path().filename().string().find(".tabrix-") != std::string::npos)
      found.insert(entry.path().filename().string());
  return found;
}

double Since(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FOLDER [RUNS]\n", argv[0]);
    return 2;
  }
  const fs::path dir = fs::absolute(argv[1]);
  const int runs = argc > 2 ? std::atoi(argv[2]) : 500;
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::ofstream(dir / "odbcinst.ini")
      << "[Microsoft Excel Driver (*.xls)]\nDriver = /opt/odbc/excel.so\n";
  const fs::path file = dir / "odbc.user.ini";
  setenv("ODBCSYSINI", dir.c_str(), 1);
  setenv("ODBCINSTINI", "odbcinst.ini", 1);
  setenv("ODBCINI", file.c_str(), 1);
  unsetenv("ODBCSEARCH");
  for (int i = 0; i < kBaseSources; ++i)
    if (!Add(Name("Base", i))) {
      std::fprintf(stderr, "tabrix_crash: cannot add the base data sources\n");
      return 1;
    }
  struct stat st {};
  stat(file.c_str(), &st);
  const mode_t mode = st.st_mode & 07777;

  // Kills land anywhere in the first few changes of a writer, however fast the machine.
  auto timing = std::chrono::steady_clock::now();
  for (int i = 0; i < 10; ++i)
    if (Add("Timing")) Remove("Timing");
  const double change = Since(timing) / 20;
  std::uniform_int_distribution<int> delayUs(0, std::max(2000, static_cast<int>(change * 8e6)));

  std::mt19937 random(20261207);
  int bad = 0, midWrite = 0;
  long changes = 0;
  std::set<std::string> leftovers;
  const auto start = std::chrono::steady_clock::now();
  for (int run = 0; run < runs; ++run) {
    int done[2];
    if (pipe2(done, O_NONBLOCK | O_CLOEXEC) != 0) return 1;
    const pid_t pid = fork();
    if (pid < 0) return 1;
    if (pid == 0) {
      close(done[0]);
      Writer(run, done[1]);
    }
    close(done[1]);
    usleep(static_cast<useconds_t>(delayUs(random)));
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    char buf[256];
    for (ssize_t n; (n = read(done[0], buf, sizeof buf)) > 0;) changes += n;
    close(done[0]);

    // A temporary file now is one the killed writer had not renamed yet.
    const std::set<std::string> temps = TempFiles(dir);
    if (std::any_of(temps.begin(), temps.end(), [&](auto& t) { return !leftovers.count(t); }))
      ++midWrite;
    leftovers.insert(temps.begin(), temps.end());
    const std::string fault = Inspect(file, mode);
    if (!fault.empty()) {
      ++bad;
      std::printf("run %d: %s\n", run, fault.c_str());
    }
  }
  const double seconds = Since(start);

  // The next write clears what killed writers left.
  const bool cleared = Add("After") && Remove("After") && TempFiles(dir).empty();
  std::printf("runs %d\nseconds %.1f\nchange_ms %.2f\nkill_window_ms %.1f\n", runs, seconds,
              change * 1e3, delayUs.b() / 1e3);
  std::printf("changes %ld\ndamaged %d\nkilled_mid_write %d\nleftover_temp_files %zu\n", changes,
              bad, midWrite, leftovers.size());
  std::printf("left_after_next_write %zu\n", cleared ? 0 : TempFiles(dir).size());
  return bad || !cleared ? 1 : 0;
}

#include "bench/Concurrency.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <map>
#include <set>
#include <stdexcept>
#include <vector>

#include "bench/Measure.h"
#include "bench/Ways.h"
#include "platform/odbcini/OdbcIni.h"

// After our own headers: unixODBC defines the request codes as macros.
#include <odbcinst.h>

namespace bench {
namespace {

namespace ini = platform::odbcini;

// What ProfileWay::Add does, for any name.
bool ProfileAdd(const std::string& name) {
  const char* file = "odbc.ini";
  if (!SQLWriteDSNToIni(name.c_str(), kDriver)) return false;
  for (const auto& [k, v] : SourceKeys(name)) {
    if (k == "Driver") continue;
    if (!SQLWritePrivateProfileString(name.c_str(), k.c_str(), v.c_str(), file)) return false;
  }
  return SQLWritePrivateProfileString("ODBC Data Sources", name.c_str(), kDriver, file);
}

// Waits for the start signal, adds its data sources, and exits with the failure count.
[[noreturn]] void Writer(int start, const std::string& way, const Files& files,
                         const std::string& client, int writer, int each) {
  char signal;
  (void)!read(start, &signal, 1);  // returns at end of file: every writer was forked
  close(start);
  if (way == "profile") SQLSetConfigMode(ODBC_USER_DSN);
  int failures = 0;
  for (int i = 0; i < each; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "W%d_%d", writer, i);
    long peakKb = 0;
    const bool ok = way == "client"
                        ? RunQuietly(ClientCreate(client, files.folder, name), peakKb) == 0
                        : ProfileAdd(name);
    failures += ok ? 0 : 1;
  }
  _exit(std::min(failures, 255));
}

}  // namespace

Census Count(const std::string& path) {
  std::string text;
  Census c;
  if (!ini::ReadFile(path, text)) return c;
  std::map<std::string, size_t> keys;
  std::set<std::string> listed;
  ini::ForEachSection(text, [&](const ini::Section& s) {
    const auto pairs = ini::ReadKeys(std::string_view(text).substr(s.body, s.end - s.body));
    if (s.name == ini::kDataSourcesSection)
      for (const auto& kv : pairs) listed.insert(kv.first);
    else
      keys[std::string(s.name)] = pairs.size();
    return true;
  });
  size_t fullest = 0;
  for (const auto& [name, n] : keys) fullest = std::max(fullest, n);
  c.sections = static_cast<int>(keys.size());
  c.listed = static_cast<int>(listed.size());
  for (const auto& [name, n] : keys) {
    c.both += listed.count(name) ? 1 : 0;
    c.partial += n < fullest ? 1 : 0;
  }
  return c;
}

Outcome RunWriters(const std::string& way, const Files& files, const std::string& client,
                   int writers, int each) {
  if (way == "client" && files.userFile != files.folder + "/odbc.user.ini")
    throw std::runtime_error("the client writes odbc.user.ini: point ODBCINI at it");
  if (way != "client" && way != "profile") throw std::runtime_error("unknown way " + way);
  int start[2];
  if (pipe(start) != 0) throw std::runtime_error("pipe");
  std::fflush(nullptr);
  std::vector<pid_t> pids;
  for (int w = 0; w < writers; ++w) {
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork");
    if (pid == 0) {
      close(start[1]);
      Writer(start[0], way, files, client, w, each);
    }
    pids.push_back(pid);
  }
  close(start[0]);
  const auto began = std::chrono::steady_clock::now();
  close(start[1]);  // every writer's read returns now

  Outcome outcome;
  for (pid_t pid : pids) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    outcome.failures += WIFEXITED(status) ? WEXITSTATUS(status) : each;
  }
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  return outcome;
}

}  // namespace bench

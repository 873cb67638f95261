#include "bench/Measure.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>

extern char** environ;

namespace bench {
namespace {

bool ReadAll(int fd, void* data, size_t size) {
  auto* p = static_cast<char*>(data);
  while (size > 0) {
    ssize_t n = read(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

int Wait(pid_t pid, rusage* usage) {
  int status = 0;
  while (wait4(pid, &status, 0, usage) < 0)
    if (errno != EINTR) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

Sample MeasureInChild(const std::function<bool()>& op) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  std::fflush(nullptr);  // nothing buffered may be written twice
  const pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return {};
  }
  if (pid == 0) {
    close(fds[0]);
    Sample s;
    s.startKb = StatusKb("VmRSS");
    const auto start = std::chrono::steady_clock::now();
    try {
      s.ok = op();
    } catch (...) {
      s.ok = false;
    }
    s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    s.peakKb = StatusKb("VmHWM");
    (void)!write(fds[1], &s, sizeof s);
    _exit(0);  // no destructors or atexit handlers of the parent's state
  }
  close(fds[1]);
  Sample s;
  const bool got = ReadAll(fds[0], &s, sizeof s);
  close(fds[0]);
  const int status = Wait(pid, nullptr);
  if (!got || status != 0) return {};
  return s;
}

int RunQuietly(const std::vector<std::string>& argv, long& peakKb, const std::string& output) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;

  rusage usage{};
  const int status = Wait(pid, &usage);
  peakKb = usage.ru_maxrss;
  return status;
}

long StatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const size_t n = std::strlen(field);
  while (std::getline(status, line))
    if (line.compare(0, n, field) == 0 && line.size() > n && line[n] == ':')
      return std::stol(line.substr(n + 1));
  return -1;
}

}  // namespace bench

// Reading a configuration file, and the locked, atomic rewrite of one.
#include <dirent.h>
#include <fcntl.h>
#include <libgen.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/odbcini/OdbcIni.h"
#include "platform/odbcini/SystemCalls.h"

namespace platform::odbcini {

SystemCalls& DefaultSystemCalls() {
  static SystemCalls calls{::flock, ::write, ::fsync, ::rename};
  return calls;
}

template <>
SystemCalls* SystemCallsSeam::override_ = nullptr;

namespace {

const SystemCalls& Sys() { return SystemCallsSeam::Current(); }

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

std::string Dirname(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Follows symbolic links, dangling ones included, to the file that is really written.
std::string ResolveLinks(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char target[PATH_MAX];
    ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    if (n < 0) return path;
    std::string link(target, static_cast<size_t>(n));
    path = link[0] == '/' ? link : Dirname(path) + "/" + link;
  }
  throw std::system_error(ELOOP, std::generic_category(), path);
}

[[noreturn]] void Fail(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

// Writes all of `data` for `target`: a short write goes on where it stopped.
void WriteAll(int fd, std::string_view data, const std::string& target) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = Sys().write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail("cannot write " + target);
    done += static_cast<size_t>(n);
  }
}

// A signal during fsync leaves the data unsynced, not the file broken: sync again.
int Sync(int fd) {
  for (;;) {
    const int rc = Sys().fsync(fd);
    if (rc == 0 || errno != EINTR) return rc;
  }
}

std::string Basename(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// Temporary files of one target are named ".<file>.tabrix-XXXXXX" beside it.
std::string TempPrefix(const std::string& target) {
  std::string prefix = ".";
  prefix += Basename(target);
  prefix += ".tabrix-";
  return prefix;
}

// A writer killed between creating its temporary file and renaming it leaves the file behind.
// Only writers of the same target make files of that name, and they hold its lock: whatever
// is there now is such a leftover.
void RemoveLeftovers(const std::string& target) {
  DIR* dir = opendir(Dirname(target).c_str());
  if (!dir) return;
  const std::string prefix = TempPrefix(target);
  while (const dirent* entry = readdir(dir))
    if (std::string_view(entry->d_name).starts_with(prefix)) unlinkat(dirfd(dir), entry->d_name, 0);
  closedir(dir);
}

// A temporary file next to the target, removed unless it was renamed into place.
class TempFile {
 public:
  explicit TempFile(const std::string& target)
      : path_(Dirname(target) + "/" + TempPrefix(target) + "XXXXXX") {
    fd_ = Fd(mkostemp(path_.data(), O_CLOEXEC)).release();
    if (fd_ < 0) Fail("cannot create a temporary file in " + Dirname(target));
  }
  ~TempFile() {
    if (fd_ >= 0) close(fd_);
    if (!renamed_) unlink(path_.c_str());
  }
  int fd() const { return fd_; }
  void Commit(const std::string& target) {
    if (Sync(fd_) != 0) Fail("cannot sync " + target + " to disk");
    if (close(fd_) != 0) {
      fd_ = -1;
      Fail("cannot write " + target);
    }
    fd_ = -1;
    if (Sys().rename(path_.c_str(), target.c_str()) != 0) Fail("cannot replace " + target);
    renamed_ = true;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  int fd_ = -1;
  bool renamed_ = false;
};

}  // namespace

namespace {

std::string KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

// A refusal whose message is ours alone, without an error number's text after it.
class Refusal : public std::system_error {
 public:
  Refusal(std::errc code, std::string message)
      : std::system_error(std::make_error_code(code)), message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

[[noreturn]] void Refuse(const std::string& path, const std::string& why) {
  throw Refusal(std::errc::invalid_argument, path + " is " + why);
}

// Reads the whole file and its status from one descriptor, so both describe the same file.
// Opening without blocking keeps a FIFO from holding us; fstat then refuses it.
bool ReadWithStatus(const std::string& path, std::string& text, struct stat& st) {
  Fd fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT) return false;
    Fail(path);
  }
  if (fstat(fd.get(), &st) != 0) Fail(path);
  if (!S_ISREG(st.st_mode)) Refuse(path, KindOf(st.st_mode) + ", not a configuration file");
  const std::string tooLarge = "larger than " + std::to_string(kMaxFileSize >> 20) +
                               " MiB, the limit for a configuration file";
  if (static_cast<uint64_t>(st.st_size) > kMaxFileSize) Refuse(path, tooLarge);
  // Room for an edit of one section, so that changing a large file does not copy it again.
  text.clear();
  text.reserve(static_cast<size_t>(st.st_size) + 65536);
  char buf[1 << 16];
  for (;;) {
    ssize_t n = read(fd.get(), buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail(path);
    if (n == 0) break;
    if (text.size() + static_cast<size_t>(n) > kMaxFileSize) Refuse(path, tooLarge);  // it grew
    text.append(buf, static_cast<size_t>(n));
  }
  return true;
}

LockWait& CurrentLockWait() {
  static LockWait wait;
  return wait;
}

// The locks this thread holds, by target file, so that a change inside a FileLock's scope
// reuses it: flock locks belong to open files, and a second one would wait on the first.
thread_local std::vector<std::string> heldLocks;

bool HeldHere(const std::string& target) {
  return std::find(heldLocks.begin(), heldLocks.end(), target) != heldLocks.end();
}

// Root making a file in another user's folder gives it that user (the data file's owner
// where there is one, else the folder's), so the owner is not locked out of it afterwards.
void GiveToOwner(int fd, const std::string& target) {
  if (geteuid() != 0) return;
  struct stat owner {};
  if (stat(target.c_str(), &owner) != 0 && stat(Dirname(target).c_str(), &owner) != 0) return;
  if (owner.st_uid != 0 || owner.st_gid != 0) (void)!fchown(fd, owner.st_uid, owner.st_gid);
}

int OpenLockFile(const std::string& target) {
  const std::string lockPath = target + ".lock";
  const int flags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int raw = open(lockPath.c_str(), flags | O_CREAT | O_EXCL, 0600);
  const bool created = raw >= 0;
  if (!created && errno == EEXIST) raw = open(lockPath.c_str(), flags);
  Fd fd(raw);
  if (fd.get() < 0) {
    if (errno == ELOOP) Refuse(lockPath, "a symbolic link; the lock file must be a regular file");
    Fail("cannot open the lock file " + lockPath);
  }
  struct stat st {};
  if (fstat(fd.get(), &st) != 0) Fail(lockPath);
  if (!S_ISREG(st.st_mode)) Refuse(lockPath, KindOf(st.st_mode) + ", not a lock file");
  if (created) GiveToOwner(fd.get(), target);
  return fd.release();
}

std::string Seconds(double seconds) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g second%s", seconds, seconds == 1 ? "" : "s");
  return buf;
}

using Clock = std::chrono::steady_clock;

// Until when a lock held elsewhere is waited for; beyond a year is as good as forever.
Clock::time_point Deadline() {
  double seconds = CurrentLockWait().seconds;
  seconds = seconds > 0 ? std::min(seconds, 365.0 * 24 * 3600) : 0;  // NaN too: no wait
  return Clock::now() +
         std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// Waits for the lock until `deadline`, telling whoever asked to know once it has to wait.
void Acquire(int fd, const std::string& target, Clock::time_point deadline) {
  const LockWait wait = CurrentLockWait();
  auto pause = std::chrono::milliseconds(1);
  bool told = false;
  while (Sys().flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) Fail("cannot lock " + target + ".lock");
    if (Clock::now() >= deadline)
      throw Refusal(
          std::errc::resource_unavailable_try_again,
          target + " is locked by another process (" + target + ".lock); " +
              (wait.seconds > 0 ? "gave up after " + Seconds(wait.seconds) : "not waiting"));
    if (!told && wait.waiting) wait.waiting(target);
    told = true;
    std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - Clock::now()));
    pause = std::min(pause * 2, std::chrono::milliseconds(50));
  }
}

// After a rename: the new file is in place and seen by every reader from now on, so a folder
// that fails to sync (which would only lose the rename in a crash) is no failure.
void SyncFolder(const std::string& target) {
  Fd dir(open(Dirname(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) Sync(dir.get());
}

}  // namespace

void ReplaceFile(const std::string& path, std::string_view data, unsigned mode) {
  TempFile temp(path);
  WriteAll(temp.fd(), data, path);
  if (fchmod(temp.fd(), mode) != 0) Fail(temp.path());
  temp.Commit(path);
  SyncFolder(path);
}

bool ReadFile(const std::string& path, std::string& text) {
  struct stat st {};
  return ReadWithStatus(path, text, st);
}

std::string WhyNotWritable(const std::string& path) {
  // The kernel decides, as it would for a writer in place; nothing is truncated or written.
  Fd fd(open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() >= 0 || errno == ENOENT) return "";
  return "cannot write " + path + ": " + std::strerror(errno);
}

void SetLockWait(LockWait wait) { CurrentLockWait() = std::move(wait); }

FileLock::FileLock(const std::string& path) : target_(ResolveLinks(path)) {
  if (HeldHere(target_)) return;
  // No lock file beside what is not a configuration file (a link to /dev/zero leads to /dev).
  struct stat st {};
  if (stat(target_.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
    Refuse(target_, KindOf(st.st_mode) + ", not a configuration file");
  const auto deadline = Deadline();
  for (;;) {
    Fd fd(OpenLockFile(target_));
    Acquire(fd.get(), target_, deadline);
    // A lock file removed or replaced meanwhile is no lock at all: take the one now there.
    struct stat held {
    }, there{};
    if (fstat(fd.get(), &held) == 0 && lstat((target_ + ".lock").c_str(), &there) == 0 &&
        held.st_dev == there.st_dev && held.st_ino == there.st_ino) {
      fd_ = fd.release();
      break;
    }
  }
  heldLocks.push_back(target_);
}

FileLock::~FileLock() {
  if (fd_ < 0) return;
  heldLocks.erase(std::find(heldLocks.begin(), heldLocks.end(), target_));
  close(fd_);  // releases the lock
}

bool RewriteFile(const std::string& path, bool create, unsigned newMode, const Edit& edit,
                 std::string& reason) {
  return RewriteFile(
      path, create, newMode,
      [&](std::string& text, std::optional<Splice>&, std::string& why) { return edit(text, why); },
      reason);
}

bool RewriteFile(const std::string& path, bool create, unsigned newMode, const SplicingEdit& edit,
                 std::string& reason) {
  try {
    const std::string target = ResolveLinks(path);
    FileLock lock(target);
    RemoveLeftovers(target);

    std::string text;
    struct stat st {};
    const bool exists = ReadWithStatus(target, text, st);
    if (!exists && !create) {
      reason = target + " does not exist";
      return false;
    }
    if (exists && !(reason = WhyNotWritable(target)).empty()) return false;
    // unixODBC reads nothing from such a file; a change to it would not be seen either.
    if (auto rejected = FindRejection(text)) {
      reason =
          rejected->In(target) + "; unixODBC reads nothing from this file, so it is left as it is";
      return false;
    }
    std::optional<Splice> splice;
    if (!edit(text, splice, reason)) return false;
    if (splice && splice->at + splice->erase > text.size()) {
      reason = "an edit of " + target + " reached past its end";  // a fault of ours
      return false;
    }

    TempFile temp(target);
    const std::string_view all(text);
    if (!splice) {
      WriteAll(temp.fd(), all, target);
    } else {
      WriteAll(temp.fd(), all.substr(0, splice->at), target);
      WriteAll(temp.fd(), splice->insert, target);
      WriteAll(temp.fd(), all.substr(splice->at + splice->erase), target);
    }
    if (fchmod(temp.fd(), exists ? (st.st_mode & 07777) : newMode) != 0) Fail(temp.path());
    // Keeping the owner needs privileges we may not have; the file is ours then anyway.
    if (exists && (st.st_uid != geteuid() || st.st_gid != getegid()))
      (void)!fchown(temp.fd(), st.st_uid, st.st_gid);
    if (!exists) GiveToOwner(temp.fd(), target);
    temp.Commit(target);
    SyncFolder(target);
    return true;
  } catch (const std::system_error& e) {
    reason = e.what();
    return false;
  }
}

}  // namespace platform::odbcini

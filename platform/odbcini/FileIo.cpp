// Reading a configuration file, and the locked, atomic rewrite of one.
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pthread.h>
#include <pwd.h>
#include <signal.h>
#include <linux/capability.h>
#include <sys/file.h>
#include <sys/fsuid.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
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

template <>
platform::odbcini::SystemCalls* platform::odbcini::SystemCallsSeam::override_ = nullptr;

namespace platform::odbcini {

SystemCalls& DefaultSystemCalls() {
  static SystemCalls calls;
  return calls;
}

namespace {

SystemCalls& Sys() { return SystemCallsSeam::Current(); }

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(Fd&& other) noexcept : fd_(other.release()) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0) close(fd_);
      fd_ = other.release();
    }
    return *this;
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

[[noreturn]] void Fail(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// ---- whose rights a change is made with

// This thread's file-system identity, switched to the owner of a folder that belongs to
// another user while root works in it, and put back when it goes out of scope. The kernel
// then gives root exactly that user's rights there: a link or a folder swapped in by the
// user leads only where the user could go. Only this thread's identity changes (setfsuid and
// the raw setgroups call act on the calling thread), so other threads keep theirs.
class Identity {
 public:
  Identity() = default;
  ~Identity() {
    if (!switched_) return;
    setfsuid(savedUid_);
    setfsgid(savedGid_);
    syscall(SYS_setgroups, savedGroups_.size(), savedGroups_.data());
  }
  Identity(const Identity&) = delete;
  Identity& operator=(const Identity&) = delete;

  // Before a name is looked up in the folder `st` describes: becomes its owner when this
  // thread acts as root and the folder is another user's. Once switched, it stays so.
  void EnterFolder(const struct stat& st) {
    if (switched_ || st.st_uid == 0 || CurrentFsUid() != 0) return;
    gid_t gid = st.st_gid;
    std::vector<gid_t> groups;
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* found = nullptr;
    if (getpwuid_r(st.st_uid, &pw, buf.data(), buf.size(), &found) == 0 && found) {
      gid = pw.pw_gid;
      int n = 64;
      groups.resize(static_cast<size_t>(n));
      while (getgrouplist(pw.pw_name, gid, groups.data(), &n) < 0)
        groups.resize(static_cast<size_t>(n) + 1);
      groups.resize(static_cast<size_t>(n));
    } else {
      groups = {gid};  // a uid the password database does not know: the folder's group alone
    }
    const int saved = getgroups(0, nullptr);
    savedGroups_.resize(static_cast<size_t>(std::max(saved, 0)));
    if (saved < 0 || getgroups(saved, savedGroups_.data()) < 0) Fail("cannot read the groups");
    if (syscall(SYS_setgroups, groups.size(), groups.data()) != 0)
      Fail("cannot act as the owner of a folder (uid " + std::to_string(st.st_uid) + ")");
    switched_ = true;
    savedGid_ = static_cast<gid_t>(setfsgid(gid));
    savedUid_ = static_cast<uid_t>(setfsuid(st.st_uid));
    if (CurrentFsUid() != st.st_uid || static_cast<gid_t>(setfsgid(-1)) != gid)
      throw std::system_error(
          EPERM, std::generic_category(),
          "cannot act as the owner of a folder (uid " + std::to_string(st.st_uid) + ")");
  }

  static uid_t CurrentFsUid() { return static_cast<uid_t>(setfsuid(static_cast<uid_t>(-1))); }

 private:
  bool switched_ = false;
  uid_t savedUid_ = 0;
  gid_t savedGid_ = 0;
  std::vector<gid_t> savedGroups_;
};

// Where a configuration file is: its folder, opened once and used from then on through its
// descriptor, the file's name in it, and its path for messages.
struct Place {
  Fd folder;
  std::string folderPath;
  std::string name;
  std::string path;
  // Names the file for the locks of this thread: the folder's device and inode, and the name.
  std::string Key() const {
    struct stat st {};
    if (fstat(folder.get(), &st) != 0) Fail(folderPath);
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + "/" + name;
  }
};

std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts;
  size_t at = 0;
  while (at <= path.size()) {
    size_t slash = path.find('/', at);
    if (slash == std::string::npos) slash = path.size();
    if (slash > at) parts.push_back(path.substr(at, slash - at));
    at = slash + 1;
  }
  return parts;
}

// Where the link open as `link` (O_PATH, not followed) leads: read through its descriptor, so
// that it is the link that was looked at, whatever has been put at its name since.
std::string ReadLink(int link, const std::string& path) {
  char target[PATH_MAX];
  const ssize_t n = readlinkat(link, "", target, sizeof target);
  if (n < 0) Fail(path);
  if (n == 0 || static_cast<size_t>(n) >= sizeof target)
    throw std::system_error(ENAMETOOLONG, std::generic_category(), path);
  return std::string(target, static_cast<size_t>(n));
}

// Finds the file `path` names one component at a time, each looked up in the folder found
// before it with `who` switched to that folder's owner first, and symbolic links followed by
// reading them rather than by a second lookup of the path. What the kernel allows at each step
// is what the folder's owner could do; nothing is looked up twice.
Place Locate(const std::string& path, Identity& who) {
  if (path.empty()) throw std::system_error(ENOENT, std::generic_category(), "an empty path");
  const bool absolute = path[0] == '/';
  auto openRoot = [&](bool fromRoot) {
    Fd fd(open(fromRoot ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0) Fail(fromRoot ? "/" : ".");
    return fd;
  };
  Place place;
  place.folder = openRoot(absolute);
  place.folderPath = absolute ? "/" : "";
  std::vector<std::string> pending = Components(path);
  std::reverse(pending.begin(), pending.end());  // the next component last
  int hops = 0;
  while (!pending.empty()) {
    const std::string name = pending.back();
    pending.pop_back();
    if (name == ".") continue;
    struct stat folder {};
    if (fstat(place.folder.get(), &folder) != 0) Fail(place.folderPath);
    who.EnterFolder(folder);
    const std::string here = Join(place.folderPath, name);
    auto follow = [&](const std::string& link) {
      if (++hops > 40) throw std::system_error(ELOOP, std::generic_category(), here);
      std::vector<std::string> parts = Components(link);
      pending.insert(pending.end(), parts.rbegin(), parts.rend());
      if (link[0] == '/') {
        place.folder = openRoot(true);
        place.folderPath = "/";
      }
    };
    // What is at the name, opened once without following it: a link is read through this
    // descriptor, never looked up again.
    Fd at(openat(place.folder.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat entry {};
    const bool present = at.get() >= 0 && fstat(at.get(), &entry) == 0;
    // In a sticky folder (/tmp) each name is its owner's to change: what it is and where a
    // link leads are that owner's, whoever owns the folder.
    if (present && (folder.st_mode & S_ISVTX) && (folder.st_mode & 0002)) who.EnterFolder(entry);
    if (pending.empty()) {  // the file itself
      if (present && S_ISLNK(entry.st_mode)) {
        follow(ReadLink(at.get(), here));
        continue;
      }
      if (name == "..") throw std::system_error(EISDIR, std::generic_category(), here);
      place.name = name;
      place.path = here;
      return place;
    }
    if (!present) Fail(here);
    if (S_ISLNK(entry.st_mode)) {
      follow(ReadLink(at.get(), here));
      continue;
    }
    if (!S_ISDIR(entry.st_mode)) throw std::system_error(ENOTDIR, std::generic_category(), here);
    place.folder = std::move(at);
    place.folderPath = here;
  }
  throw std::system_error(EISDIR, std::generic_category(), path);
}

// A descriptor of the folder that can be synced and listed; -1 when the folder may be
// searched but not read.
Fd OpenFolder(const Place& place) {
  return Fd(openat(place.folder.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
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

// A file-size limit (ulimit -f) makes the kernel send SIGXFSZ, which kills by default, before
// the write that crossed it fails with EFBIG. Held back on this thread while a file is
// written, the signal becomes that failure, told like any other; one this writing raised is
// taken back before the thread's mask is restored.
class FileSizeSignalHeld {
 public:
  FileSizeSignalHeld() {
    sigemptyset(&xfsz_);
    sigaddset(&xfsz_, SIGXFSZ);
    pthread_sigmask(SIG_BLOCK, &xfsz_, &saved_);
    sigset_t pending;
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGXFSZ) == 1;
  }
  ~FileSizeSignalHeld() {
    sigset_t pending;
    sigpending(&pending);
    if (!wasPending_ && sigismember(&pending, SIGXFSZ) == 1) {
      const timespec now{0, 0};
      while (sigtimedwait(&xfsz_, nullptr, &now) < 0 && errno == EINTR) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
  }
  FileSizeSignalHeld(const FileSizeSignalHeld&) = delete;
  FileSizeSignalHeld& operator=(const FileSizeSignalHeld&) = delete;

 private:
  sigset_t xfsz_, saved_;
  bool wasPending_ = false;
};

// Temporary files of one target are named ".<file>.tabrix-XXXXXX" beside it.
std::string TempPrefix(const std::string& name) { return "." + name + ".tabrix-"; }

// A writer killed between creating its temporary file and renaming it leaves the file behind.
// Only writers of the same target make files of that name, and they hold its lock: whatever
// is there now is such a leftover.
void RemoveLeftovers(const Place& place) {
  Fd listed = OpenFolder(place);
  if (listed.get() < 0) return;
  DIR* dir = fdopendir(listed.get());
  if (!dir) return;
  listed.release();
  const std::string prefix = TempPrefix(place.name);
  const std::string journal = prefix + "undo";  // put back first, never removed unread
  while (const dirent* entry = readdir(dir))
    if (std::string_view(entry->d_name).starts_with(prefix) && entry->d_name != journal)
      unlinkat(place.folder.get(), entry->d_name, 0);
  closedir(dir);
}

// A temporary file next to the target, removed unless it was renamed into place.
class TempFile {
 public:
  explicit TempFile(const Place& place) : place_(place) {
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int tries = 0; tries < 100; ++tries) {
      unsigned char random[6];
      if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random))
        Fail("cannot create a temporary file in " + place.folderPath);
      name_ = TempPrefix(place.name);
      for (unsigned char r : random) name_ += kLetters[r % (sizeof kLetters - 1)];
      fd_ = openat(place.folder.get(), name_.c_str(),
                   O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (fd_ >= 0 || errno != EEXIST) break;
    }
    if (fd_ < 0) Fail("cannot create a temporary file in " + Folder());
  }
  ~TempFile() {
    if (fd_ >= 0) close(fd_);
    if (!renamed_) unlinkat(place_.folder.get(), name_.c_str(), 0);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  int fd() const { return fd_; }
  // Syncs the file and renames it to `name` in the folder (the target's own by default).
  void Commit(const std::string& name = "") {
    const std::string& target = place_.path;
    if (Sync(fd_) != 0) Fail("cannot sync " + target + " to disk");
    if (close(fd_) != 0) {
      fd_ = -1;
      Fail("cannot write " + target);
    }
    fd_ = -1;
    const int folder = place_.folder.get();
    const std::string& to = name.empty() ? place_.name : name;
    if (Sys().renameat(folder, name_.c_str(), folder, to.c_str()) != 0)
      Fail("cannot replace " + target);
    renamed_ = true;
  }
  std::string path() const { return Join(place_.folderPath, name_); }

 private:
  std::string Folder() const { return place_.folderPath.empty() ? "." : place_.folderPath; }

  const Place& place_;
  std::string name_;
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

// Reads the whole of the open regular file `fd`, whose status is `st`.
void ReadOpen(int fd, const std::string& path, const struct stat& st, std::string& text) {
  const std::string tooLarge = "larger than " + std::to_string(kMaxFileSize >> 20) +
                               " MiB, the limit for a configuration file";
  if (static_cast<uint64_t>(st.st_size) > kMaxFileSize) Refuse(path, tooLarge);
  // Room for an edit of one section, so that changing a large file does not copy it again.
  text.clear();
  text.reserve(static_cast<size_t>(st.st_size) + 65536);
  char buf[1 << 16];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail(path);
    if (n == 0) break;
    if (text.size() + static_cast<size_t>(n) > kMaxFileSize) Refuse(path, tooLarge);  // it grew
    text.append(buf, static_cast<size_t>(n));
  }
}

LockWait& CurrentLockWait() {
  static LockWait wait;
  return wait;
}

// The locks this thread holds, by file (Place::Key), so that a change inside a FileLock's
// scope reuses it: flock locks belong to open files, and a second one would wait on the first.
thread_local std::vector<std::string> heldLocks;

bool HeldHere(const std::string& key) {
  return std::find(heldLocks.begin(), heldLocks.end(), key) != heldLocks.end();
}

// The lock file's mode for a data file of mode `data`: whoever may write the data file may
// open its lock for writing, the owner always.
mode_t LockMode(mode_t data) {
  const mode_t write = data & 0022;
  return 0600 | write | (write << 1);
}

std::string Octal(mode_t mode) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04o", static_cast<unsigned>(mode & 07777));
  return buf;
}

// Gives the lock file the data file's group and write bits, so that every writer of the data
// file can open it; a lock file this identity owns is set right each time it is taken, one an
// earlier run made for its owner alone among them. Failures leave it as it was: it still locks.
void ShareLock(int fd, const struct stat& lock, const Place& place, mode_t newMode) {
  if (lock.st_uid != Identity::CurrentFsUid() && Identity::CurrentFsUid() != 0) return;
  struct stat data {};
  const bool exists =
      fstatat(place.folder.get(), place.name.c_str(), &data, AT_SYMLINK_NOFOLLOW) == 0;
  const mode_t mode = LockMode(exists ? data.st_mode : newMode);
  if (exists && lock.st_gid != data.st_gid) (void)!fchown(fd, static_cast<uid_t>(-1), data.st_gid);
  if ((lock.st_mode & 07777) != mode) (void)!fchmod(fd, mode);
}

// What OpenLockFile answers for a lock file that is there and that this identity may not open.
constexpr int kUnusableLock = -2;

// Why the lock file cannot be opened, and who can set it right: its owner, by giving it the
// data file's group and write bits, or whoever may remove names from its folder.
[[noreturn]] void RefuseUnusableLock(const Place& place) {
  const std::string lockPath = place.path + ".lock";
  struct stat lock {}, folder{};
  if (fstatat(place.folder.get(), (place.name + ".lock").c_str(), &lock, AT_SYMLINK_NOFOLLOW) !=
          0 ||
      fstat(place.folder.get(), &folder) != 0)
    Fail("cannot open the lock file " + lockPath);
  const std::string folderPath = place.folderPath.empty() ? "." : place.folderPath;
  throw std::system_error(
      EACCES, std::generic_category(),
      "cannot open the lock file " + lockPath + ", which belongs to uid " +
          std::to_string(lock.st_uid) + " (mode " + Octal(lock.st_mode) +
          "), and there is no data file to lock instead; uid " + std::to_string(lock.st_uid) +
          " can give it the data file's group and write bits, and " +
          ((folder.st_mode & S_ISVTX) ? "uid " + std::to_string(lock.st_uid) +
                                            ", the folder's owner (uid " +
                                            std::to_string(folder.st_uid) + ") or root"
                                      : "whoever may write " + folderPath) +
          " can remove it");
}

// Opens "<file>.lock" beside the file, making it when missing; never through a link. Write
// access is not needed to lock: flock takes an exclusive lock on a descriptor open for
// reading, which is what a writer gets from a lock file whose mode is not for it. Returns -1,
// without failing, when `optional` and the lock file could not be made because nothing can be
// made in the folder (a read-only mount, a folder this caller may not write): then nothing can
// be changed there either, and there is nothing to keep others from. Returns kUnusableLock
// when it is there and this identity may not open it at all.
int OpenLockFile(const Place& place, mode_t newMode, bool optional) {
  const std::string lockName = place.name + ".lock";
  const std::string lockPath = place.path + ".lock";
  const int flags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  const int folder = place.folder.get();
  int raw = openat(folder, lockName.c_str(), O_RDWR | flags | O_CREAT | O_EXCL, 0600);
  const bool created = raw >= 0;
  const bool existed = !created && errno == EEXIST;
  if (existed) {
    raw = openat(folder, lockName.c_str(), O_RDWR | flags);
    if (raw < 0 && (errno == EACCES || errno == EROFS || errno == ETXTBSY))
      raw = openat(folder, lockName.c_str(), O_RDONLY | flags);
  } else if (!created && optional && (errno == EROFS || errno == EACCES || errno == EPERM)) {
    return -1;
  }
  Fd fd(raw);
  if (fd.get() < 0) {
    if (errno == ELOOP) Refuse(lockPath, "a symbolic link; the lock file must be a regular file");
    if (existed && errno == EACCES) return kUnusableLock;
    Fail("cannot open the lock file " + lockPath);
  }
  struct stat st {};
  if (fstat(fd.get(), &st) != 0) Fail(lockPath);
  if (!S_ISREG(st.st_mode)) Refuse(lockPath, KindOf(st.st_mode) + ", not a lock file");
  ShareLock(fd.get(), st, place, newMode);
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

// No lock file beside what is not a configuration file (a link to /dev/zero leads to /dev).
void RefuseOtherThanFile(const Place& place) {
  struct stat st {};
  if (fstatat(place.folder.get(), place.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
      !S_ISREG(st.st_mode))
    Refuse(place.path, KindOf(st.st_mode) + ", not a configuration file");
}

// A writer's hold on a file: its lock file, and the data file itself. Every writer locks the
// data file when it exists, so a lock file planted by someone who cannot open it for the
// others (another user's, for its owner alone) locks nobody out: whoever cannot open it is
// kept apart from every other writer by the data file's lock alone.
struct Locks {
  Fd side, data;
  bool Held() const { return side.get() >= 0 || data.get() >= 0; }
};

// Whether the descriptor `fd` is still what is at `name` in the folder.
bool StillThere(int fd, const Place& place, const std::string& name) {
  struct stat held {}, there{};
  return fstat(fd, &held) == 0 &&
         fstatat(place.folder.get(), name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
         held.st_dev == there.st_dev && held.st_ino == there.st_ino;
}

// Locks the data file as it is now, once it is the one at its name; an empty descriptor when
// there is none (or this identity may not open it, and so could not change it either).
Fd LockDataFile(const Place& place, Clock::time_point deadline) {
  for (;;) {
    Fd fd(openat(place.folder.get(), place.name.c_str(),
                 O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0) return Fd();
    struct stat st {};
    if (fstat(fd.get(), &st) != 0) Fail(place.path);
    if (!S_ISREG(st.st_mode)) Refuse(place.path, KindOf(st.st_mode) + ", not a configuration file");
    Acquire(fd.get(), place.path, deadline);
    // A file replaced meanwhile by another writer's rename: lock the one now there.
    if (StillThere(fd.get(), place, place.name)) return fd;
  }
}

// Locks the file at `place` unless this thread holds its lock already (then nothing is held;
// nor, when `optional`, where nothing needs be; see OpenLockFile). The lock file first, then
// the data file, in that order for every writer.
Locks Lock(const Place& place, const std::string& key, mode_t newMode, bool optional) {
  if (HeldHere(key)) return Locks();
  RefuseOtherThanFile(place);
  const auto deadline = Deadline();
  const std::string lockName = place.name + ".lock";
  for (;;) {
    Locks locks;
    const int side = OpenLockFile(place, newMode, optional);
    if (side == -1) return Locks();
    if (side != kUnusableLock) {
      locks.side = Fd(side);
      Acquire(locks.side.get(), place.path, deadline);
      // A lock file removed or replaced meanwhile is no lock at all: take the one now there.
      if (!StillThere(locks.side.get(), place, lockName)) continue;
    }
    locks.data = LockDataFile(place, deadline);
    if (locks.side.get() < 0 && locks.data.get() < 0) RefuseUnusableLock(place);
    heldLocks.push_back(key);
    return locks;
  }
}

// A lock taken by Lock, let go at the end of its scope.
class Held {
 public:
  Held(const Place& place, mode_t newMode) : key_(place.Key()) {
    locks_ = Lock(place, key_, newMode, false);
  }
  ~Held() {
    if (!locks_.Held()) return;
    heldLocks.erase(std::find(heldLocks.begin(), heldLocks.end(), key_));
  }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;

 private:
  std::string key_;
  Locks locks_;
};

// After a rename: the new file is in place and seen by every reader from now on, so a folder
// that fails to sync (which would only lose the rename in a crash) is no failure.
void SyncFolder(const Place& place) {
  Fd dir = OpenFolder(place);
  if (dir.get() >= 0) Sync(dir.get());
}

// The extended attributes of an open file (its POSIX ACL among them, as
// system.posix_acl_access); none where the file system keeps none.
std::vector<std::string> AttributeNames(int fd, const std::string& path) {
  std::vector<char> names(1024);
  for (;;) {
    const ssize_t n = flistxattr(fd, names.data(), names.size());
    if (n >= 0) {
      names.resize(static_cast<size_t>(n));
      break;
    }
    if (errno == ENOTSUP) return {};
    if (errno != ERANGE) Fail("cannot list the extended attributes of " + path);
    const ssize_t size = flistxattr(fd, nullptr, 0);
    if (size < 0) Fail("cannot list the extended attributes of " + path);
    names.resize(static_cast<size_t>(size) + 1024);
  }
  std::vector<std::string> out;
  for (size_t at = 0; at < names.size();) {
    const size_t len = strnlen(names.data() + at, names.size() - at);
    if (len > 0) out.emplace_back(names.data() + at, len);
    at += len + 1;
  }
  return out;
}

std::string AttributeValue(int fd, const std::string& name, const std::string& path) {
  std::string value;
  for (;;) {
    const ssize_t size = fgetxattr(fd, name.c_str(), nullptr, 0);
    if (size < 0) Fail("cannot read the extended attribute " + name + " of " + path);
    value.resize(static_cast<size_t>(size));
    const ssize_t n = fgetxattr(fd, name.c_str(), value.data(), value.size());
    if (n >= 0) {
      value.resize(static_cast<size_t>(n));
      return value;
    }
    if (errno != ERANGE) Fail("cannot read the extended attribute " + name + " of " + path);
  }
}

[[noreturn]] void CannotKeep(const std::string& what, const std::string& path, int error) {
  throw std::system_error(error, std::generic_category(),
                          "cannot keep the " + what + " of " + path + ", so it is left as it is");
}

// Makes the temporary file `to` everything the file `from` (status `st`) is besides its text:
// owner and group, extended attributes (its ACL among them) and mode; refuses, naming what,
// when one of them cannot be kept. The owner first, since a change of owner clears the set-ID
// bits and file capabilities; the mode last, which with an ACL is its mask.
void KeepAttributes(int from, int to, const struct stat& st, const std::string& path) {
  struct stat made {};
  if (fstat(to, &made) != 0) Fail(path);
  if ((made.st_uid != st.st_uid || made.st_gid != st.st_gid) &&
      fchown(to, st.st_uid, st.st_gid) != 0) {
    const int error = errno;
    CannotKeep(made.st_uid != st.st_uid ? "owner (uid " + std::to_string(st.st_uid) + ")"
                                        : "group (gid " + std::to_string(st.st_gid) + ")",
               path, error);
  }
  const std::vector<std::string> kept = AttributeNames(from, path);
  // What the folder gave the new file (a default ACL's) and the old one lacks goes.
  for (const std::string& name : AttributeNames(to, path))
    if (std::find(kept.begin(), kept.end(), name) == kept.end() &&
        fremovexattr(to, name.c_str()) != 0 && errno != ENODATA)
      CannotKeep("extended attributes (" + name + " came from the folder)", path, errno);
  const std::vector<std::string> given = AttributeNames(to, path);
  for (const std::string& name : kept) {
    const std::string value = AttributeValue(from, name, path);
    // One the new file already has as it was (a security label) needs no privilege to keep.
    if (std::find(given.begin(), given.end(), name) != given.end() &&
        AttributeValue(to, name, path) == value)
      continue;
    if (fsetxattr(to, name.c_str(), value.data(), value.size(), 0) != 0)
      CannotKeep("extended attribute " + name, path, errno);
  }
  if (fchmod(to, st.st_mode & 07777) != 0)
    CannotKeep("mode (" + Octal(st.st_mode) + ")", path, errno);
  struct stat now {};
  if (fstat(to, &now) != 0) Fail(path);
  if (now.st_uid != st.st_uid)
    CannotKeep("owner (uid " + std::to_string(st.st_uid) + ")", path, EPERM);
  if (now.st_gid != st.st_gid)
    CannotKeep("group (gid " + std::to_string(st.st_gid) + ")", path, EPERM);
  if ((now.st_mode & 07777) != (st.st_mode & 07777))
    CannotKeep("mode (" + Octal(st.st_mode) + ")", path, EPERM);
}

// ---- the rewrite in place, for a writer that cannot give a new file the old one's owner and group

// Whether this identity can give a new file the owner and group of `st`: root acting as
// itself can; a user (root acting as one included) only its own uid and one of its groups.
bool CanGiveOwnerAndGroup(const struct stat& st) {
  const uid_t uid = Identity::CurrentFsUid();
  if (uid == 0) return true;
  if (st.st_uid != uid) return false;
  if (static_cast<gid_t>(setfsgid(static_cast<gid_t>(-1))) == st.st_gid) return true;
  std::vector<gid_t> groups(static_cast<size_t>(std::max(getgroups(0, nullptr), 0)));
  if (getgroups(static_cast<int>(groups.size()), groups.data()) < 0) return false;
  return std::find(groups.begin(), groups.end(), st.st_gid) != groups.end();
}


// The undo journal of a rewrite in place: the file's earlier text, beside it, present from
// before the first byte is written in place until the new text is synced. A writer that finds
// it (after a crash or a failure that could not be undone) puts that text back first.
std::string JournalName(const std::string& name) { return TempPrefix(name) + "undo"; }

// The journal at `place`, opened, when there is one that a writer of the file left: a regular
// file of one name, writable by its owner alone, and its owner the file's, root, or this
// identity. Another is refused by name rather than trusted.
Fd OpenJournal(const Place& place, const struct stat* file) {
  const std::string name = JournalName(place.name);
  Fd fd(openat(place.folder.get(), name.c_str(),
               O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT) return Fd();
    if (errno == EACCES)
      Refuse(Join(place.folderPath, name),
             "the journal of an interrupted change of " + place.path +
                 ", which this user may not read; the writer who left it, or root, puts the "
                 "file back on its next change");
    Fail(Join(place.folderPath, name));
  }
  struct stat st {};
  if (fstat(fd.get(), &st) != 0) Fail(Join(place.folderPath, name));
  const bool trusted = S_ISREG(st.st_mode) && st.st_nlink == 1 && (st.st_mode & 0022) == 0 &&
                       (st.st_uid == 0 || st.st_uid == Identity::CurrentFsUid() ||
                        (file && st.st_uid == file->st_uid));
  if (!trusted)
    Refuse(Join(place.folderPath, name),
           "not a journal that a writer of " + place.path + " left (uid " +
               std::to_string(st.st_uid) + ", mode " + Octal(st.st_mode) +
               "); it is left as it is, and so is " + place.path);
  return fd;
}

// Puts `data` into the open file `fd` in place: reserved first where the file system can, so
// that a full disk fails before anything is written; then written, cut to its length, synced.
void WriteInPlace(int fd, std::string_view data, const std::string& target) {
  rlimit limit{};
  if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      data.size() > limit.rlim_cur) {
    errno = EFBIG;
    Fail("cannot write " + target);
  }
  if (data.size() > 0 &&
      fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(data.size())) != 0 &&
      errno != EOPNOTSUPP && errno != ENOSYS)
    Fail("cannot write " + target);
  if (lseek(fd, 0, SEEK_SET) != 0) Fail("cannot write " + target);
  WriteAll(fd, data, target);
  if (ftruncate(fd, static_cast<off_t>(data.size())) != 0) Fail("cannot write " + target);
  if (Sync(fd) != 0) Fail("cannot sync " + target + " to disk");
}

// The kernel clears a file capability on any write, and set-ID bits on a write by one
// without CAP_FSETID: a file that has them cannot be written in place and stay what it was.
void RefuseWhatAWriteClears(int fd, const struct stat& st, const std::string& path) {
  for (const std::string& name : AttributeNames(fd, path))
    if (name == "security.capability") CannotKeep("extended attribute " + name, path, EPERM);
  if (st.st_mode & (S_ISUID | S_ISGID)) CannotKeep("mode (" + Octal(st.st_mode) + ")", path, EPERM);
}

// Puts back the earlier text an interrupted rewrite in place left in its journal.
void RecoverFromJournal(const Place& place) {
  struct stat file {};
  const bool exists =
      fstatat(place.folder.get(), place.name.c_str(), &file, AT_SYMLINK_NOFOLLOW) == 0;
  Fd journal = OpenJournal(place, exists ? &file : nullptr);
  if (journal.get() < 0) return;
  struct stat st {};
  if (fstat(journal.get(), &st) != 0) Fail(place.path);
  std::string earlier;
  const std::string journalPath = Join(place.folderPath, JournalName(place.name));
  ReadOpen(journal.get(), journalPath, st, earlier);
  Fd fd(openat(place.folder.get(), place.name.c_str(),
               O_RDWR | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC));
  if (fd.get() < 0)
    Fail("cannot put back " + place.path + " from " + journalPath +
         ", left by an interrupted change");
  WriteInPlace(fd.get(), earlier, place.path);
  if (unlinkat(place.folder.get(), JournalName(place.name).c_str(), 0) != 0)
    Fail("cannot remove " + journalPath);
  SyncFolder(place);
}

// Rewrites the open file `fd` in place with `data`, its earlier text `earlier` journaled
// first: the file keeps its inode, and with it every attribute, seen or not. A failure puts
// the earlier text back; where even that fails, the journal stays for the next writer.
void RewriteInPlace(const Place& place, int fd, std::string_view earlier, std::string_view data) {
  {
    TempFile journal(place);
    WriteAll(journal.fd(), earlier, place.path);
    journal.Commit(JournalName(place.name));
  }
  SyncFolder(place);
  try {
    WriteInPlace(fd, data, place.path);
  } catch (const std::system_error&) {
    try {
      WriteInPlace(fd, earlier, place.path);
      unlinkat(place.folder.get(), JournalName(place.name).c_str(), 0);
    } catch (const std::system_error&) {
    }
    throw;
  }
  if (unlinkat(place.folder.get(), JournalName(place.name).c_str(), 0) != 0)
    Fail("cannot remove " + Join(place.folderPath, JournalName(place.name)));
  SyncFolder(place);
}

// Opens the file to change, at `place`, for reading and, to tell whether the caller could
// write it in place, for writing: a replacement by rename would bypass its own permissions.
// Reads it whole with its status; false when it does not exist. `whyNot` gets why it may not
// be written, the file still read.
bool OpenToChange(const Place& place, Fd& fd, std::string& text, struct stat& st,
                  std::string& whyNot) {
  const int flags = O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC;
  fd = Fd(openat(place.folder.get(), place.name.c_str(), O_RDWR | flags));
  if (fd.get() < 0) {
    if (errno == ENOENT) return false;
    if (errno == ELOOP) Refuse(place.path, "now a symbolic link; it was changed meanwhile");
    if (errno != EACCES && errno != EPERM && errno != EROFS && errno != ETXTBSY) Fail(place.path);
    whyNot = "cannot write " + place.path + ": " + std::strerror(errno);
    fd = Fd(openat(place.folder.get(), place.name.c_str(), O_RDONLY | flags));
    if (fd.get() < 0) Fail(place.path);
  }
  if (fstat(fd.get(), &st) != 0) Fail(place.path);
  if (!S_ISREG(st.st_mode)) Refuse(place.path, KindOf(st.st_mode) + ", not a configuration file");
  ReadOpen(fd.get(), place.path, st, text);
  return true;
}

}  // namespace

void ReplaceFile(const std::string& path, std::string_view data, unsigned mode) {
  Identity who;
  const Place place = Locate(path, who);
  FileSizeSignalHeld held;
  TempFile temp(place);
  WriteAll(temp.fd(), data, place.path);
  if (fchmod(temp.fd(), mode) != 0) Fail(temp.path());
  temp.Commit();
  SyncFolder(place);
}

bool ReadFile(const std::string& path, std::string& text) {
  // Found and opened as a rewrite finds it, with the same identity: root reads through a
  // user's links only what the user could read.
  Identity who;
  Place place;
  try {
    place = Locate(path, who);
  } catch (const std::system_error& e) {
    if (e.code().value() == ENOENT) return false;
    throw std::system_error(e.code(), path);
  }
  Fd fd(openat(place.folder.get(), place.name.c_str(),
               O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT) return false;
    Fail(path);
  }
  // While a rewrite in place is under way (or was cut short), the file may be half written:
  // its earlier text, in the journal, is what it holds until the new text is synced.
  struct stat file {};
  if (fstat(fd.get(), &file) == 0) {
    try {
      if (Fd journal = OpenJournal(place, &file); journal.get() >= 0) fd = std::move(journal);
    } catch (const std::system_error&) {
      // One that cannot be read or trusted is not ours to read: the file is read as it is.
    }
  }
  struct stat st {};
  if (fstat(fd.get(), &st) != 0) Fail(path);
  if (!S_ISREG(st.st_mode)) Refuse(path, KindOf(st.st_mode) + ", not a configuration file");
  ReadOpen(fd.get(), path, st, text);
  return true;
}

std::string WhyNotWritable(const std::string& path) {
  // The kernel decides, as it would for a writer in place; nothing is truncated or written.
  Fd fd(open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() >= 0 || errno == ENOENT) return "";
  return "cannot write " + path + ": " + std::strerror(errno);
}

void SetLockWait(LockWait wait) { CurrentLockWait() = std::move(wait); }

FileLock::FileLock(const std::string& path) {
  Identity who;
  const Place place = Locate(path, who);
  target_ = place.Key();
  Locks locks = Lock(place, target_, 0600, true);
  fd_ = locks.side.release();
  dataFd_ = locks.data.release();
}

FileLock::~FileLock() {
  if (fd_ < 0 && dataFd_ < 0) return;
  heldLocks.erase(std::find(heldLocks.begin(), heldLocks.end(), target_));
  if (fd_ >= 0) close(fd_);  // releases the lock
  if (dataFd_ >= 0) close(dataFd_);
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
    Identity who;
    const Place place = Locate(path, who);
    const std::string& target = place.path;
    Held lock(place, newMode);
    RecoverFromJournal(place);
    RemoveLeftovers(place);

    std::string text;
    struct stat st {};
    Fd old;
    std::string whyNot;
    const bool exists = OpenToChange(place, old, text, st, whyNot);
    if (!exists && !create) {
      reason = target + " does not exist";
      return false;
    }
    if (!whyNot.empty()) {
      reason = whyNot;
      return false;
    }
    // A replacement by rename would leave the file's other names with the old text.
    if (exists && st.st_nlink > 1) {
      reason = target + " has " + std::to_string(st.st_nlink) +
               " hard links, and a replacement would split them, so it is left as it is";
      return false;
    }
    // unixODBC reads nothing from such a file; a change to it would not be seen either.
    if (auto rejected = FindRejection(text)) {
      reason =
          rejected->In(target) + "; unixODBC reads nothing from this file, so it is left as it is";
      return false;
    }
    // An owner or group this writer cannot give would not survive a rename: such a file is
    // rewritten in place, journaled, and keeps them with its inode. Every other file is
    // replaced by a rename, the one way unixODBC, which takes no lock, never reads half a
    // file, also after a crash. (Attributes of the trusted namespace, which only root can set
    // and see, are therefore not kept by a user's rewrite: no user can tell they are there.)
    const bool inPlace = exists && !CanGiveOwnerAndGroup(st);
    std::string earlier;
    if (inPlace) {
      RefuseWhatAWriteClears(old.get(), st, target);
      earlier = text;
    }
    std::optional<Splice> splice;
    if (!edit(text, splice, reason)) return false;
    if (splice && splice->at + splice->erase > text.size()) {
      reason = "an edit of " + target + " reached past its end";  // a fault of ours
      return false;
    }

    FileSizeSignalHeld signalHeld;
    if (inPlace) {
      if (splice) Apply(text, *splice);
      RewriteInPlace(place, old.get(), earlier, text);
      return true;
    }
    TempFile temp(place);
    const std::string_view all(text);
    if (!splice) {
      WriteAll(temp.fd(), all, target);
    } else {
      WriteAll(temp.fd(), all.substr(0, splice->at), target);
      WriteAll(temp.fd(), splice->insert, target);
      WriteAll(temp.fd(), all.substr(splice->at + splice->erase), target);
    }
    if (exists)
      KeepAttributes(old.get(), temp.fd(), st, target);
    else if (fchmod(temp.fd(), newMode) != 0)
      Fail(temp.path());
    temp.Commit();
    SyncFolder(place);
    return true;
  } catch (const std::system_error& e) {
    reason = e.what();
    return false;
  }
}

}  // namespace platform::odbcini

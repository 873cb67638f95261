// The locks that keep writers of one configuration file apart.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/odbcini/Files.h"
#include "platform/odbcini/Rewrite.h"

namespace platform::odbcini {

using namespace files;

namespace {

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

struct ReadUnderLock {
  std::string key;
  struct stat st {};
  std::shared_ptr<std::string> text;
};
thread_local ReadUnderLock lastRead;

void LetGo(const std::string& key) {
  heldLocks.erase(std::find(heldLocks.begin(), heldLocks.end(), key));
  if (lastRead.key == key) lastRead = {};
}

bool Unchanged(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
         a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// The lock file's mode for a data file of mode `data`: whoever may write the data file may
// open its lock for writing, the owner always.
mode_t LockMode(mode_t data) {
  const mode_t write = data & 0022;
  return 0600 | write | (write << 1);
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
  struct stat lock {
  }, folder{};
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
          ((folder.st_mode & S_ISVTX)
               ? "uid " + std::to_string(lock.st_uid) + ", the folder's owner (uid " +
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
  struct stat held {
  }, there{};
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

}  // namespace

namespace files {

Held::Held(const Place& place, mode_t newMode) : key_(place.Key()) {
  Locks locks = Lock(place, key_, newMode, false);
  side_ = std::move(locks.side);
  data_ = std::move(locks.data);
}

Held::~Held() {
  if (side_.get() < 0 && data_.get() < 0) return;
  LetGo(key_);
}

void KeepReadUnderLock(const Place& place, const struct stat& st,
                       std::shared_ptr<std::string> text) {
  if (HeldHere(place.Key())) lastRead = {place.Key(), st, std::move(text)};
}

std::shared_ptr<const std::string> KeptReadUnderLock(const Place& place, const struct stat& st) {
  if (!lastRead.text || lastRead.key != place.Key() || !HeldHere(lastRead.key) ||
      !Unchanged(lastRead.st, st))
    return nullptr;
  return lastRead.text;
}

bool TakeReadUnderLock(const Place& place, const struct stat& st, std::string& text) {
  ReadUnderLock last = std::move(lastRead);
  lastRead = {};
  if (!last.text || last.key != place.Key() || last.text.use_count() != 1 ||
      !Unchanged(last.st, st))
    return false;
  text = std::move(*last.text);
  return true;
}

}  // namespace files

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
  LetGo(target_);
  if (fd_ >= 0) close(fd_);  // releases the lock
  if (dataFd_ >= 0) close(dataFd_);
}

}  // namespace platform::odbcini

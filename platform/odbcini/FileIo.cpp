// Reading a configuration file, and the locked, atomic rewrite of one.
#include <dirent.h>
#include <fcntl.h>
#include <libgen.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string_view>
#include <system_error>

#include "platform/odbcini/OdbcIni.h"

namespace platform::odbcini {
namespace {

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

void WriteAll(int fd, const std::string& data, const std::string& path) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw std::system_error(errno, std::generic_category(), path);
    done += static_cast<size_t>(n);
  }
}

[[noreturn]] void Fail(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
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
    if (fsync(fd_) != 0) Fail(path_);
    if (close(fd_) != 0) {
      fd_ = -1;
      Fail(path_);
    }
    fd_ = -1;
    if (rename(path_.c_str(), target.c_str()) != 0) Fail("cannot replace " + target);
    renamed_ = true;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  int fd_ = -1;
  bool renamed_ = false;
};

}  // namespace

bool ReadFile(const std::string& path, std::string& text) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return false;
    throw std::system_error(errno, std::generic_category(), path);
  }
  struct stat st {};
  // Room for an edit of one section, so that changing a large file does not copy it again.
  if (fstat(fd, &st) == 0 && st.st_size > 0) text.reserve(static_cast<size_t>(st.st_size) + 65536);
  text.clear();
  char buf[1 << 16];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int err = errno;
      close(fd);
      throw std::system_error(err, std::generic_category(), path);
    }
    if (n == 0) break;
    text.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  return true;
}

bool RewriteFile(const std::string& path, bool create, unsigned newMode, const Edit& edit,
                 std::string& reason) {
  try {
    const std::string target = ResolveLinks(path);
    Fd lock(open((target + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (lock.get() < 0) Fail("cannot open the lock file " + target + ".lock");
    while (flock(lock.get(), LOCK_EX) != 0)
      if (errno != EINTR) Fail("cannot lock " + target + ".lock");
    RemoveLeftovers(target);

    std::string text;
    struct stat st {};
    const bool exists = ReadFile(target, text);
    if (exists && stat(target.c_str(), &st) != 0) Fail(target);
    if (!exists && !create) {
      reason = target + " does not exist";
      return false;
    }
    if (!edit(text, reason)) return false;

    TempFile temp(target);
    WriteAll(temp.fd(), text, temp.path());
    if (fchmod(temp.fd(), exists ? (st.st_mode & 07777) : newMode) != 0) Fail(temp.path());
    // Keeping the owner needs privileges we may not have; the file is ours then anyway.
    if (exists && (st.st_uid != geteuid() || st.st_gid != getegid()))
      (void)!fchown(temp.fd(), st.st_uid, st.st_gid);
    temp.Commit(target);

    Fd dir(open(Dirname(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) fsync(dir.get());
    return true;
  } catch (const std::system_error& e) {
    reason = e.what();
    return false;
  }
}

}  // namespace platform::odbcini

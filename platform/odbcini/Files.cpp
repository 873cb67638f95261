// Descriptors, writing and reading a file whole, temporary files, extended attributes.
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/odbcini/Files.h"
#include "platform/odbcini/Rewrite.h"

template <>
platform::odbcini::SystemCalls* platform::odbcini::SystemCallsSeam::override_ = nullptr;

namespace platform::odbcini {

SystemCalls& DefaultSystemCalls() {
  static SystemCalls calls;
  return calls;
}

namespace files {

SystemCalls& Sys() { return SystemCallsSeam::Current(); }

Fd::~Fd() {
  if (fd_ >= 0) close(fd_);
}

Fd& Fd::operator=(Fd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = other.release();
  }
  return *this;
}

void Fail(const std::string& what) { Fail(errno, what); }

void Fail(int code, const std::string& what) {
  throw std::system_error(code, std::generic_category(), what);
}

void Refuse(const std::string& path, const std::string& why) {
  throw Refusal(std::errc::invalid_argument, path + " is " + why);
}

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

std::string Octal(mode_t mode) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04o", static_cast<unsigned>(mode & 07777));
  return buf;
}

Fd OpenFolder(const Place& place) {
  return Fd(openat(place.folder.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

void SyncFolder(const Place& place) {
  Fd dir = OpenFolder(place);
  if (dir.get() >= 0) Sync(dir.get());
}

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

namespace {

// A process that reads a large file once, as the client does, spends most of that read on
// first touching the text's pages: a fault for every 4 KiB, the kernel's copy of the bytes a
// small part of it. Huge pages take one fault per 2 MiB; the room asked for is a whole
// number of them, which the kernel then aligns (the rest of the last one is the edit's room).
void ReserveForFile(std::string& text, size_t room) {
  constexpr size_t kHuge = size_t{2} << 20;
  if (room < 2 * kHuge) return text.reserve(room);
  constexpr size_t kAllocatorHeader = 64;  // the allocator's own words before the text
  text.reserve((room + kAllocatorHeader + kHuge - 1) / kHuge * kHuge - kAllocatorHeader);
#ifdef MADV_HUGEPAGE
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const auto first = reinterpret_cast<uintptr_t>(text.data()) / page * page;
  const auto end = reinterpret_cast<uintptr_t>(text.data()) + text.capacity();
  // Only advice: where the kernel has no huge page to give, the text is read as before.
  madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#endif
}

}  // namespace

void ReadOpen(int fd, const std::string& path, const struct stat& st, std::string& text) {
  const std::string tooLarge = "larger than " + std::to_string(kMaxFileSize >> 20) +
                               " MiB, the limit for a configuration file";
  if (static_cast<uint64_t>(st.st_size) > kMaxFileSize) Refuse(path, tooLarge);
  // Room for an edit of one section, so that changing a large file does not copy it again.
  // Read straight into the text, sized from the status, on to the end should it have grown.
  text.clear();
  ReserveForFile(text, static_cast<size_t>(st.st_size) + 65536);
  text.resize(static_cast<size_t>(st.st_size));
  size_t done = 0;
  for (;;) {
    if (done == text.size()) {
      if (text.size() >= kMaxFileSize) {
        char probe;
        ssize_t more;
        while ((more = read(fd, &probe, 1)) < 0 && errno == EINTR) {
        }
        if (more < 0) Fail(path);
        if (more > 0) Refuse(path, tooLarge);  // it grew
        break;
      }
      text.resize(std::min(kMaxFileSize, text.size() + 65536));
    }
    const ssize_t n = read(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail(path);
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  text.resize(done);
}

FileSizeSignalHeld::FileSizeSignalHeld() {
  sigemptyset(&xfsz_);
  sigaddset(&xfsz_, SIGXFSZ);
  pthread_sigmask(SIG_BLOCK, &xfsz_, &saved_);
  sigset_t pending;
  sigpending(&pending);
  wasPending_ = sigismember(&pending, SIGXFSZ) == 1;
}

FileSizeSignalHeld::~FileSizeSignalHeld() {
  sigset_t pending;
  sigpending(&pending);
  if (!wasPending_ && sigismember(&pending, SIGXFSZ) == 1) {
    const timespec now{0, 0};
    while (sigtimedwait(&xfsz_, nullptr, &now) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

std::string TempPrefix(const std::string& name) { return "." + name + ".tabrix-"; }

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

TempFile::TempFile(const Place& place) : place_(place) {
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

TempFile::~TempFile() {
  if (fd_ >= 0) close(fd_);
  if (!renamed_) unlinkat(place_.folder.get(), name_.c_str(), 0);
}

void TempFile::Commit(const std::string& name) {
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

}  // namespace files
}  // namespace platform::odbcini

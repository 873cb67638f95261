// A file system that can lose power between any two calls. The calls of the system-call seam
// go through to the real files; after each write, sync and rename, a step, it tells what a
// power cut at that moment would leave of one folder: only what a sync made durable. A
// file's bytes are durable as of its last fsync (a file never synced has none); the folder's
// entries, a create or a rename among them, as of the last fsync of the folder. What was on
// disk before is taken as durable.
//
// A killed process keeps its page cache, so killing writers cannot tell a missing sync; this
// can.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/odbcini/SystemCalls.h"

namespace testsupport {

class FaultFileSystem : public platform::odbcini::SystemCalls {
 public:
  // Watches `folder`, whose entries and files as they are now count as on disk.
  explicit FaultFileSystem(std::string folder) : folder_(std::move(folder)) {
    struct stat st {};
    if (stat(folder_.c_str(), &st) == 0) folderId_ = Id(st);
    entries_ = RealEntries();
    for (const auto& [name, id] : entries_) {
      const int fd = open((folder_ + "/" + name).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
      if (fd < 0) continue;
      if (IsRegular(fd)) bytes_[id] = ReadAll(fd);
      close(fd);
    }
  }

  // The bytes a power cut now would leave in the folder's `name`; nullopt when its durable
  // entries hold no such name.
  std::optional<std::string> AfterPowerLoss(const std::string& name) const {
    const auto entry = entries_.find(name);
    if (entry == entries_.end()) return std::nullopt;
    const auto held = bytes_.find(entry->second);
    return held == bytes_.end() ? std::string() : held->second;
  }

  // Called after each step with its description ("write NAME", "fsync NAME", "fsync the
  // folder", "rename FROM TO"): the place to check AfterPowerLoss.
  std::function<void(const std::string& step)> onStep;
  std::vector<std::string> steps;

  ssize_t write(int fd, const void* data, size_t size) override {
    const ssize_t n = SystemCalls::write(fd, data, size);
    Step("write " + NameOf(fd));
    return n;
  }

  int fsync(int fd) override {
    const int rc = SystemCalls::fsync(fd);
    if (rc == 0) {
      struct stat st {};
      if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && Id(st) == folderId_) {
        entries_ = RealEntries();
        Step("fsync the folder");
        return rc;
      }
      if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) bytes_[Id(st)] = ReadAll(fd);
    }
    Step("fsync " + NameOf(fd));
    return rc;
  }

  int renameat(int fromFolder, const char* from, int toFolder, const char* to) override {
    const int rc = SystemCalls::renameat(fromFolder, from, toFolder, to);
    Step("rename " + Stable(from) + " " + Stable(to));
    return rc;
  }

 private:
  using FileId = std::pair<dev_t, ino_t>;

  static FileId Id(const struct stat& st) { return {st.st_dev, st.st_ino}; }

  static bool IsRegular(int fd) {
    struct stat st {};
    return fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  }

  // The whole file open on `fd`, read through a descriptor of its own so that the writer's
  // offset stays where it was.
  static std::string ReadAll(int fd) {
    std::string bytes;
    const int own = open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_RDONLY | O_CLOEXEC);
    if (own < 0) return bytes;
    char buf[1 << 14];
    for (ssize_t n; (n = read(own, buf, sizeof buf)) > 0;) bytes.append(buf, static_cast<size_t>(n));
    close(own);
    return bytes;
  }

  std::map<std::string, FileId> RealEntries() const {
    std::map<std::string, FileId> entries;
    DIR* dir = opendir(folder_.c_str());
    if (!dir) return entries;
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      struct stat st {};
      if (name != "." && name != ".." &&
          fstatat(dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        entries[name] = Id(st);
    }
    closedir(dir);
    return entries;
  }

  // A temporary file's name without its random end, so that steps compare between runs.
  static std::string Stable(std::string name) {
    if (const size_t at = name.find(".tabrix-"); at != std::string::npos) name.resize(at + 8);
    return name;
  }

  std::string NameOf(int fd) const {
    char path[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = readlink(link.c_str(), path, sizeof path);
    std::string name = n < 0 ? "?" : std::string(path, static_cast<size_t>(n));
    if (name.starts_with(folder_ + "/")) name.erase(0, folder_.size() + 1);
    return Stable(name);
  }

  void Step(const std::string& step) {
    steps.push_back(step);
    if (onStep) onStep(step);
  }

  std::string folder_;
  FileId folderId_{};
  std::map<std::string, FileId> entries_;  // as of the folder's last sync
  std::map<FileId, std::string> bytes_;    // each file's bytes as of its last sync
};

}  // namespace testsupport

// The pieces the file layer's parts share: descriptors, whose rights a change is made with,
// where a file is, and writing a file safely. Inside platform/odbcini only; callers include
// Rewrite.h.
#pragma once

#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/odbcini/SystemCalls.h"

namespace platform::odbcini::files {

SystemCalls& Sys();

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd();
  Fd(Fd&& other) noexcept : fd_(other.release()) {}
  Fd& operator=(Fd&& other) noexcept;
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

// errno in words after `what`, thrown as std::system_error.
[[noreturn]] void Fail(const std::string& what);
// The same for an error code of our choosing.
[[noreturn]] void Fail(int code, const std::string& what);

// A refusal whose message is ours alone, without an error number's text after it.
class Refusal : public std::system_error {
 public:
  Refusal(std::errc code, std::string message)
      : std::system_error(std::make_error_code(code)), message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// "<path> is <why>", refused.
[[noreturn]] void Refuse(const std::string& path, const std::string& why);

// "a folder", "a FIFO", ...: what a file that is not a regular one is.
std::string KindOf(mode_t mode);
// A mode as four octal digits, for messages.
std::string Octal(mode_t mode);

std::string Join(const std::string& folder, const std::string& name);

// This thread's file-system identity, switched to the owner of a folder that belongs to
// another user while root works in it, and put back when it goes out of scope. The kernel
// then gives root exactly that user's rights there: a link or a folder swapped in by the
// user leads only where the user could go. Only this thread's identity changes (setfsuid and
// the raw setgroups call act on the calling thread), so other threads keep theirs.
class Identity {
 public:
  Identity() = default;
  ~Identity();
  Identity(const Identity&) = delete;
  Identity& operator=(const Identity&) = delete;

  // Before a name is looked up in the folder `st` describes: becomes its owner when this
  // thread acts as root and the folder is another user's. Once switched, it stays so.
  void EnterFolder(const struct stat& st);

  static uid_t CurrentFsUid();

 private:
  bool switched_ = false;
  uid_t savedUid_ = 0;
  gid_t savedGid_ = 0;
  std::vector<gid_t> savedGroups_;
};

// Whether this identity can give a new file the owner and group of `st`: root acting as
// itself can; a user (root acting as one included) only its own uid and one of its groups.
bool CanGiveOwnerAndGroup(const struct stat& st);

// Where a configuration file is: its folder, opened once and used from then on through its
// descriptor, the file's name in it, and its path for messages.
struct Place {
  Fd folder;
  std::string folderPath;
  std::string name;
  std::string path;
  // Names the file for the locks of this thread: the folder's device and inode, and the name.
  std::string Key() const;
};

// Finds the file `path` names one component at a time, each looked up in the folder found
// before it with `who` switched to that folder's owner first, and symbolic links followed by
// reading them rather than by a second lookup of the path. What the kernel allows at each step
// is what the folder's owner could do; nothing is looked up twice.
Place Locate(const std::string& path, Identity& who);

// A descriptor of the folder that can be synced and listed; -1 when the folder may be
// searched but not read.
Fd OpenFolder(const Place& place);
// After a rename: the new file is in place and seen by every reader from now on, so a folder
// that fails to sync (which would only lose the rename in a crash) is no failure.
void SyncFolder(const Place& place);

// Writes all of `data` for `target`: a short write goes on where it stopped.
void WriteAll(int fd, std::string_view data, const std::string& target);
// fsync, again after a signal.
int Sync(int fd);
// Reads the whole of the open regular file `fd`, whose status is `st`.
void ReadOpen(int fd, const std::string& path, const struct stat& st, std::string& text);

// A file-size limit (ulimit -f) makes the kernel send SIGXFSZ, which kills by default, before
// the write that crossed it fails with EFBIG. Held back on this thread while a file is
// written, the signal becomes that failure, told like any other; one this writing raised is
// taken back before the thread's mask is restored.
class FileSizeSignalHeld {
 public:
  FileSizeSignalHeld();
  ~FileSizeSignalHeld();
  FileSizeSignalHeld(const FileSizeSignalHeld&) = delete;
  FileSizeSignalHeld& operator=(const FileSizeSignalHeld&) = delete;

 private:
  sigset_t xfsz_, saved_;
  bool wasPending_ = false;
};

// Temporary files of one target are named ".<file>.tabrix-XXXXXX" beside it.
std::string TempPrefix(const std::string& name);
// A writer killed between creating its temporary file and renaming it leaves the file behind.
// Only writers of the same target make files of that name, and they hold its lock: whatever
// is there now is such a leftover.
void RemoveLeftovers(const Place& place);

// A temporary file next to the target, removed unless it was renamed into place.
class TempFile {
 public:
  explicit TempFile(const Place& place);
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  int fd() const { return fd_; }
  // Syncs the file and renames it to `name` in the folder (the target's own by default).
  void Commit(const std::string& name = "");
  std::string path() const { return Join(place_.folderPath, name_); }

 private:
  std::string Folder() const { return place_.folderPath.empty() ? "." : place_.folderPath; }

  const Place& place_;
  std::string name_;
  int fd_ = -1;
  bool renamed_ = false;
};

// The extended attributes of an open file (its POSIX ACL among them, as
// system.posix_acl_access); none where the file system keeps none.
std::vector<std::string> AttributeNames(int fd, const std::string& path);
std::string AttributeValue(int fd, const std::string& name, const std::string& path);
// Refuses to change `path`, whose `what` could not be kept.
[[noreturn]] void CannotKeep(const std::string& what, const std::string& path, int error);

// The text of a file last read under a lock this thread holds, and the status it was read
// with (Locks.cpp): the first change of the file under the same lock takes it instead of
// reading the file again (the existence test before a create, then the create's rewrite).
// The lock keeps every other Tabrix writer out; the status tells a change by a writer that
// takes no lock. Kept only while this thread holds the file's lock; dropped with it.
void KeepReadUnderLock(const Place& place, const struct stat& st,
                       std::shared_ptr<std::string> text);
// That text, shared, when it was read from what `st` describes and the lock is still held:
// a second reader under the lock (the installer's own existence test) reads nothing again.
std::shared_ptr<const std::string> KeptReadUnderLock(const Place& place, const struct stat& st);
// Moves that text into `text` when it was read from what `st` describes and no reader holds
// it any longer; drops it either way.
bool TakeReadUnderLock(const Place& place, const struct stat& st, std::string& text);

// A lock taken for one rewrite (Locks.cpp), let go at the end of its scope; nothing when this
// thread holds the file's lock already.
class Held {
 public:
  Held(const Place& place, mode_t newMode);
  ~Held();
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;

 private:
  std::string key_;
  Fd side_, data_;
};

// The rewrite in place, journaled (Journal.cpp), for a file whose owner or group a rename
// could not keep.
// Puts back the earlier text an interrupted rewrite in place left in its journal.
void RecoverFromJournal(const Place& place);
// The journal of `place` when there is one a writer of the file left, opened; refused when one
// is there that cannot be trusted. `file`: the status of the file, when it exists.
Fd OpenJournal(const Place& place, const struct stat* file);
// The kernel clears a file capability on any write, and set-ID bits on a write by one
// without CAP_FSETID: a file that has them cannot be written in place and stay what it was.
void RefuseWhatAWriteClears(int fd, const struct stat& st, const std::string& path);
// Rewrites the open file `fd` in place with `data`, its earlier text `earlier` journaled
// first. A failure puts the earlier text back; where even that fails, the journal stays.
void RewriteInPlace(const Place& place, int fd, std::string_view earlier, std::string_view data);

}  // namespace platform::odbcini::files

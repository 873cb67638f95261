// The locked, atomic rewrite of a configuration file, and reading one whole.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/odbcini/Edits.h"

namespace platform::odbcini {

// The largest configuration file read: generous (100,000 data sources take about 56 MiB),
// and a bound on what a file that never ends (a device) could make us allocate.
inline constexpr size_t kMaxFileSize = size_t{256} << 20;

// Reads a whole file; false when it does not exist. Raises std::system_error, with a reason
// for people, for anything else that keeps it from being read: no permission, a folder, a
// FIFO, a device or anything but a regular file, a file over kMaxFileSize. Never blocks.
bool ReadFile(const std::string& path, std::string& text);
// The same, into a text that may be shared; null when the file does not exist. Read under a
// FileLock this thread holds, the text is kept until the lock goes, and the first rewrite of
// the file under that lock takes it (once no caller holds it any longer, and the file is
// unchanged) instead of reading the file again.
std::shared_ptr<const std::string> ReadSharedFile(const std::string& path);

// Why the caller may not rewrite `path` in place: it could not open it for writing (a
// replacement by rename would bypass the file's own permissions). Empty when it may, or when
// the file does not exist.
std::string WhyNotWritable(const std::string& path);

// How long a change waits for a lock that another process holds, and whom it tells.
struct LockWait {
  double seconds = 30;                              // 0: do not wait
  std::function<void(const std::string&)> waiting;  // called once, with the locked file
};
void SetLockWait(LockWait wait);

// The exclusive lock on one configuration file, "<file>.lock" beside it (symbolic links to
// the file followed, a link in the lock's place refused), made with the data file's group and
// write bits so that whoever may write the file may take it; one this caller may only read
// is locked all the same. The data file itself is locked too, where it exists, so that a lock
// file this caller may not open at all (another user's, for its owner alone) keeps it apart
// from the other writers without locking it out. Hold one across a whole read-modify-write; changes
// of the same file by this thread within its scope reuse it instead of locking again. Where no lock
// file can be made (a read-only mount, a folder the caller may not write) it holds nothing: nothing
// can be changed there either, and a change tried within its scope is refused by its own lock.
// Raises std::system_error when it cannot be had in time.
class FileLock {
 public:
  explicit FileLock(const std::string& path);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  std::string target_;  // the file's folder (device, inode) and name
  int fd_ = -1;         // -1 when an outer lock of this thread is reused, or none is needed
  int dataFd_ = -1;     // the data file's own lock, where it exists
};

// One locked, atomic rewrite of `path`. Under its FileLock it reads the file (an empty text
// when it is missing and `create` is set), lets `edit` change the text, and replaces the
// file by rename from a synced temporary file in the same folder, writing through a symbolic
// link to its target. The replacement keeps everything the file was: owner, group, mode and
// extended attributes, its POSIX ACL among them (`newMode` for a new file); it refuses,
// naming what, to change a file it cannot keep so, a file with more than one hard link (a
// rename would split them), and a file the caller could not write in place.
//
// The file is found one path component at a time through descriptors, each folder opened
// once, and links read and followed rather than looked up again. Root working in a folder
// that belongs to another user (or on a name of a sticky folder that does) switches this
// thread's file-system identity to that user first, so that the kernel gives it that user's
// rights alone: a link or a swapped folder leads nowhere the user could not write, and what
// it makes is the user's. `edit` returns false, with a reason, to leave the file as it is.
// Returns false with the reason when nothing was written.
using Edit = std::function<bool(std::string& text, std::string& reason)>;
bool RewriteFile(const std::string& path, bool create, unsigned newMode, const Edit& edit,
                 std::string& reason);
// Puts `data` in place of `path` as RewriteFile does (a synced temporary file beside it, then
// a rename and the folder's sync, with the identity of the folder's owner), with `mode`, and
// without a lock or a look at what it replaces: for the caller that has decided `path` may be
// replaced. Raises std::system_error.
void ReplaceFile(const std::string& path, std::string_view data, unsigned mode);

// The same, where the edit may also leave one splice of its text for the writing to make.
using SplicingEdit =
    std::function<bool(std::string& text, std::optional<Splice>& splice, std::string& reason)>;
bool RewriteFile(const std::string& path, bool create, unsigned newMode, const SplicingEdit& edit,
                 std::string& reason);

}  // namespace platform::odbcini

// Reading a configuration file, and the locked, atomic rewrite of one.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/odbcini/Files.h"
#include "platform/odbcini/Refusals.h"
#include "platform/odbcini/Rewrite.h"

namespace platform::odbcini {

using namespace files;

namespace {

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
  if (!TakeReadUnderLock(place, st, text)) ReadOpen(fd.get(), place.path, st, text);
  return true;
}

// The file a rewrite changes, as it found it: open, its text and status.
struct Found {
  Fd fd;
  std::string text;
  struct stat st {};
  bool exists = false;
  std::string whyNotWritable;  // why the caller may not write it in place
};

// Why the file found at `place` is left as it is, before any edit; empty when it may change.
std::string WhyLeftAsIs(const Place& place, const Found& file, bool create) {
  const std::string& target = place.path;
  if (!file.exists && !create) return target + " does not exist";
  if (!file.whyNotWritable.empty()) return file.whyNotWritable;
  // A replacement by rename would leave the file's other names with the old text.
  if (file.exists && file.st.st_nlink > 1)
    return target + " has " + std::to_string(file.st.st_nlink) +
           " hard links, and a replacement would split them, so it is left as it is";
  // unixODBC reads nothing from such a file; a change to it would not be seen either.
  if (std::string why = WhyUnread(file.text, target); !why.empty())
    return why + ", so it is left as it is";
  return "";
}

// Replaces the file by a rename from a synced temporary file holding `text` with `splice`
// made, which keeps everything the old file was (or has `newMode`, for a new file).
void ReplaceByRename(const Place& place, const Found& file, std::string_view text,
                     const std::optional<Splice>& splice, unsigned newMode) {
  const std::string& target = place.path;
  TempFile temp(place);
  if (!splice) {
    WriteAll(temp.fd(), text, target);
  } else {
    WriteAll(temp.fd(), text.substr(0, splice->at), target);
    WriteAll(temp.fd(), splice->insert, target);
    WriteAll(temp.fd(), text.substr(splice->at + splice->erase), target);
  }
  if (file.exists)
    KeepAttributes(file.fd.get(), temp.fd(), file.st, target);
  else if (fchmod(temp.fd(), newMode) != 0)
    Fail(temp.path());
  temp.Commit();
  SyncFolder(place);
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

namespace {

// ReadFile's work, into `text`; false when the file does not exist. What it read from the
// file itself (not from a journal) is kept for a change under a lock this thread holds, and
// a shared read under that lock of the file unchanged since takes it too (into `kept`).
bool ReadWhole(const std::string& path, std::string& text,
               const std::shared_ptr<std::string>& shared,
               std::shared_ptr<const std::string>* kept = nullptr) {
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
  bool journaled = false;
  if (fstat(fd.get(), &file) == 0) {
    try {
      if (Fd journal = OpenJournal(place, &file); journal.get() >= 0) {
        fd = std::move(journal);
        journaled = true;
      }
    } catch (const std::system_error&) {
      // One that cannot be read or trusted is not ours to read: the file is read as it is.
    }
  }
  struct stat st {};
  if (fstat(fd.get(), &st) != 0) Fail(path);
  if (!S_ISREG(st.st_mode)) Refuse(path, KindOf(st.st_mode) + ", not a configuration file");
  if (kept && !journaled && (*kept = KeptReadUnderLock(place, st))) return true;
  ReadOpen(fd.get(), path, st, text);
  if (shared && !journaled) KeepReadUnderLock(place, st, shared);
  return true;
}

}  // namespace

bool ReadFile(const std::string& path, std::string& text) { return ReadWhole(path, text, nullptr); }

std::shared_ptr<const std::string> ReadSharedFile(const std::string& path) {
  auto text = std::make_shared<std::string>();
  std::shared_ptr<const std::string> kept;
  if (!ReadWhole(path, *text, text, &kept)) return nullptr;
  if (kept) return kept;
  return text;
}

std::string WhyNotWritable(const std::string& path) {
  // The kernel decides, as it would for a writer in place; nothing is truncated or written.
  Fd fd(open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() >= 0 || errno == ENOENT) return "";
  return "cannot write " + path + ": " + std::strerror(errno);
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
    Held lock(place, newMode);
    RecoverFromJournal(place);
    RemoveLeftovers(place);
    Found file;
    file.exists = OpenToChange(place, file.fd, file.text, file.st, file.whyNotWritable);
    if (std::string why = WhyLeftAsIs(place, file, create); !why.empty()) {
      reason = why;
      return false;
    }
    // An owner or group this writer cannot give would not survive a rename: such a file is
    // rewritten in place, journaled, and keeps them with its inode. Every other file is
    // replaced by a rename, the one way unixODBC, which takes no lock, never reads half a
    // file, also after a crash. (Attributes of the trusted namespace, which only root can set
    // and see, are therefore not kept by a user's rewrite: no user can tell they are there.)
    const bool inPlace = file.exists && !CanGiveOwnerAndGroup(file.st);
    std::string earlier;
    if (inPlace) {
      RefuseWhatAWriteClears(file.fd.get(), file.st, place.path);
      earlier = file.text;
    }
    std::optional<Splice> splice;
    if (!edit(file.text, splice, reason)) return false;
    if (splice && splice->at + splice->erase > file.text.size()) {
      reason = "an edit of " + place.path + " reached past its end";  // a fault of ours
      return false;
    }
    FileSizeSignalHeld signalHeld;
    if (!inPlace) {
      ReplaceByRename(place, file, file.text, splice, newMode);
      return true;
    }
    if (splice) SpliceInto(file.text, *splice);
    RewriteInPlace(place, file.fd.get(), earlier, file.text);
    return true;
  } catch (const std::system_error& e) {
    reason = e.what();
    return false;
  }
}

}  // namespace platform::odbcini

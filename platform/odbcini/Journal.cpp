// The rewrite in place, for a writer that cannot give a new file the old one's owner and
// group: the file's earlier text journaled beside it first, so that a crash or a failure
// leaves a text that is put back before anything else reads or changes the file.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/odbcini/Files.h"

namespace platform::odbcini::files {
namespace {

// The undo journal of a rewrite in place: the file's earlier text, beside it, present from
// before the first byte is written in place until the new text is synced. A writer that finds
// it (after a crash or a failure that could not be undone) puts that text back first.
std::string JournalName(const std::string& name) { return TempPrefix(name) + "undo"; }

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

}  // namespace

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
    Refuse(Join(place.folderPath, name), "not a journal that a writer of " + place.path +
                                             " left (uid " + std::to_string(st.st_uid) + ", mode " +
                                             Octal(st.st_mode) +
                                             "); it is left as it is, and so is " + place.path);
  return fd;
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

}  // namespace platform::odbcini::files

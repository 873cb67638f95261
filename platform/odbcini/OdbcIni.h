// unixODBC's configuration files: where they are, how they read, and how we change them.
//
// The reading functions see a file as unixODBC 2.3.11 does (ini/iniOpen.c, iniAppend.c):
// - It reads pieces, not lines: fgets into a 1000-byte buffer takes at most 999 bytes, so a
//   longer line splits and each further 999 bytes read as a line of their own.
// - A piece ends at its first NUL byte for everything that follows.
// - Trimming removes C's isspace bytes: space, tab, line feed, CR, vertical tab, form feed.
//   So a CRLF file reads like an LF one.
// - Before the first section only blank lines and comments ("#" or ";" as the first
//   non-blank byte) may stand, and the first header must start in the first column;
//   anything else makes unixODBC refuse the whole file (see FindRejection).
// - "[name" starts a section; the name runs to the first "]" (or the end of the piece) and is
//   trimmed; what follows the "]" is ignored. "key = value" splits at the first "="; a line
//   without "=" is a key with an empty value; both sides are trimmed.
// - Names compare without regard to ASCII case; a repeated section or key: the first wins.
// How a line is classified depends on which of unixODBC's two readers reads the file; see
// Reader.
//
// The editing functions find sections and keys as Reader::Open reads them, change only the
// pieces they must, and keep every other byte. Lines they add end as the file's lines do.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::odbcini {

// The files, found as unixODBC 2.3.11 finds them: the user file is $ODBCINI, else the home
// directory from the password database plus "/.odbc.ini" (an entry that does not fit a
// 1,024-byte buffer, or none, gives "/home/.odbc.ini"); the system file is
// $ODBCSYSINI/odbc.ini; the drivers file is $ODBCSYSINI/$ODBCINSTINI ("odbcinst.ini" when
// unset; set but empty, the folder itself, which reads as empty).
std::string UserFile();
std::string SystemFile();
std::string DriversFile();
// The user's drivers, which unixODBC reads beneath the drivers file with Reader::Append:
// $HOME/.odbcinst.ini ("/home/.odbcinst.ini" without $HOME). A driver the drivers file
// defines is never taken from it.
std::string UserDriversFile();
// Reads the drivers file as ReadFile does, except that a path ending in "/" ($ODBCINSTINI set
// but empty) reads as an empty file, as unixODBC's fopen and fgets read the folder; the user's
// drivers are still read beneath it.
bool ReadDriversFile(const std::string& path, std::string& text);

// The section listing the data sources as name = driver description.
inline constexpr std::string_view kDataSourcesSection = "ODBC Data Sources";

// unixODBC's two readers.
// Open (iniOpen) reads the user file, the drivers file, and the system file when that is
// read on its own (system mode, or when the user file was refused): after leading blanks, "["
// starts a header, "#" or ";" a comment, anything else is a key.
// Append (iniAppend) reads the system file beneath the user file in the default mode, which
// is how the driver manager finds a data source, and a user's ~/.odbcinst.ini beneath the
// drivers file: a header must start in the first column, a key with a letter or digit;
// every other line, indented ones included, is skipped. A refused file adds nothing.
enum class Reader { Open, Append };

// Byte offsets of one section in a file's text: its header starts at `header`, its body (the
// pieces after the header) runs from `body` to `end`. A header or body can start inside a
// line longer than 999 bytes, where unixODBC starts a piece.
struct Section {
  std::string_view name;
  size_t header = 0;
  size_t body = 0;
  size_t end = 0;
};

using KeyValues = std::vector<std::pair<std::string, std::string>>;

// Where unixODBC refuses a whole file: the line (1-based, counting the file's own lines)
// and why, worded to follow "line N: ". The reading functions below do not check this.
struct Rejection {
  size_t line = 0;
  std::string reason;
  // "FILE:LINE: reason", for messages.
  std::string In(const std::string& file) const {
    return file + ":" + std::to_string(line) + ": " + reason;
  }
};
std::optional<Rejection> FindRejection(std::string_view text);

// Calls `visit` for each section in file order; stops when it returns false.
void ForEachSection(std::string_view text, const std::function<bool(const Section&)>& visit,
                    Reader reader = Reader::Open);
// The first section of that name: the one unixODBC reads.
std::optional<Section> FindSection(std::string_view text, std::string_view name,
                                   Reader reader = Reader::Open);
// The keys of a section's body, in file order, comments skipped, repeats and an empty key
// name kept as unixODBC keeps them. FindKey answers the first of that name.
KeyValues ReadKeys(std::string_view body, Reader reader = Reader::Open);
std::optional<std::string> FindKey(std::string_view body, std::string_view key,
                                   Reader reader = Reader::Open);

// The line end of the text: "\r\n" when its first line ends so, else "\n".
std::string LineEnd(std::string_view text);

// Why a name, keyword or value cannot be stored exactly; empty when it can.
std::string CheckSectionName(std::string_view name);
std::string CheckKeyword(std::string_view keyword);
std::string CheckValue(std::string_view keyword, std::string_view value);

// Edits of a file's text in place. Lines they write end in LineEnd(text).
enum class Merge { Replace, Update };
// Writes `keys` into the first section `name`, creating it at the end of the file when
// missing. Replace drops the section's old keys; Update changes keys in place (dropping
// repeats of them) and appends new ones. Comment and blank lines are kept either way.
void WriteSection(std::string& text, std::string_view name, const KeyValues& keys, Merge merge);
// Appends a section at the end, as WriteSection does for a name the text lacks, without
// looking for it: for a caller that knows it is not there.
void AppendSection(std::string& text, std::string_view name, const KeyValues& keys);
// Removes every section of that name, header and key lines, keeping their comments; false
// when there is none.
bool RemoveSection(std::string& text, std::string_view name);
// Sets or removes one key of the first section of that name (created for a set when
// missing). Removing takes every line of the key from that section, the one unixODBC reads;
// later sections of the same name stay as they are.
void SetKey(std::string& text, std::string_view section, std::string_view key,
            std::string_view value);
void RemoveKey(std::string& text, std::string_view section, std::string_view key);

// One change of a text described rather than made: `erase` bytes at `at` give way to
// `insert`. A large file's listing gains or loses a line this way as it is written, instead
// of moving everything after the line in memory.
struct Splice {
  size_t at = 0;
  size_t erase = 0;
  std::string insert;
};
void Apply(std::string& text, const Splice& splice);
// What SetKey and RemoveKey would do, as one splice, when it is a single whole line added or
// removed (or nothing, for RemoveKey of a missing key); nullopt when they must do more.
std::optional<Splice> SetKeySplice(std::string_view text, std::string_view section,
                                   std::string_view key, std::string_view value);
std::optional<Splice> RemoveKeySplice(std::string_view text, std::string_view section,
                                      std::string_view key);

// The largest configuration file read: generous (100,000 data sources take about 56 MiB),
// and a bound on what a file that never ends (a device) could make us allocate.
inline constexpr size_t kMaxFileSize = size_t{256} << 20;

// Reads a whole file; false when it does not exist. Raises std::system_error, with a reason
// for people, for anything else that keeps it from being read: no permission, a folder, a
// FIFO, a device or anything but a regular file, a file over kMaxFileSize. Never blocks.
bool ReadFile(const std::string& path, std::string& text);

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
// from the other writers without locking it out. Hold one across a whole read-modify-write; changes of the same file
// by this thread within its scope reuse it instead of locking again. Where no lock file can be
// made (a read-only mount, a folder the caller may not write) it holds nothing: nothing can be
// changed there either, and a change tried within its scope is refused by its own lock.
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

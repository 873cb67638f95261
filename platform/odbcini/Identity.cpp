// Whose rights a change is made with, and where the file it changes is.
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "platform/odbcini/Files.h"

namespace platform::odbcini::files {

Identity::~Identity() {
  if (!switched_) return;
  setfsuid(savedUid_);
  setfsgid(savedGid_);
  syscall(SYS_setgroups, savedGroups_.size(), savedGroups_.data());
}

namespace {

// The groups of the user `uid` with their primary group first; the folder's group alone for
// a uid the password database does not know.
std::vector<gid_t> GroupsOf(uid_t uid, gid_t& gid) {
  std::vector<gid_t> groups;
  std::vector<char> buf(16384);
  passwd pw{};
  passwd* found = nullptr;
  if (getpwuid_r(uid, &pw, buf.data(), buf.size(), &found) != 0 || !found) return {gid};
  gid = pw.pw_gid;
  int n = 64;
  groups.resize(static_cast<size_t>(n));
  while (getgrouplist(pw.pw_name, gid, groups.data(), &n) < 0)
    groups.resize(static_cast<size_t>(n) + 1);
  groups.resize(static_cast<size_t>(n));
  return groups;
}

}  // namespace

void Identity::EnterFolder(const struct stat& st) {
  if (switched_ || st.st_uid == 0 || CurrentFsUid() != 0) return;
  gid_t gid = st.st_gid;
  const std::vector<gid_t> groups = GroupsOf(st.st_uid, gid);
  const int saved = getgroups(0, nullptr);
  savedGroups_.resize(static_cast<size_t>(std::max(saved, 0)));
  if (saved < 0 || getgroups(saved, savedGroups_.data()) < 0) Fail("cannot read the groups");
  const std::string cannot =
      "cannot act as the owner of a folder (uid " + std::to_string(st.st_uid) + ")";
  if (syscall(SYS_setgroups, groups.size(), groups.data()) != 0) Fail(cannot);
  switched_ = true;
  savedGid_ = static_cast<gid_t>(setfsgid(gid));
  savedUid_ = static_cast<uid_t>(setfsuid(st.st_uid));
  if (CurrentFsUid() != st.st_uid || static_cast<gid_t>(setfsgid(-1)) != gid) Fail(EPERM, cannot);
}

uid_t Identity::CurrentFsUid() { return static_cast<uid_t>(setfsuid(static_cast<uid_t>(-1))); }

bool CanGiveOwnerAndGroup(const struct stat& st) {
  const uid_t uid = Identity::CurrentFsUid();
  if (uid == 0) return true;
  if (st.st_uid != uid) return false;
  if (static_cast<gid_t>(setfsgid(static_cast<gid_t>(-1))) == st.st_gid) return true;
  std::vector<gid_t> groups(static_cast<size_t>(std::max(getgroups(0, nullptr), 0)));
  if (getgroups(static_cast<int>(groups.size()), groups.data()) < 0) return false;
  return std::find(groups.begin(), groups.end(), st.st_gid) != groups.end();
}

std::string Place::Key() const {
  struct stat st {};
  if (fstat(folder.get(), &st) != 0) Fail(folderPath);
  return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + "/" + name;
}

namespace {

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
  if (n == 0 || static_cast<size_t>(n) >= sizeof target) Fail(ENAMETOOLONG, path);
  return std::string(target, static_cast<size_t>(n));
}

Fd OpenRoot(bool fromRoot) {
  Fd fd(open(fromRoot ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) Fail(fromRoot ? "/" : ".");
  return fd;
}

// Where a lookup is: the folder reached, and the components still to look up, the next last.
struct Walk {
  Place place;
  std::vector<std::string> pending;
  int hops = 0;
};

// Takes up, in place of its name, the components of where the link open as `link` leads.
void Follow(Walk& walk, int link, const std::string& here) {
  const std::string target = ReadLink(link, here);
  if (++walk.hops > 40) Fail(ELOOP, here);
  std::vector<std::string> parts = Components(target);
  walk.pending.insert(walk.pending.end(), parts.rbegin(), parts.rend());
  if (target[0] == '/') {
    walk.place.folder = OpenRoot(true);
    walk.place.folderPath = "/";
  }
}

// Looks up the next component; true when it was the file itself, now named in walk.place.
bool Step(Walk& walk, Identity& who) {
  const std::string name = walk.pending.back();
  walk.pending.pop_back();
  if (name == ".") return false;
  Place& place = walk.place;
  struct stat folder {};
  if (fstat(place.folder.get(), &folder) != 0) Fail(place.folderPath);
  who.EnterFolder(folder);
  const std::string here = Join(place.folderPath, name);
  // What is at the name, opened once without following it: a link is read through this
  // descriptor, never looked up again.
  Fd at(openat(place.folder.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
  struct stat entry {};
  const bool present = at.get() >= 0 && fstat(at.get(), &entry) == 0;
  // In a sticky folder (/tmp) each name is its owner's to change: what it is and where a
  // link leads are that owner's, whoever owns the folder.
  if (present && (folder.st_mode & S_ISVTX) && (folder.st_mode & 0002)) who.EnterFolder(entry);
  const bool last = walk.pending.empty();  // the file itself
  if (!present && !last) Fail(here);
  if (present && S_ISLNK(entry.st_mode)) {
    Follow(walk, at.get(), here);
    return false;
  }
  if (last) {
    if (name == "..") Fail(EISDIR, here);
    place.name = name;
    place.path = here;
    return true;
  }
  if (!S_ISDIR(entry.st_mode)) Fail(ENOTDIR, here);
  place.folder = std::move(at);
  place.folderPath = here;
  return false;
}

}  // namespace

Place Locate(const std::string& path, Identity& who) {
  if (path.empty()) Fail(ENOENT, "an empty path");
  const bool absolute = path[0] == '/';
  Walk walk;
  walk.place.folder = OpenRoot(absolute);
  walk.place.folderPath = absolute ? "/" : "";
  walk.pending = Components(path);
  std::reverse(walk.pending.begin(), walk.pending.end());
  while (!walk.pending.empty())
    if (Step(walk, who)) return std::move(walk.place);
  Fail(EISDIR, path);
}

}  // namespace platform::odbcini::files

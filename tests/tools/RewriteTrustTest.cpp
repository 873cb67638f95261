// What a rewrite of a configuration file keeps, whose rights it is made with, and what its
// lock file lets others do: the file stays everything it was (owner, group, mode, ACL,
// extended attributes, its one name) or is left as it is with the reason; root working in a
// user's folder goes only where that user could; every writer of a file can take its lock.
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <vector>

#include "ClientFixture.h"

namespace {

using namespace clienttest;

const std::string kExcel = "Microsoft Excel Driver (*.xls)";
const std::string kSales =
    "[ODBC Data Sources]\nSales = " + kExcel + "\n\n[Sales]\nDriver = " + kExcel + "\n";

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

struct stat Lstat(const fs::path& path) {
  struct stat st {};
  EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
  return st;
}

// The extended attributes of a file, name and value, in the order the kernel lists them.
std::vector<std::pair<std::string, std::string>> Attributes(const fs::path& path) {
  std::vector<std::pair<std::string, std::string>> out;
  char names[4096];
  const ssize_t n = llistxattr(path.c_str(), names, sizeof names);
  for (ssize_t at = 0; n > 0 && at < n; at += static_cast<ssize_t>(std::strlen(names + at)) + 1) {
    char value[4096];
    const ssize_t size = lgetxattr(path.c_str(), names + at, value, sizeof value);
    out.emplace_back(names + at,
                     std::string(value, static_cast<size_t>(std::max<ssize_t>(size, 0))));
  }
  return out;
}

bool SetAttribute(const fs::path& path, const std::string& name, const std::string& value) {
  return setxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0) == 0;
}

// A POSIX ACL as the kernel stores it in system.posix_acl_access: a version, then entries of
// tag, permissions and id, ordered by tag.
std::string Acl(std::vector<std::tuple<uint16_t, uint16_t, uint32_t>> entries) {
  std::string bytes;
  auto put = [&](const void* p, size_t n) { bytes.append(static_cast<const char*>(p), n); };
  const uint32_t version = 2;
  put(&version, 4);
  for (auto [tag, perm, id] : entries) {
    put(&tag, 2);
    put(&perm, 2);
    put(&id, 4);
  }
  return bytes;
}
constexpr uint16_t kUserObj = 1, kUser = 2, kGroupObj = 4, kMask = 0x10, kOther = 0x20;
constexpr uint32_t kNoId = 0xFFFFFFFF;

struct OtherUser {
  uid_t uid;
  gid_t gid;
};

std::optional<OtherUser> Nobody() {
  if (geteuid() != 0) return std::nullopt;
  const passwd* pw = getpwnam("nobody");
  if (!pw || pw->pw_uid == 0) return std::nullopt;
  return OtherUser{pw->pw_uid, pw->pw_gid};
}

// `tabrix` run as `user`, with these supplementary groups.
std::string As(const OtherUser& user, const std::string& groups = "") {
  return "setpriv --reuid=" + std::to_string(user.uid) + " --regid=" + std::to_string(user.gid) +
         (groups.empty() ? " --clear-groups" : " --groups=" + groups);
}

class Rewrite : public Client {
 protected:
  fs::path UserFile() const { return dir / "odbc.user.ini"; }
  fs::path SystemFile() const { return dir / "odbc.ini"; }
};

// ---- a rewrite keeps everything the file was

TEST_F(Rewrite, KeepsOwnerGroupModeAclAndExtendedAttributes) {
  const auto nobody = Nobody();
  if (!nobody) GTEST_SKIP() << "needs root, to give the file another owner and trusted.* values";
  Spit(SystemFile(), kSales);
  if (!SetAttribute(SystemFile(), "user.origin", "hand"))
    GTEST_SKIP() << "the build folder's file system keeps no extended attributes: "
                 << std::strerror(errno);
  // A named grant to nobody, the group's bits narrower than the mask would allow.
  const std::string acl = Acl({{kUserObj, 6, kNoId},
                               {kUser, 4, nobody->uid},
                               {kGroupObj, 4, kNoId},
                               {kMask, 4, kNoId},
                               {kOther, 0, kNoId}});
  if (!SetAttribute(SystemFile(), "system.posix_acl_access", acl))
    GTEST_SKIP() << "the build folder's file system keeps no POSIX ACLs: " << std::strerror(errno);
  ASSERT_TRUE(SetAttribute(SystemFile(), "trusted.audit", std::string("\0\1\2", 3)));
  ASSERT_TRUE(SetAttribute(SystemFile(), "security.tabrix-test", "label")) << std::strerror(errno);
  ASSERT_EQ(chown(SystemFile().c_str(), nobody->uid, 50), 0);  // staff
  const auto before = Attributes(SystemFile());
  const struct stat old = Lstat(SystemFile());

  // Root, in root's folder: it may keep every one of them, and must.
  Result r = Tabrix("configure Sales --system --threads 3");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Contains(Odbcinst("Sales"), "Threads=3\n"));
  const struct stat now = Lstat(SystemFile());
  EXPECT_NE(now.st_ino, old.st_ino);  // replaced, not written in place
  EXPECT_EQ(now.st_uid, nobody->uid);
  EXPECT_EQ(now.st_gid, 50u);
  EXPECT_EQ(now.st_mode & 07777, old.st_mode & 07777);
  EXPECT_EQ(Attributes(SystemFile()), before);
}

TEST_F(Rewrite, WhatTheFolderWouldGiveANewFileIsNotAddedToAnOldOne) {
  Spit(SystemFile(), kSales);
  ASSERT_EQ(chmod(SystemFile().c_str(), 0644), 0);
  // A default ACL on the folder: a temporary file made there gets an access ACL from it.
  const std::string defaults = Acl({{kUserObj, 6, kNoId},
                                    {kUser, 6, 12345},
                                    {kGroupObj, 4, kNoId},
                                    {kMask, 6, kNoId},
                                    {kOther, 4, kNoId}});
  if (!SetAttribute(dir, "system.posix_acl_default", defaults))
    GTEST_SKIP() << "the build folder's file system keeps no POSIX ACLs: " << std::strerror(errno);
  Result r = Tabrix("configure Sales --system --threads 3");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Attributes(SystemFile()), (std::vector<std::pair<std::string, std::string>>{}));
  EXPECT_EQ(Lstat(SystemFile()).st_mode & 07777, 0644u);
  // A new file gets what the folder gives, as any file made there would.
  r = Tabrix("create Fresh --user");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Attributes(UserFile()).size(), 1u);
}

TEST_F(Rewrite, WhatCannotBeKeptIsNamedAndTheFileLeftAsItIs) {
  const auto nobody = Nobody();
  if (!nobody) GTEST_SKIP() << "needs root, to run tabrix as the user nobody";
  ASSERT_EQ(chown(dir.c_str(), nobody->uid, nobody->gid), 0);
  ASSERT_EQ(chown((dir / "odbcinst.ini").c_str(), nobody->uid, nobody->gid), 0);
  auto unchanged = [&](const fs::path& file, const std::string& text, const struct stat& old) {
    EXPECT_EQ(Slurp(file), text);
    EXPECT_EQ(Lstat(file).st_ino, old.st_ino);
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir))
      if (Contains(entry.path().filename().string(), ".tabrix-")) left.push_back(entry.path());
    EXPECT_TRUE(left.empty()) << left[0];
  };

  // A file capability: only a privileged writer may set one on the new file.
  Spit(SystemFile(), kSales);
  ASSERT_EQ(chown(SystemFile().c_str(), nobody->uid, nobody->gid), 0);
  const uint32_t capability[5] = {0x02000000, 1, 0, 0, 0};  // revision 2, CAP_CHOWN permitted
  if (!SetAttribute(SystemFile(), "security.capability",
                    std::string(reinterpret_cast<const char*>(capability), sizeof capability)))
    GTEST_SKIP() << "the build folder's file system keeps no security.* attributes: "
                 << std::strerror(errno);
  struct stat old = Lstat(SystemFile());
  Result r = Tabrix("configure Sales --system --threads 3", "", As(*nobody));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "tabrix: cannot configure system data source \"Sales\": cannot keep the "
            "extended attribute security.capability of " +
                SystemFile().string() + ", so it is left as it is: Operation not permitted\n");
  unchanged(SystemFile(), kSales, old);

  // Set-ID bits the owner may set again are kept by the replacement.
  ASSERT_EQ(removexattr(SystemFile().c_str(), "security.capability"), 0);
  ASSERT_EQ(chmod(SystemFile().c_str(), 02664), 0);
  r = Tabrix("configure Sales --system --threads 3", "", As(*nobody));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lstat(SystemFile()).st_mode & 07777, 02664u);
  EXPECT_TRUE(Contains(Slurp(SystemFile()), "Threads = 3\n"));
  Spit(SystemFile(), kSales);

  // A member of the file's group may write it, and does not take it: the file stays root's.
  ASSERT_EQ(chown(SystemFile().c_str(), 0, 100), 0);  // root:users
  ASSERT_EQ(chmod(SystemFile().c_str(), 0664), 0);
  old = Lstat(SystemFile());
  r = Tabrix("configure Sales --system --threads 3", "", As(*nobody, "100"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Contains(Odbcinst("Sales"), "Threads=3\n"));
  EXPECT_EQ(Lstat(SystemFile()).st_uid, 0u);
  EXPECT_EQ(Lstat(SystemFile()).st_gid, 100u);
  EXPECT_EQ(Lstat(SystemFile()).st_ino, old.st_ino);
  Spit(SystemFile(), kSales);

  // A file of two names: a rename would leave the other with the old text.
  const fs::path other = dir / "shared.ini";
  ASSERT_EQ(link(SystemFile().c_str(), other.c_str()), 0);
  r = Tabrix("configure Sales --system --threads 3", "", As(*nobody, "100"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "tabrix: cannot configure system data source \"Sales\": " + SystemFile().string() +
                " has 2 hard links, and a replacement would split them, so it is left as "
                "it is\n");
  unchanged(SystemFile(), kSales, old);
  EXPECT_EQ(Lstat(other).st_ino, old.st_ino);
}

// ---- the lock file lets in every writer of the file

TEST_F(Rewrite, EveryWriterOfAFileCanTakeItsLock) {
  const auto nobody = Nobody();
  if (!nobody) GTEST_SKIP() << "needs root, to run tabrix as two other users";
  // A shared folder, and a file its owner shares with the group users; a member of the group
  // without an entry in the password database writes first.
  const OtherUser member{12345, 100};
  ASSERT_EQ(chmod(dir.c_str(), 01777), 0);
  Spit(SystemFile(), kSales);
  ASSERT_EQ(chown(SystemFile().c_str(), nobody->uid, 100), 0);
  ASSERT_EQ(chmod(SystemFile().c_str(), 0664), 0);
  const fs::path lock = SystemFile().string() + ".lock";

  // The member writes the file in place, which stays its owner's; its lock file takes the
  // file's group and write bits, and the owner, also of that group, may take it.
  Result r = Tabrix("configure Sales --system --threads 2", "", As(member));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lstat(SystemFile()).st_uid, nobody->uid);
  struct stat st = Lstat(lock);
  EXPECT_EQ(st.st_uid, member.uid);
  EXPECT_EQ(st.st_gid, 100u);
  EXPECT_EQ(st.st_mode & 07777, 0660u);
  r = Tabrix("configure Sales --system --threads 3", "", As(*nobody, "100"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Contains(Odbcinst("Sales"), "Threads=3\n"));

  // A lock file left for its maker alone (as earlier versions made them) locks out neither the
  // file's owner nor root: they lock the data file, which every writer locks too. The next run
  // of its maker shares it again.
  ASSERT_EQ(chmod(lock.c_str(), 0600), 0);
  r = Tabrix("configure Sales --system --threads 4", "", As(*nobody, "100"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Contains(Odbcinst("Sales"), "Threads=4\n"));
  r = Tabrix("configure Sales --system --threads 6", "", As(member));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lstat(lock).st_mode & 07777, 0660u);
}

TEST_F(Rewrite, AStrangersLockFileLocksOutNeitherTheOwnerNorRoot) {
  const auto nobody = Nobody();
  if (!nobody) GTEST_SKIP() << "needs root, to run tabrix as two other users";
  const OtherUser stranger{12345, 12345};
  ASSERT_EQ(chmod(dir.c_str(), 01777), 0);
  // The file's group is root's, which nobody is not in: root, acting as nobody there, writes
  // it in place as nobody does, and it keeps that group.
  Spit(SystemFile(), kSales);
  ASSERT_EQ(chown(SystemFile().c_str(), nobody->uid, 0), 0);
  const fs::path lock = SystemFile().string() + ".lock";
  Spit(lock, "");
  ASSERT_EQ(chown(lock.c_str(), stranger.uid, stranger.gid), 0);
  ASSERT_EQ(chmod(lock.c_str(), 0600), 0);

  Result r = Tabrix("configure Sales --system --threads 2", "", As(*nobody));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Contains(Odbcinst("Sales"), "Threads=2\n"));
  r = Tabrix("configure Sales --system --threads 3");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Contains(Odbcinst("Sales"), "Threads=3\n"));
  EXPECT_EQ(Lstat(SystemFile()).st_uid, nobody->uid);
  EXPECT_EQ(Lstat(SystemFile()).st_gid, 0u);
  // Where there is no data file yet, nothing else can be locked: the message says whose the
  // lock file is, and who can set it right.
  const fs::path userLock = UserFile().string() + ".lock";
  fs::remove(UserFile());  // odbcinst's reading may have made it
  Spit(userLock, "");
  ASSERT_EQ(chown(userLock.c_str(), stranger.uid, stranger.gid), 0);
  ASSERT_EQ(chmod(userLock.c_str(), 0600), 0);
  r = Tabrix("create New --user", "", As(*nobody));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tabrix: cannot create user data source \"New\": cannot open the lock file " +
                       userLock.string() +
                       ", which belongs to uid 12345 (mode 0600), and there is no data file to "
                       "lock instead; uid 12345 can give it the data file's group and write "
                       "bits, and uid 12345, the folder's owner (uid 0) or root can remove it: "
                       "Permission denied\n");
  EXPECT_FALSE(fs::exists(UserFile()));
}

// A writer that cannot give a new file the old one's group (the owner, not in the file's
// group) writes it in place, so that the file keeps its group and every attribute, those only
// root can see included; a change cut short is put back.
TEST_F(Rewrite, AFileWhoseGroupTheWriterCannotGiveIsWrittenInPlaceKeepingEverything) {
  const auto nobody = Nobody();
  if (!nobody) GTEST_SKIP() << "needs root, to set trusted.* values and run tabrix as nobody";
  ASSERT_EQ(chown(dir.c_str(), nobody->uid, nobody->gid), 0);
  Spit(UserFile(), kSales);
  ASSERT_EQ(chown(UserFile().c_str(), nobody->uid, 0), 0);  // root's group, not nobody's
  if (!SetAttribute(UserFile(), "trusted.backup", "tier 2"))
    GTEST_SKIP() << "the build folder's file system keeps no trusted.* attributes: "
                 << std::strerror(errno);
  ASSERT_TRUE(SetAttribute(UserFile(), "user.origin", "hand"));
  const auto before = Attributes(UserFile());
  const struct stat old = Lstat(UserFile());
  Result r = Tabrix("configure Sales --user --threads 3", "", As(*nobody));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Contains(Odbcinst("Sales"), "Threads=3\n"));
  EXPECT_EQ(Attributes(UserFile()), before);
  EXPECT_EQ(Lstat(UserFile()).st_ino, old.st_ino);
  EXPECT_EQ(Lstat(UserFile()).st_gid, 0u);
  r = Tabrix("create Other --user", "", As(*nobody));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Attributes(UserFile()), before);
  for (const auto& entry : fs::directory_iterator(dir))
    EXPECT_FALSE(Contains(entry.path().filename().string(), ".tabrix-")) << entry.path();

  // A change cut short after its journal was made: readers see the earlier text, and the next
  // change puts it back first.
  const std::string earlier = Slurp(UserFile());
  const fs::path journal = dir / ".odbc.user.ini.tabrix-undo";
  Spit(journal, earlier);
  ASSERT_EQ(chown(journal.c_str(), nobody->uid, nobody->gid), 0);
  ASSERT_EQ(chmod(journal.c_str(), 0600), 0);
  Spit(UserFile(), earlier.substr(0, earlier.size() / 2));
  r = Tabrix("list --user", "", As(*nobody));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Contains(r.out, "Other")) << r.out;
  r = Tabrix("configure Other --user --threads 4", "", As(*nobody));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(journal));
  EXPECT_TRUE(Contains(Odbcinst("Sales"), "Threads=3\n"));
  EXPECT_TRUE(Contains(Odbcinst("Other"), "Threads=4\n"));
  EXPECT_EQ(Attributes(UserFile()), before);

  // One another user planted is not taken for a journal.
  Spit(journal, "[Sales]\nDriver = " + kExcel + "\nDBQ = /planted.xls\n");
  ASSERT_EQ(chown(journal.c_str(), 12345, 12345), 0);
  ASSERT_EQ(chmod(journal.c_str(), 0644), 0);
  const std::string now = Slurp(UserFile());
  r = Tabrix("configure Other --user --threads 5", "", As(*nobody));
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, journal.string() + " is not a journal that a writer of " +
                                  UserFile().string() + " left (uid 12345, mode 0644)"))
      << r.err;
  EXPECT_EQ(Slurp(UserFile()), now);
}

// ---- root in a user's folder has that user's rights there, and no more

// Root's own files, which nothing done in a user's folder may touch.
class RootsFiles {
 public:
  explicit RootsFiles(const fs::path& folder) : folder_(folder) {
    fs::create_directory(folder_);
    EXPECT_EQ(chmod(folder_.c_str(), 0700), 0);
    Spit(folder_ / "odbc.user.ini", "[Root]\nPassword = root's own\n");
    Spit(folder_ / "odbc.ini", "[Root]\nDriver = " + kExcel + "\n");
    Spit(folder_ / "odbcinst.ini", "[" + kExcel + "]\nDriver = /opt/odbc/lib/excel.so\n");
    for (const char* name : {"odbc.user.ini", "odbc.ini"})
      EXPECT_EQ(chmod((folder_ / name).c_str(), 0600), 0);
    before_ = Listing();
  }
  // Each file's name, inode, owner, mode and bytes.
  std::string Listing() const {
    std::vector<std::string> lines;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      const struct stat st = Lstat(entry.path());
      lines.push_back(entry.path().filename().string() + " " + std::to_string(st.st_ino) + " " +
                      std::to_string(st.st_uid) + " " + std::to_string(st.st_mode) + " " +
                      Slurp(entry.path()));
    }
    std::sort(lines.begin(), lines.end());
    std::string all;
    for (const auto& line : lines) all += line + "\n";
    return all;
  }
  bool Untouched() const { return Listing() == before_; }

 private:
  fs::path folder_;
  std::string before_;
};

// Runs tabrix as root on the configuration folder `config`.
Result RootTabrix(const fs::path& scratch, const std::string& args, const fs::path& config) {
  const std::string command = std::string(TABRIX_CLIENT) + " " + args + " --config-dir " +
                              Quote(config.string()) + " </dev/null >" +
                              Quote((scratch / "out").string()) + " 2>" +
                              Quote((scratch / "err").string());
  return Result{testsupport::ExitCode(std::system(command.c_str())), Slurp(scratch / "out"),
                Slurp(scratch / "err")};
}

// A process of the folder's owner that swaps `folder`/`name` with `folder`/`other` (a link)
// at the `events`-th time something in the watched folder is opened or made: the moment
// tabrix is between finding a file and using it.
class Swapper {
 public:
  Swapper(const OtherUser& owner, const fs::path& folder, const std::string& name,
          const std::string& other, int events) {
    int ready[2];
    EXPECT_EQ(pipe(ready), 0);
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      if (setgroups(0, nullptr) != 0 || setgid(owner.gid) != 0 || setuid(owner.uid) != 0) _exit(5);
      const int watch = inotify_init1(IN_CLOEXEC);
      if (watch < 0 || inotify_add_watch(watch, (folder / name).c_str(), IN_OPEN | IN_CREATE) < 0)
        _exit(2);
      (void)!write(ready[1], "r", 1);
      char buf[4096] __attribute__((aligned(8)));
      int seen = 0;
      while (seen < events) {
        const ssize_t n = read(watch, buf, sizeof buf);
        if (n <= 0) _exit(3);
        for (ssize_t at = 0; at < n && seen < events;
             at += static_cast<ssize_t>(sizeof(inotify_event)) +
                   reinterpret_cast<inotify_event*>(buf + at)->len)
          ++seen;
      }
      _exit(renameat2(AT_FDCWD, (folder / name).c_str(), AT_FDCWD, (folder / other).c_str(),
                      RENAME_EXCHANGE) == 0
                ? 0
                : 4);
    }
    close(ready[1]);
    char c = 0;
    EXPECT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
  }
  // Whether it swapped; a swapper still waiting is stopped.
  bool Swapped() {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

 private:
  pid_t pid_ = -1;
};

TEST_F(Rewrite, RootInAUsersFolderIsNotSteeredByAFolderSwappedForALink) {
  const auto nobody = Nobody();
  if (!nobody) GTEST_SKIP() << "needs root, to work in the folder of the user nobody";
  const RootsFiles roots(dir / "vault");
  const fs::path home = dir / "home";
  fs::create_directory(home);
  fs::create_directory(home / "cfg");
  Spit(home / "cfg" / "odbcinst.ini", "[" + kExcel + "]\nDriver = /opt/odbc/lib/excel.so\n");
  fs::create_directory_symlink(dir / "vault", home / "evil");
  for (const fs::path& p : {home, home / "cfg", home / "cfg" / "odbcinst.ini", home / "evil"})
    ASSERT_EQ(lchown(p.c_str(), nobody->uid, nobody->gid), 0) << p;

  int swapped = 0, refused = 0;
  for (int round = 0; round < 24; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const std::string name = "R" + std::to_string(round);
    Swapper swapper(*nobody, home, "cfg", "evil", round % 8 + 1);
    const Result r = RootTabrix(dir, "create " + name + " --user", home / "cfg");
    const bool didSwap = swapper.Swapped();
    swapped += didSwap;
    EXPECT_TRUE(roots.Untouched()) << roots.Listing();
    // Put the folder back where the swap took it from.
    if (fs::is_symlink(home / "cfg")) {
      ASSERT_EQ(renameat2(AT_FDCWD, (home / "cfg").c_str(), AT_FDCWD, (home / "evil").c_str(),
                          RENAME_EXCHANGE),
                0);
    }
    const fs::path real = home / "cfg";
    // Either the change is in the user's folder, the user's, or it is refused with a reason.
    const std::string text = Slurp(real / "odbc.user.ini");
    if (r.status == 0) {
      EXPECT_TRUE(Contains(text, "[" + name + "]")) << r.err;
      EXPECT_EQ(Lstat(real / "odbc.user.ini").st_uid, nobody->uid);
    } else {
      ++refused;
      EXPECT_EQ(r.status, 1);
      EXPECT_FALSE(r.err.empty());
      // Said as what happened, never as an error number's bare text.
      EXPECT_FALSE(Contains(r.err, "Invalid argument")) << r.err;
      EXPECT_FALSE(Contains(text, "[" + name + "]"));
    }
  }
  EXPECT_GT(swapped, 0);
  std::cout << swapped << " of 24 rounds swapped the folder; " << refused << " refused\n";
}

TEST_F(Rewrite, LinksAUserPlantsLeadRootOnlyWhereTheUserCouldWrite) {
  const auto nobody = Nobody();
  if (!nobody) GTEST_SKIP() << "needs root, to work in the folder of the user nobody";
  const RootsFiles roots(dir / "vault");
  const fs::path open = dir / "open";  // root's, readable by all
  fs::create_directory(open);
  Spit(open / "odbc.ini", kSales);
  const fs::path home = dir / "home";
  fs::create_directory(home);
  Spit(home / "odbcinst.ini", "[" + kExcel + "]\nDriver = /opt/odbc/lib/excel.so\n");
  ASSERT_EQ(chown(home.c_str(), nobody->uid, nobody->gid), 0);
  const fs::path userFile = home / "odbc.user.ini", systemFile = home / "odbc.ini";

  struct Case {
    fs::path userLink, systemLink;
    std::string reason;  // of the refusal
  };
  const std::vector<Case> cases{
      {dir / "vault" / "odbc.user.ini", dir / "vault" / "odbc.ini", "Permission denied"},
      {dir / "vault" / "new.ini", dir / "vault" / "new.ini", "Permission denied"},
      {open / "odbc.ini", open / "odbc.ini", "Permission denied"},
      {open / "new.ini", open / "new.ini", "Permission denied"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.userLink.string());
    fs::remove(userFile);
    fs::remove(systemFile);
    fs::create_symlink(c.userLink, userFile);
    fs::create_symlink(c.systemLink, systemFile);
    ASSERT_EQ(lchown(userFile.c_str(), nobody->uid, nobody->gid), 0);
    ASSERT_EQ(lchown(systemFile.c_str(), nobody->uid, nobody->gid), 0);
    for (const char* args : {"create X --user", "create X --system"}) {
      const Result r = RootTabrix(dir, args, home);
      EXPECT_EQ(r.status, 1) << args;
      EXPECT_TRUE(Contains(r.err, c.reason)) << args << ": " << r.err;
    }
    // Nor does root read through them what the user may not: root's data source is not there.
    for (const char* args : {"configure Sales --system --threads 2", "remove Root --user"}) {
      const Result r = RootTabrix(dir, args, home);
      EXPECT_EQ(r.status, 1) << args;
      EXPECT_FALSE(Contains(r.err, "no driver")) << args << ": " << r.err;
    }
    EXPECT_TRUE(roots.Untouched()) << roots.Listing();
    EXPECT_EQ(Slurp(open / "odbc.ini"), kSales);
    EXPECT_FALSE(fs::exists(open / "new.ini"));
  }

  // A link the user may follow works for root as it does for the user: the file it names is
  // made, and is the user's.
  fs::remove(userFile);
  fs::create_directory(home / "real");
  ASSERT_EQ(chown((home / "real").c_str(), nobody->uid, nobody->gid), 0);
  fs::create_symlink("real/mine.ini", userFile);
  ASSERT_EQ(lchown(userFile.c_str(), nobody->uid, nobody->gid), 0);
  const Result r = RootTabrix(dir, "create X --user", home);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_symlink(userFile));
  EXPECT_TRUE(Contains(Slurp(home / "real" / "mine.ini"), "[X]"));
  EXPECT_EQ(Lstat(home / "real" / "mine.ini").st_uid, nobody->uid);
}

// ---- limits and files that cannot change

TEST_F(Rewrite, AFileSizeLimitIsAToldFailureThatLeavesNothingBehind) {
  // Longer than the limit below, in 512-byte blocks (dash) or 1024-byte ones (bash).
  std::string big = kSales;
  for (int i = 0; big.size() < 20000; ++i)
    big += "\n[Filler" + std::to_string(i) + "]\nDriver = " + kExcel + "\n";
  Spit(SystemFile(), big);
  const struct stat old = Lstat(SystemFile());
  Spit(dir / "in", "");
  const std::string command =
      "ulimit -f 8; exec " + Command("configure Sales --system --threads 2");
  const int status = testsupport::ExitCode(std::system(command.c_str()));
  const Result r = Collect(status);
  EXPECT_EQ(r.status, 1) << "killed by a signal when -1";
  EXPECT_TRUE(Contains(r.err, "cannot write " + SystemFile().string() + ": File too large"))
      << r.err;
  EXPECT_EQ(Slurp(SystemFile()), big);
  EXPECT_EQ(Lstat(SystemFile()).st_ino, old.st_ino);
  for (const auto& entry : fs::directory_iterator(dir))
    EXPECT_FALSE(Contains(entry.path().filename().string(), ".tabrix-")) << entry.path();
  // Within the limit, the same change is made.
  EXPECT_EQ(Tabrix("configure Sales --system --threads 2").status, 0);
  EXPECT_TRUE(Contains(Odbcinst("Sales"), "Threads=2\n"));
}

TEST_F(Rewrite, ARunThatChangesNothingNeedsNoLockFile) {
  const auto nobody = Nobody();
  if (!nobody) GTEST_SKIP() << "needs root, to run tabrix as a user who may not write the folder";
  ASSERT_EQ(Tabrix("create Sales --system --workbook /data/Sales.xls").status, 0);
  fs::remove(SystemFile().string() + ".lock");
  Spit(dir / "state.json", R"J({"dsns": [{"name": "Sales", "scope": "system",
    "driver": "Microsoft Excel Driver (*.xls)", "attributes": {"DBQ": "/data/Sales.xls"}}]})J");
  // The folder is root's: nobody may read its files but make nothing there.
  Result r = Tabrix("apply " + Quote((dir / "state.json").string()), "", As(*nobody));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(SystemFile().string() + ".lock"));
  // A change is refused with the reason, as before.
  Spit(dir / "state.json", R"J({"dsns": [{"name": "Sales", "scope": "system",
    "driver": "Microsoft Excel Driver (*.xls)", "attributes": {"DBQ": "/data/Other.xls"}}]})J");
  r = Tabrix("apply " + Quote((dir / "state.json").string()), "", As(*nobody));
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, "Permission denied")) << r.err;
  EXPECT_TRUE(Contains(Odbcinst("Sales"), "DBQ=/data/Sales.xls\n"));

  // On a read-only mount, where there is one to make.
  const fs::path mounted = dir / "readonly";
  fs::create_directory(mounted);
  if (testsupport::Shell("mount --bind " + Quote(dir.string()) + " " + Quote(mounted.string()) +
                         " && mount -o remount,bind,ro " + Quote(mounted.string()))
          .status != 0) {
    testsupport::Shell("umount " + Quote(mounted.string()));
    GTEST_SKIP() << "cannot make a read-only bind mount here";
  }
  Spit(dir / "state.json", R"J({"dsns": [{"name": "Sales", "scope": "system",
    "driver": "Microsoft Excel Driver (*.xls)", "attributes": {"DBQ": "/data/Sales.xls"}}]})J");
  const std::string apply = std::string(TABRIX_CLIENT) + " apply " +
                            Quote((dir / "state.json").string()) + " --config-dir " +
                            Quote(mounted.string()) + " </dev/null 2>&1";
  const testsupport::Output out = testsupport::Shell(apply);
  testsupport::Shell("umount " + Quote(mounted.string()));
  EXPECT_EQ(out.status, 0) << out.text;
  EXPECT_FALSE(fs::exists(SystemFile().string() + ".lock"));
}

}  // namespace

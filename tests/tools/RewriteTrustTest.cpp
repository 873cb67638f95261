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

#include <cerrno>
#include <cstring>
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

  // A member of the file's group may write it, and may not give it away: the file stays
  // root's, or is not changed.
  ASSERT_EQ(removexattr(SystemFile().c_str(), "security.capability"), 0);
  ASSERT_EQ(chown(SystemFile().c_str(), 0, 100), 0);  // root:users
  ASSERT_EQ(chmod(SystemFile().c_str(), 0664), 0);
  old = Lstat(SystemFile());
  r = Tabrix("configure Sales --system --threads 3", "", As(*nobody, "100"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "tabrix: cannot configure system data source \"Sales\": cannot keep the owner "
            "(uid 0) of " +
                SystemFile().string() + ", so it is left as it is: Operation not permitted\n");
  unchanged(SystemFile(), kSales, old);
  EXPECT_EQ(Lstat(SystemFile()).st_uid, 0u);

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

}  // namespace

// The locked, atomic rewrite when a system call fails: the old file stays byte for byte, no
// temporary file is left, and the reason names what failed; a call a signal interrupted is
// made again.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/fsuid.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>

#include "platform/odbcini/OdbcIni.h"
#include "platform/odbcini/SystemCalls.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using testsupport::Slurp;
using testsupport::Spit;
using namespace platform::odbcini;
using namespace std::string_literals;

namespace {

// What the fake calls do: `call` fails with `error` after `skip` calls of it went through,
// `times` times (-1: from then on); a write takes at most `writeSize` bytes. Every call is
// logged with the file it was made on.
struct Script {
  std::string call;
  int error = 0;
  int skip = 0;
  int times = -1;
  size_t writeSize = SIZE_MAX;
  std::vector<std::string> log;
  int writes = 0;
};

// The file a descriptor is open on, a temporary file's random end cut off.
std::string NameOf(int fd) {
  char path[PATH_MAX];
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = readlink(link.c_str(), path, sizeof path);
  std::string name = n < 0 ? "?" : std::string(path, static_cast<size_t>(n));
  if (size_t at = name.find(".tabrix-"); at != std::string::npos) name.resize(at + 8);
  return name;
}

class ScriptedCalls : public SystemCalls {
 public:
  Script script;

  int flock(int fd, int operation) override {
    return Fails("flock", "flock " + NameOf(fd)) ? -1 : SystemCalls::flock(fd, operation);
  }
  ssize_t write(int fd, const void* data, size_t size) override {
    if (++script.writes > 1000) {  // far more than the text needs: a writer that never ends
      errno = EFBIG;
      return -1;
    }
    if (Fails("write", "write " + NameOf(fd))) return -1;
    return SystemCalls::write(fd, data, std::min(size, script.writeSize));
  }
  int fsync(int fd) override {
    return Fails("fsync", "fsync " + NameOf(fd)) ? -1 : SystemCalls::fsync(fd);
  }
  int renameat(int fromFolder, const char* from, int toFolder, const char* to) override {
    std::string name = NameOf(fromFolder) + "/" + from;
    name.resize(name.find(".tabrix-") + 8);
    return Fails("rename", "rename " + name + " " + NameOf(toFolder) + "/" + to)
               ? -1
               : SystemCalls::renameat(fromFolder, from, toFolder, to);
  }

 private:
  bool Fails(const std::string& call, const std::string& logged) {
    // One line for a run of writes to one file, however short each was.
    if (script.log.empty() || script.log.back() != logged) script.log.push_back(logged);
    if (call != script.call || script.times == 0) return false;
    if (script.skip > 0) {
      --script.skip;
      return false;
    }
    if (script.times > 0) --script.times;
    errno = script.error;
    return true;
  }
};

const std::string kBefore = "# kept\r\n[Sales]\r\nDriver = Excel\r\n\0tail"s;
const std::string kAfter = kBefore + "\r\n[New]\r\n";

class RewriteFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tabrix-rewrite-XXXXXX";
    ASSERT_TRUE(mkdtemp(tmpl));
    dir = tmpl;
    file = dir + "/user.ini";
    Spit(file, kBefore);
  }
  void TearDown() override { fs::remove_all(dir); }

  // One rewrite that adds a section; false with the reason in `reason`.
  bool Rewrite() {
    return platform::odbcini::RewriteFile(
        file, false, 0600,
        [](std::string& text, std::string&) {
          text += "\r\n[New]\r\n";
          return true;
        },
        reason);
  }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  ScriptedCalls fake;
  Script& script = fake.script;
  ScopedSystemCalls useFake{fake};
  std::string dir, file, reason;
};

TEST_F(RewriteFile, SyncsTheNewFileBeforeItsRenameAndTheFolderAfter) {
  ASSERT_TRUE(Rewrite()) << reason;
  EXPECT_EQ(Slurp(file), kAfter);
  const std::string temp = dir + "/.user.ini.tabrix-";
  EXPECT_EQ(script.log,
            (std::vector<std::string>{"flock " + file + ".lock", "flock " + file,
                                      "write " + temp, "fsync " + temp,
                                      "rename " + temp + " " + file, "fsync " + dir}));
  EXPECT_EQ(Files(), (std::vector<std::string>{"user.ini", "user.ini.lock"}));
}

TEST_F(RewriteFile, AnEditsSpliceIsMadeAsTheFileIsWritten) {
  using platform::odbcini::Splice;
  auto spliced = [&](Splice splice) {
    Spit(file, kBefore);
    const bool ok = platform::odbcini::RewriteFile(
        file, false, 0600,
        [&](std::string& text, std::optional<Splice>& out, std::string&) {
          text += "[New]\r\n";
          out = splice;
          return true;
        },
        reason);
    return ok ? Slurp(file) : "refused: " + reason;
  };
  std::string expected = kBefore + "[New]\r\n";
  expected.replace(2, 3, "inserted");
  EXPECT_EQ(spliced({2, 3, "inserted"}), expected);
  const std::string whole = kBefore + "[New]\r\n";
  EXPECT_EQ(spliced({whole.size(), 0, "end\n"}), whole + "end\n");
  // A splice past the text's end is a fault, refused before anything is written.
  EXPECT_EQ(spliced({whole.size(), 1, ""}).substr(0, 9), "refused: ");
  EXPECT_EQ(Slurp(file), kBefore);
}

TEST_F(RewriteFile, AFailingCallLeavesTheOldFileAndNoTemporaryOne) {
  struct Case {
    std::string call;
    int error;
    int skip;
    std::string reason;
  };
  const std::vector<Case> cases{
      {"flock", ENOLCK, 0, "cannot lock " + file + ".lock: No locks available"},
      {"flock", EIO, 0, "cannot lock " + file + ".lock: Input/output error"},
      {"write", EIO, 0, "cannot write " + file + ": Input/output error"},
      {"write", ENOSPC, 0, "cannot write " + file + ": No space left on device"},
      {"write", ENOSPC, 2, "cannot write " + file + ": No space left on device"},  // part written
      {"fsync", EIO, 0, "cannot sync " + file + " to disk: Input/output error"},
      {"fsync", ENOSPC, 0, "cannot sync " + file + " to disk: No space left on device"},
      {"rename", EIO, 0, "cannot replace " + file + ": Input/output error"},
      {"rename", ENOSPC, 0, "cannot replace " + file + ": No space left on device"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call + " " + std::to_string(c.error) + " after " + std::to_string(c.skip));
    script = Script{c.call, c.error, c.skip, -1, 4, {}};
    EXPECT_FALSE(Rewrite());
    EXPECT_EQ(reason, c.reason);
    EXPECT_EQ(Slurp(file), kBefore);
    EXPECT_EQ(Files(), (std::vector<std::string>{"user.ini", "user.ini.lock"}));
  }
  // Nothing was left half done: the next rewrite goes through.
  script = Script();
  EXPECT_TRUE(Rewrite()) << reason;
  EXPECT_EQ(Slurp(file), kAfter);
}

TEST_F(RewriteFile, InterruptedCallsAreMadeAgainAndShortWritesGoOn) {
  for (const std::string call : {"flock", "write", "fsync"}) {
    SCOPED_TRACE(call);
    Spit(file, kBefore);
    script = Script{call, EINTR, 0, 3, 5, {}};
    EXPECT_TRUE(Rewrite()) << reason;
    EXPECT_EQ(Slurp(file), kAfter);
    EXPECT_EQ(script.times, 0);  // each interruption was met with another call
    EXPECT_EQ(Files(), (std::vector<std::string>{"user.ini", "user.ini.lock"}));
  }
}

// Once renamed, the new file is what every reader sees: a folder that cannot be synced
// afterwards is no reason to say nothing was written.
TEST_F(RewriteFile, AFolderThatFailsToSyncAfterTheRenameKeepsTheChange) {
  script = Script{"fsync", EIO, 1, -1, SIZE_MAX, {}};
  EXPECT_TRUE(Rewrite()) << reason;
  EXPECT_EQ(Slurp(file), kAfter);
  EXPECT_EQ(script.log.back(), "fsync " + dir);
}

// Root working in a user's folder works as that user, on this thread alone, and is itself
// again afterwards, whether the change was made or refused.
TEST_F(RewriteFile, RootInAUsersFolderIsThatUserForTheChangeAndItselfAfter) {
  const passwd* nobody = getpwnam("nobody");
  if (geteuid() != 0 || !nobody) GTEST_SKIP() << "needs root and the user nobody";
  ASSERT_EQ(chown(dir.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  ASSERT_EQ(chown(file.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  std::vector<gid_t> groups(static_cast<size_t>(getgroups(0, nullptr)));
  ASSERT_EQ(getgroups(static_cast<int>(groups.size()), groups.data()),
            static_cast<int>(groups.size()));
  auto itself = [&] {
    EXPECT_EQ(setfsuid(static_cast<uid_t>(-1)), 0);
    EXPECT_EQ(setfsgid(static_cast<gid_t>(-1)), 0);
    std::vector<gid_t> now(static_cast<size_t>(getgroups(0, nullptr)));
    getgroups(static_cast<int>(now.size()), now.data());
    EXPECT_EQ(now, groups);
  };
  uid_t during = 0;
  for (bool refuse : {false, true}) {
    const bool ok = platform::odbcini::RewriteFile(
        file, false, 0600,
        [&](std::string& text, std::string& why) {
          during = static_cast<uid_t>(setfsuid(static_cast<uid_t>(-1)));
          text += "[Next]\n";
          why = "refused";
          return !refuse;
        },
        reason);
    EXPECT_EQ(ok, !refuse) << reason;
    EXPECT_EQ(during, nobody->pw_uid);
    itself();
  }
  struct stat st {};
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, nobody->pw_uid);
  ASSERT_EQ(stat((file + ".lock").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, nobody->pw_uid);
  // A refusal raised while the identity is switched puts it back too.
  ASSERT_EQ(link(file.c_str(), (dir + "/other.ini").c_str()), 0);
  EXPECT_FALSE(Rewrite());
  EXPECT_NE(reason.find("2 hard links"), std::string::npos) << reason;
  itself();
}

}  // namespace

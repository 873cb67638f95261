// What tabrix says is what happened: it changes the lines it was asked to and no others, keeps
// each data source's driver, serialises concurrent changes, refuses what it cannot read or
// write with the reason, and never reports a failure as success or absence.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>
#include <iostream>
#include <optional>
#include <thread>
#include <vector>

#include "ClientFixture.h"

namespace {

using namespace clienttest;

const std::string kExcel = "Microsoft Excel Driver (*.xls)";
const std::string kAccess = "Microsoft Access Driver (*.mdb)";

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

std::string Crlf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

struct stat Lstat(const fs::path& path) {
  struct stat st {};
  EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
  return st;
}

// Starts a shell command without waiting for it, so that two can run at the same moment.
pid_t Start(const std::string& command) {
  const pid_t pid = fork();
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

int Finish(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return ExitCode(status);
}

// Another user to run tabrix as: this process must be root to switch to it.
struct OtherUser {
  uid_t uid;
  gid_t gid;
  std::string prefix;  // before the program in a command
};

std::optional<OtherUser> Nobody() {
  if (geteuid() != 0) return std::nullopt;
  const passwd* pw = getpwnam("nobody");
  if (!pw || pw->pw_uid == 0) return std::nullopt;
  return OtherUser{pw->pw_uid, pw->pw_gid,
                   "setpriv --reuid=" + std::to_string(pw->pw_uid) +
                       " --regid=" + std::to_string(pw->pw_gid) + " --clear-groups"};
}

// Bytes a terminal would act on, other than the line feed.
bool HasRawControl(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && u != '\n') || u == 0x7F;
  });
}

class Trust : public Client {
 protected:
  // Starts `tabrix ARGS` with empty input, its streams in files named after `tag`.
  pid_t StartTabrix(const std::string& args, const std::string& tag) {
    Spit(dir / ("in" + tag), "");
    return Start(Command(args, tag));
  }

  fs::path UserFile() const { return dir / "odbc.user.ini"; }
  fs::path SystemFile() const { return dir / "odbc.ini"; }
};

// ---- configure changes exactly what was asked

const std::string kHandWritten =
    "; written by hand\n"
    "[ODBC Data Sources]\n"
    "Sales = Microsoft Excel Driver (*.xls)\n"
    "Books = Microsoft Access Driver (*.mdb)\n"
    "\n"
    "[Sales]\n"
    "# the monthly figures\n"
    "Driver = Microsoft Excel Driver (*.xls)\n"
    "ReadOnly = true\n"
    "UserCommitSync = YES\n"
    "MaxScanRows = 0x10\n"
    "DefaultDir = C:\\\n"
    "Custom = 1\n"
    "\n"
    "; kept with the section\n"
    "\n"
    "[Books]\n"
    "Driver = Microsoft Access Driver (*.mdb)\n";

TEST_F(Trust, ConfigureChangesOnlyTheLineOfTheOptionGiven) {
  Spit(UserFile(), kHandWritten);
  ASSERT_EQ(chmod(UserFile().c_str(), 0640), 0);
  const ino_t inode = Lstat(UserFile()).st_ino;

  // A key the section lacks is added after its last key, before its trailing comment.
  Result r = Tabrix("configure Sales --user --threads 7");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "configure: user data source \"Sales\" (" + UserFile().string() +
                       ", section [Sales])\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(Slurp(UserFile()), Replaced(kHandWritten, "Custom = 1\n", "Custom = 1\nThreads = 7\n"));
  EXPECT_EQ(Lstat(UserFile()).st_mode & 07777, 0640u);
  EXPECT_NE(Lstat(UserFile()).st_ino, inode);  // replaced whole, never written in place
  const std::string shown = Odbcinst("Sales");
  EXPECT_TRUE(Contains(shown, "Threads=7\n")) << shown;
  EXPECT_TRUE(Contains(shown, "MaxScanRows=0x10\nDefaultDir=C:\\\nCustom=1\n")) << shown;

  // A key it has is changed where it stands.
  const std::string withThreads =
      Replaced(kHandWritten, "ReadOnly = true\n", "ReadOnly = true\nThreads=3\n");
  Spit(UserFile(), withThreads);
  ASSERT_EQ(Tabrix("configure Sales --user --threads 7").status, 0);
  EXPECT_EQ(Slurp(UserFile()), Replaced(withThreads, "Threads=3\n", "Threads = 7\n"));

  // Lines tabrix adds end as the file's own lines do.
  Spit(UserFile(), Crlf(kHandWritten));
  ASSERT_EQ(Tabrix("configure Sales --user --threads 7").status, 0);
  EXPECT_EQ(Slurp(UserFile()),
            Crlf(Replaced(kHandWritten, "Custom = 1\n", "Custom = 1\nThreads = 7\n")));

  // Through a symbolic link the file it names changes; the link stays.
  fs::remove(UserFile());
  fs::create_directory(dir / "real");
  Spit(dir / "real" / "odbc.ini", kHandWritten);
  fs::create_symlink("real/odbc.ini", UserFile());
  ASSERT_EQ(Tabrix("configure Sales --user --threads 7").status, 0);
  EXPECT_TRUE(fs::is_symlink(UserFile()));
  EXPECT_EQ(Slurp(dir / "real" / "odbc.ini"),
            Replaced(kHandWritten, "Custom = 1\n", "Custom = 1\nThreads = 7\n"));
}

// ---- the driver is never changed unasked

TEST_F(Trust, ConfigureAndRemoveWorkAsTheDataSourcesOwnDriver) {
  const std::string before =
      "[ODBC Data Sources]\n"
      "Books = Microsoft Access Driver (*.mdb)\n"
      "ByPath = /opt/odbc/lib/excel.so\n"
      "Pg = PostgreSQL Unicode\n"
      "\n"
      "[Books]\n"
      "Driver = Microsoft Access Driver (*.mdb)\n"
      "DBQ = /data/Books.mdb\n"
      "\n"
      "[ByPath]\n"
      "Driver = /opt/odbc/lib/excel.so\n"
      "DBQ = /data/Sales.xls\n"
      "\n"
      "[Pg]\n"
      "Driver = PostgreSQL Unicode\n"
      "Database = sales\n";
  Spit(UserFile(), before);

  ASSERT_EQ(Tabrix("configure Books --user --threads 4").status, 0);
  std::string expected =
      Replaced(before, "DBQ = /data/Books.mdb\n", "DBQ = /data/Books.mdb\nThreads = 4\n");
  EXPECT_EQ(Slurp(UserFile()), expected);
  Result r = Tabrix("configure ByPath --user --read-only");
  ASSERT_EQ(r.status, 0) << r.err;
  expected = Replaced(expected, "DBQ = /data/Sales.xls\n", "DBQ = /data/Sales.xls\nReadOnly = 1\n");
  EXPECT_EQ(Slurp(UserFile()), expected);
  EXPECT_TRUE(Contains(Odbcinst("Books"), "Driver=" + kAccess + "\n"));

  // Another driver's data source is not ours to change, nor to remove.
  for (const char* args : {"configure Pg --user --threads 4", "remove Pg --user"}) {
    r = Tabrix(args);
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_EQ(r.err, "tabrix: cannot " + std::string(args).substr(0, std::string(args).find(' ')) +
                         " user data source \"Pg\": its driver \"PostgreSQL Unicode\" is not one "
                         "of the six desktop drivers; tabrix changes only data sources of those "
                         "drivers\n")
        << args;
    EXPECT_EQ(Slurp(UserFile()), expected) << args;
  }

  r = Tabrix("remove ByPath --user");
  ASSERT_EQ(r.status, 0) << r.err;
  expected = Replaced(expected, "ByPath = /opt/odbc/lib/excel.so\n", "");
  expected = Replaced(expected,
                      "[ByPath]\nDriver = /opt/odbc/lib/excel.so\nDBQ = /data/Sales.xls\n"
                      "ReadOnly = 1\n\n",
                      "");
  EXPECT_EQ(Slurp(UserFile()), expected);

  // Drivers the data sources do not use need not be installed.
  Spit(dir / "odbcinst.ini", "[" + kAccess + "]\nDriver = /opt/odbc/lib/access.so\n");
  const std::string accessOnly =
      "[ODBC Data Sources]\n"
      "Books = Microsoft Access Driver (*.mdb)\n"
      "Lib = /opt/odbc/lib/access.so\n"
      "Sales = Microsoft Excel Driver (*.xls)\n"
      "\n"
      "[Books]\n"
      "Driver = Microsoft Access Driver (*.mdb)\n"
      "\n"
      "[Lib]\n"
      "Driver = /opt/odbc/lib/access.so\n"
      "\n"
      "[Sales]\n"
      "Driver = Microsoft Excel Driver (*.xls)\n";
  Spit(UserFile(), accessOnly);
  r = Tabrix("configure Lib --user --threads 2");
  ASSERT_EQ(r.status, 0) << r.err;
  expected = Replaced(accessOnly, "Driver = /opt/odbc/lib/access.so\n",
                      "Driver = /opt/odbc/lib/access.so\nThreads = 2\n");
  EXPECT_EQ(Slurp(UserFile()), expected);
  r = Tabrix("remove Books --user");
  ASSERT_EQ(r.status, 0) << r.err;
  expected = Replaced(expected, "Books = Microsoft Access Driver (*.mdb)\n", "");
  expected = Replaced(expected, "[Books]\nDriver = Microsoft Access Driver (*.mdb)\n\n", "");
  EXPECT_EQ(Slurp(UserFile()), expected);
  // The Excel one cannot be changed while its driver is not installed.
  r = Tabrix("configure Sales --user --threads 2");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, "is not defined in " + (dir / "odbcinst.ini").string())) << r.err;
  EXPECT_EQ(Slurp(UserFile()), expected);
}

// ---- one lock around each change

TEST_F(Trust, ConcurrentChangesOfOneFileAllLand) {
  const std::string section =
      "[ODBC Data Sources]\nS = Microsoft Excel Driver (*.xls)\n\n[S]\n"
      "Driver = Microsoft Excel Driver (*.xls)\n";
  for (int round = 0; round < 20; ++round) {
    Spit(UserFile(), section);
    const pid_t a = StartTabrix("configure S --user --threads 5", "a");
    const pid_t b = StartTabrix("configure S --user --max-scan-rows 9", "b");
    const int codeA = Finish(a), codeB = Finish(b);
    ASSERT_EQ(codeA, 0) << "round " << round << ": " << Collect(codeA, "a").err;
    ASSERT_EQ(codeB, 0) << "round " << round << ": " << Collect(codeB, "b").err;
    const std::string text = Slurp(UserFile());
    ASSERT_TRUE(text == section + "Threads = 5\nMaxScanRows = 9\n" ||
                text == section + "MaxScanRows = 9\nThreads = 5\n")
        << "round " << round << ":\n"
        << text;
  }

  for (int round = 0; round < 20; ++round) {
    fs::remove(UserFile());
    const pid_t a = StartTabrix("create Same --user", "a");
    const pid_t b = StartTabrix("create Same --user", "b");
    const Result ra = Collect(Finish(a), "a"), rb = Collect(Finish(b), "b");
    ASSERT_EQ(std::min(ra.status, rb.status), 0) << "round " << round << ": " << ra.err << rb.err;
    ASSERT_EQ(std::max(ra.status, rb.status), 1) << "round " << round;
    const Result& loser = ra.status == 1 ? ra : rb;
    EXPECT_TRUE(Contains(loser.err, "exists already")) << loser.err;
    const std::string text = Slurp(UserFile());
    ASSERT_EQ(Count(text, "[Same]"), 1u) << "round " << round << ":\n" << text;
    ASSERT_EQ(Count(text, "\nSame = "), 1u) << "round " << round << ":\n" << text;
  }
}

// ---- a lock held by another process

TEST_F(Trust, ALockHeldElsewhereIsWaitedForAsLongAsAllowed) {
  const std::string file = UserFile().string();
  const std::string before = "[ODBC Data Sources]\n";
  Spit(UserFile(), before);
  const int lock = open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(flock(lock, LOCK_EX), 0);
  const std::string locked = file + " is locked by another process (" + file + ".lock); ";

  Result r = Tabrix("create X --user --wait 1");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tabrix: " + locked + "waiting\n" +
                       "tabrix: cannot create user data source \"X\": " + locked +
                       "gave up after 1 second\n");
  EXPECT_EQ(Slurp(UserFile()), before);

  r = Tabrix("configure X --user --threads 1 --wait 0");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tabrix: cannot configure user data source \"X\": " + locked + "not waiting\n");
  r = Tabrix("create X --user --wait 0");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tabrix: cannot create user data source \"X\": " + locked + "not waiting\n");
  r = Tabrix("register-mdw X /x.mdw --wait 0");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, locked + "not waiting\n")) << r.err;
  EXPECT_EQ(Slurp(UserFile()), before);

  // Released while it waits: it goes on.
  const pid_t waiting = StartTabrix("create X --user --wait 60", "w");
  // Its notice is the first thing it writes.
  for (int i = 0; i < 2000 && Slurp(dir / "errw").find('\n') == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(Slurp(dir / "errw"), "tabrix: " + locked + "waiting\n");
  close(lock);
  const Result w = Collect(Finish(waiting), "w");
  EXPECT_EQ(w.status, 0) << w.err;
  EXPECT_TRUE(Contains(Odbcinst("X"), "[X]\n"));
}

// ---- what is not a regular file

TEST_F(Trust, WhatIsNotARegularFileIsNamedAndLeftAsItIs) {
  const fs::path user = UserFile();
  struct Case {
    std::string what;
    std::function<void()> make;
    std::function<bool(const struct stat&)> same;  // it is still what it was
    std::string message;
  };
  const bool devZeroLockExisted = fs::exists(fs::symlink_status("/dev/zero.lock"));
  std::vector<Case> cases{
      {"a FIFO", [&] { ASSERT_EQ(mkfifo(user.c_str(), 0600), 0); },
       [](const struct stat& st) { return S_ISFIFO(st.st_mode); },
       user.string() + " is a FIFO, not a configuration file"},
      {"a folder", [&] { fs::create_directory(user); },
       [](const struct stat& st) { return S_ISDIR(st.st_mode); },
       user.string() + " is a folder, not a configuration file"},
      {"a link to /dev/zero", [&] { fs::create_symlink("/dev/zero", user); },
       [](const struct stat& st) { return S_ISLNK(st.st_mode); },
       "is a character device, not a configuration file"},
      {"a link loop",
       [&] {
         fs::create_symlink("loop", user);
         fs::create_symlink(user.filename(), dir / "loop");
       },
       [](const struct stat& st) { return S_ISLNK(st.st_mode); },
       "Too many levels of symbolic links"},
  };
  if (geteuid() == 0)
    cases.push_back(
        {"a null device", [&] { ASSERT_EQ(mknod(user.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0); },
         [](const struct stat& st) { return S_ISCHR(st.st_mode) && st.st_rdev == makedev(1, 3); },
         user.string() + " is a character device, not a configuration file"});
  else
    std::cout << "not root: the case of a device in the folder is left out\n";

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(user);
    fs::remove(dir / "loop");
    c.make();
    for (const char* args : {"list --user", "find S --user", "create S --user",
                             "configure S --user --threads 2", "remove S --user"}) {
      Result r = Tabrix(args, "", "timeout 20");
      EXPECT_EQ(r.status, 1) << args;  // 124: it hung
      EXPECT_TRUE(Contains(r.err, c.message)) << args << ": " << r.err;
      EXPECT_TRUE(c.same(Lstat(user))) << args;
    }
    // The same for a caller who may not make files beside the device.
    if (const auto nobody = Nobody(); nobody && c.what == "a link to /dev/zero") {
      Result r = Tabrix("create S --user", "", "timeout 20 " + nobody->prefix);
      EXPECT_EQ(r.status, 1);
      EXPECT_TRUE(Contains(r.err, c.message)) << r.err;
    }
  }
  // Refused changes leave nothing beside a file that is not theirs to lock.
  if (!devZeroLockExisted) {
    EXPECT_FALSE(fs::exists(fs::symlink_status("/dev/zero.lock")));
    fs::remove("/dev/zero.lock");
  }

  fs::create_directory(dir / "Form.dfm");
  Result r = Tabrix("run " + Quote((dir / "Form.dfm").string()), "", "timeout 20");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "tabrix: " + (dir / "Form.dfm").string() + " is a folder, not a configuration file\n");
  r = Tabrix("run /dev/zero", "", "timeout 20");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tabrix: /dev/zero is a character device, not a configuration file\n");
  ASSERT_EQ(mkfifo((dir / "Fifo.dfm").c_str(), 0600), 0);
  r = Tabrix("run " + Quote((dir / "Fifo.dfm").string()), "", "timeout 20");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, "is a FIFO")) << r.err;
}

// ---- permissions

TEST_F(Trust, FilesTheCallerMayNotWriteAreRefusedAndKept) {
  const auto nobody = Nobody();
  if (!nobody) GTEST_SKIP() << "needs root, to run tabrix as the user nobody";
  // The folder is the caller's, so that only the files' own permissions stand in the way.
  ASSERT_EQ(chown(dir.c_str(), nobody->uid, nobody->gid), 0);
  const std::string system =
      "[ODBC Data Sources]\nSales = " + kExcel + "\n\n[Sales]\nDriver = " + kExcel + "\n";
  const std::string user =
      "[ODBC Data Sources]\nMine = " + kExcel + "\n\n[Mine]\nDriver = " + kExcel + "\n";
  Spit(SystemFile(), system);  // root's, 0644
  ASSERT_EQ(chmod(SystemFile().c_str(), 0644), 0);
  Spit(UserFile(), user);  // the caller's, read-only
  ASSERT_EQ(chown(UserFile().c_str(), nobody->uid, nobody->gid), 0);
  ASSERT_EQ(chmod(UserFile().c_str(), 0444), 0);
  const ino_t systemInode = Lstat(SystemFile()).st_ino, userInode = Lstat(UserFile()).st_ino;

  Result r = Tabrix("find Sales --system", "", nobody->prefix);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Sales: found among system data sources (" + SystemFile().string() +
                       ", section [Sales])\n");

  for (const char* args :
       {"create New --system", "configure Sales --system --threads 2", "remove Sales --system"}) {
    r = Tabrix(args, "", nobody->prefix);
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_TRUE(Contains(r.err, "cannot write " + SystemFile().string() + ": Permission denied"))
        << args << ": " << r.err;
    EXPECT_EQ(Slurp(SystemFile()), system) << args;
    EXPECT_EQ(Lstat(SystemFile()).st_ino, systemInode) << args;
  }
  for (const char* args :
       {"create New --user", "configure Mine --user --threads 2", "remove Mine --user"}) {
    r = Tabrix(args, "", nobody->prefix);
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_TRUE(Contains(r.err, "cannot write " + UserFile().string() + ": Permission denied"))
        << args << ": " << r.err;
    EXPECT_EQ(Slurp(UserFile()), user) << args;
    EXPECT_EQ(Lstat(UserFile()).st_ino, userInode) << args;
    EXPECT_EQ(Lstat(UserFile()).st_mode & 07777, 0444u) << args;
  }
}

TEST_F(Trust, RootMakesFilesInAUsersFolderForThatUser) {
  const auto nobody = Nobody();
  if (!nobody) GTEST_SKIP() << "needs root, to make files for the user nobody";
  ASSERT_EQ(chown(dir.c_str(), nobody->uid, nobody->gid), 0);
  Result r = Tabrix("create X --user --password-stdin", "secret\n");
  ASSERT_EQ(r.status, 0) << r.err;
  for (const fs::path& made : {UserFile(), fs::path(UserFile().string() + ".lock")}) {
    const struct stat st = Lstat(made);
    EXPECT_EQ(st.st_uid, nobody->uid) << made;
    EXPECT_EQ(st.st_gid, nobody->gid) << made;
  }
  EXPECT_EQ(Lstat(UserFile()).st_mode & 07777, 0600u);
  // So its owner can go on changing it.
  r = Tabrix("configure X --user --threads 2", "", nobody->prefix);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Contains(Odbcinst("X"), "Threads=2\n"));
  // And root changing it later leaves it the user's, with its mode.
  ASSERT_EQ(chmod(UserFile().c_str(), 0640), 0);
  r = Tabrix("configure X --user --threads 4");
  EXPECT_EQ(r.status, 0) << r.err;
  const struct stat st = Lstat(UserFile());
  EXPECT_EQ(st.st_uid, nobody->uid);
  EXPECT_EQ(st.st_gid, nobody->gid);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(Trust, ALinkInPlaceOfTheLockFileIsRefused) {
  const fs::path lock = UserFile().string() + ".lock";
  Spit(dir / "victim", "precious\n");
  fs::create_symlink(dir / "victim", lock);
  const std::string refused =
      lock.string() + " is a symbolic link; the lock file must be a regular file\n";
  Result r = Tabrix("create X --user");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tabrix: cannot create user data source \"X\": " + refused);
  EXPECT_EQ(Slurp(dir / "victim"), "precious\n");
  EXPECT_FALSE(fs::exists(UserFile()));

  Spit(UserFile(), "[ODBC Data Sources]\nX = " + kExcel + "\n\n[X]\nDriver = " + kExcel + "\n");
  r = Tabrix("configure X --user --threads 2");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tabrix: cannot configure user data source \"X\": " + refused);
  EXPECT_EQ(Slurp(dir / "victim"), "precious\n");

  fs::remove(lock);
  fs::create_symlink(dir / "nothing", lock);  // dangling: it must not be made
  r = Tabrix("remove X --user");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tabrix: cannot remove user data source \"X\": " + refused);
  EXPECT_FALSE(fs::exists(dir / "nothing"));
  EXPECT_TRUE(Contains(Odbcinst("X"), "[X]\n"));
}

// ---- failures are never success or absence

TEST_F(Trust, FailuresAreNeverReportedAsSuccessOrAbsence) {
  Spit(SystemFile(),
       "[ODBC Data Sources]\nShared = " + kExcel + "\n\n[Shared]\nDriver = " + kExcel + "\n");
  const std::string systemOnly =
      "NAME    SCOPE   DRIVER\n"
      "Shared  system  Microsoft Excel Driver (*.xls)\n";

  // A user file that cannot be read: the system data sources are still listed.
  fs::create_directory(UserFile());
  Result r = Tabrix("list");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, systemOnly);
  EXPECT_EQ(r.err, "tabrix: cannot list the user data sources: " + UserFile().string() +
                       " is a folder, not a configuration file\n");
  r = Tabrix("find Nowhere");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, "Nowhere: cannot tell whether it is among user data sources"))
      << r.err;
  fs::remove(UserFile());

  fs::create_symlink(UserFile().filename(), UserFile());
  r = Tabrix("list");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, systemOnly);
  EXPECT_TRUE(Contains(r.err, "cannot list the user data sources: ")) << r.err;
  EXPECT_TRUE(Contains(r.err, "Too many levels of symbolic links")) << r.err;
  fs::remove(UserFile());

  // Unreadable: to anyone but root, who then runs it as another user.
  Spit(UserFile(), "[ODBC Data Sources]\n");
  ASSERT_EQ(chmod(UserFile().c_str(), 0), 0);
  const auto nobody = Nobody();
  if (nobody || geteuid() != 0) {
    r = Tabrix("list", "", nobody ? nobody->prefix : "");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, systemOnly);
    EXPECT_EQ(r.err, "tabrix: cannot list the user data sources: " + UserFile().string() +
                         ": Permission denied\n");
  }
  fs::remove(UserFile());

  EXPECT_EQ(Tabrix("find ''").status, 2);
  r = Tabrix("find 'ODBC Data Sources'");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(Tabrix("find 'odbc data sources' --system").status, 2);

  // Output that could not be written is a failure.
  const std::string full = std::string(TABRIX_CLIENT) + " list --config-dir " +
                           Quote(dir.string()) + " >/dev/full 2>" + Quote((dir / "err").string());
  EXPECT_EQ(ExitCode(std::system(full.c_str())), 1);
  EXPECT_EQ(Slurp(dir / "err"), "tabrix: cannot write the output: No space left on device\n");

  // No password to read is a usage error, and the stored one stays.
  ASSERT_EQ(Tabrix("create P --user --password-stdin", "old\n").status, 0);
  const std::string noInput =
      std::string(TABRIX_CLIENT) + " configure P --user --password-stdin --config-dir " +
      Quote(dir.string()) + " </dev/null 2>" + Quote((dir / "err").string());
  EXPECT_EQ(ExitCode(std::system(noInput.c_str())), 2);
  EXPECT_EQ(Slurp(dir / "err"), "tabrix: --password-stdin: no password on standard input\n");
  EXPECT_TRUE(Contains(Odbcinst("P"), "PWD=old\n"));

  r = Tabrix("bogus");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "tabrix: unknown verb 'bogus' (tabrix --help lists the verbs)\n");
}

// ---- files as unixODBC reads them

TEST_F(Trust, FilesUnixOdbcRefusesAreNamedByLineAndLeftAsTheyAre) {
  const std::string sales = "[Sales]\nDriver = " + kExcel + "\n";
  struct Case {
    std::string text;
    int line;
    std::string reason;
  };
  const std::vector<Case> cases{
      {"stray text\n" + sales, 1, "text before the first section"},
      {"\xEF\xBB\xBF" + sales, 1, "a byte-order mark before the first section"},
      {"# drivers\n\n  " + sales, 3, "an indented section header before the first section"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    Spit(UserFile(), c.text);
    int found = 0;
    Odbcinst("Sales", &found);
    EXPECT_NE(found, 0);  // unixODBC does not see it either
    const std::string where = UserFile().string() + ":" + std::to_string(c.line) + ": ";

    Result r = Tabrix("list --user");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tabrix: cannot list the user data sources: " + where + c.reason +
                         "; unixODBC reads nothing from this file\n");
    r = Tabrix("create New --user");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, where + c.reason)) << r.err;
    EXPECT_EQ(Slurp(UserFile()), c.text);
  }

  // A section given twice: both go, or unixODBC would find the second.
  Spit(UserFile(), "[ODBC Data Sources]\nSales = " + kExcel + "\n\n" + sales +
                       "DBQ = /data/a.xls\n\n[Other]\nDriver = " + kExcel + "\n\n" + sales +
                       "DBQ = /data/b.xls\n");
  Result r = Tabrix("remove Sales --user");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Slurp(UserFile()), "[ODBC Data Sources]\n\n[Other]\nDriver = " + kExcel + "\n\n");
  int found = 0;
  Odbcinst("Sales", &found);
  EXPECT_NE(found, 0);

  // A listing line left without its section.
  const std::string stale = "[ODBC Data Sources]\nSales = " + kExcel + "\nOther = " + kExcel +
                            "\n\n[Other]\nDriver = " + kExcel + "\n";
  Spit(UserFile(), stale);
  r = Tabrix("remove Sales --user");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Contains(r.out,
                       "It had no section, only a stale line under [ODBC Data Sources]: that "
                       "line is removed.\n"))
      << r.out;
  EXPECT_EQ(Slurp(UserFile()), Replaced(stale, "Sales = " + kExcel + "\n", ""));
}

TEST_F(Trust, TheListingSectionIsNoDataSource) {
  const std::string text =
      "[ODBC Data Sources]\nSales = " + kExcel + "\n\n[Sales]\nDriver = " + kExcel + "\n";
  Spit(UserFile(), text);
  Spit(SystemFile(), text);
  for (const char* name : {"'ODBC Data Sources'", "'odbc data sources'"})
    for (const char* verb : {"create", "configure", "remove"})
      for (const char* scope : {"--user", "--system"}) {
        const std::string args = std::string(verb) + " " + name + " " + scope +
                                 (std::string(verb) == "configure" ? " --threads 2" : "");
        Result r = Tabrix(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_TRUE(Contains(r.err,
                             "is the section that lists the data sources, not a data "
                             "source\n"))
            << args << ": " << r.err;
      }
  EXPECT_EQ(Slurp(UserFile()), text);
  EXPECT_EQ(Slurp(SystemFile()), text);
}

// ---- passwords

TEST_F(Trust, APasswordStoredWhereOthersCanReadItIsWarnedOf) {
  Spit(UserFile(), "[ODBC Data Sources]\n");
  ASSERT_EQ(chmod(UserFile().c_str(), 0644), 0);
  Result r = Tabrix("create X --user --password-stdin", "s3cret\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "tabrix: warning: the password is stored in " + UserFile().string() +
                       " (mode 0644), which other users can read\n");
  EXPECT_FALSE(Contains(r.out, "s3cret")) << r.out;
  r = Tabrix("configure X --user --password-stdin --json", "n3w\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Contains(r.err, "(mode 0644), which other users can read")) << r.err;
  EXPECT_FALSE(Contains(r.out, "n3w")) << r.out;
  EXPECT_TRUE(Contains(Odbcinst("X"), "PWD=n3w\n"));

  ASSERT_EQ(chmod(UserFile().c_str(), 0600), 0);
  r = Tabrix("create Y --user --password-stdin", "s3cret\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(Contains(r.out, "s3cret")) << r.out;

  // A new user file is its owner's alone.
  fs::remove(UserFile());
  r = Tabrix("create Z --user --password-stdin", "s3cret\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(Lstat(UserFile()).st_mode & 07777, 0600u);
}

// ---- messages

TEST_F(Trust, ControlBytesAreEchoedEscaped) {
  const std::string name = Quote(
      "a\x01"
      "b");
  for (const std::string& args :
       {"create " + name + " --user", "create " + name + " --user --dry-run",
        "configure " + name + " --user --threads 1", "remove " + name + " --user", "find " + name,
        "register-mdw " + name + " /x.mdw"}) {
    Result r = Tabrix(args);
    EXPECT_NE(r.status, 0) << args;
    EXPECT_FALSE(HasRawControl(r.out)) << args << ": " << r.out;
    EXPECT_FALSE(HasRawControl(r.err)) << args << ": " << r.err;
    EXPECT_TRUE(Contains(r.out + r.err, "a\\x01b")) << args << ": " << r.out << r.err;
  }
  // A name written by hand, found.
  Spit(UserFile(),
       "[ODBC Data Sources]\n\n[a\x01"
       "b]\nDriver = " +
           kExcel + "\n");
  Result r = Tabrix("find " + name + " --user");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "a\\x01b: found among user data sources (" + UserFile().string() +
                       ", section [a\\x01b])\n");
  fs::remove(UserFile());

  // A value that would move a terminal's cursor is refused without being echoed raw.
  for (const char* verb : {"create", "create --dry-run"}) {
    r = Tabrix(std::string(verb) + " Ok --user --workbook " + Quote("x\x1b[2Jy"));
    EXPECT_EQ(r.status, 1) << verb;
    EXPECT_FALSE(HasRawControl(r.out + r.err)) << verb << ": " << r.out << r.err;
  }
}

// ---- what a second look found

TEST_F(Trust, ARunExecutesNothingWhileAnyCreatorWouldBeRefusedForWhatItIs) {
  const fs::path form = dir / "Setup.dfm";
  auto creator = [](const std::string& object, const std::string& action, const std::string& name) {
    return "  object " + object + ": TTabrixCreator\n    Action = " + action +
           "\n    DSNNameOrAlias = '" + name + "'\n  end\n";
  };
  for (const std::string bad : {"a=b", "ODBC Data Sources"}) {
    Spit(form, "object F: TForm1\n" + creator("C1", "ADD_DSN", "K1") +
                   creator("C2", "ADD_DSN", bad) + "end\n");
    Result r = Tabrix("run " + Quote(form.string()));
    EXPECT_EQ(r.status, 1) << bad;
    EXPECT_TRUE(Contains(r.err, form.string() + ": C2: ")) << r.err;
    EXPECT_TRUE(Contains(r.err, form.string() + ": nothing was executed")) << r.err;
    EXPECT_FALSE(fs::exists(UserFile())) << bad;
  }
  // What only the data sources decide is left to each creator in its turn: a configure of
  // one that an earlier creator makes.
  Spit(form, "object F: TForm1\n" + creator("C1", "ADD_DSN", "K1") +
                 creator("C2", "CONFIG_DSN", "K1") + "end\n");
  EXPECT_EQ(Tabrix("run " + Quote(form.string())).status, 0);
}

TEST_F(Trust, NumbersAreDecimalGivenAndBounded) {
  ASSERT_EQ(Tabrix("create Sales --user").status, 0);
  for (const auto& [given, stored] : std::vector<std::pair<std::string, std::string>>{
           {"010", "Threads = 10"}, {"-05", "Threads = -5"}, {"+7", "Threads = 7"}}) {
    ASSERT_EQ(Tabrix("configure Sales --user --threads " + given).status, 0) << given;
    EXPECT_TRUE(Contains(Slurp(UserFile()), stored + "\n")) << given;
  }
  const std::string before = Slurp(UserFile());
  for (const std::string args :
       {"--threads ''", "--threads 1x", "--max-scan-rows 0x10", "--threads 1 --wait nan",
        "--threads 1 --wait 1e12", "--threads 1 --wait -1"}) {
    Result r = Tabrix("configure Sales --user " + args);
    EXPECT_EQ(r.status, 2) << args << ": " << r.err;
  }
  EXPECT_EQ(Slurp(UserFile()), before);
}

TEST_F(Trust, WhatTheOptionParserSaysIsEscapedAndHelpThatCannotBeWrittenFails) {
  Result r = Tabrix("create X --user --bo" + Quote("\x1b[31m") + "gus");
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(Contains(r.err, "--bo\\x1B[31mgus")) << r.err;
  EXPECT_FALSE(Contains(r.err, "\x1b"));
  for (const char* args : {"--help", "--version", "list --help"}) {
    const int code = ExitCode(
        std::system((std::string(TABRIX_CLIENT) + " " + args + " >/dev/full 2>/dev/null").c_str()));
    EXPECT_EQ(code, 1) << args;
  }
}

TEST_F(Trust, UnknownIsNotAbsentInJsonAndAnEmptySectionNameIsFlagged) {
  fs::create_directory(UserFile());
  Result r = Tabrix("find Sales --user --json");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.out, "\"found\": null")) << r.out;

  fs::remove(UserFile());
  Spit(UserFile(), "[]\nDriver = " + kExcel + "\n\n[Z]\nDriver = " + kExcel + "\n");
  r = Tabrix("list --user");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "NAME  SCOPE  DRIVER\nZ     user   " + kExcel + "\n");
  EXPECT_TRUE(Contains(r.err, "a section with no name")) << r.err;
}

}  // namespace

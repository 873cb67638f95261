// The library against the real unixODBC library and tools, in a private configuration
// folder; results are read back with unixODBC's own `odbcinst`.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "library/TabrixCodeUnit.h"
#include "platform/odbcini/OdbcIni.h"
#include "platform/odbcinst/Installer.h"
#include "platform/registry/Registry.h"
#include "tests/support/TestSupport.h"

using namespace TabrixCodeUnit;
using namespace testsupport;
using namespace std::string_literals;
namespace fs = std::filesystem;

namespace {

const std::string kExcel = "Microsoft Excel Driver (*.xls)";
const std::string kAccess = "Microsoft Access Driver (*.mdb)";

class UnixOdbc : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    userFile = dir / "user.ini";
    systemFile = dir / "odbc.ini";
    log = dir / "setup.log";
    WriteDrivers("");
    setenv("ODBCSYSINI", dir.c_str(), 1);
    setenv("ODBCINSTINI", "odbcinst.ini", 1);
    setenv("ODBCINI", userFile.c_str(), 1);
    setenv("TABRIX_SETUP_LOG", log.c_str(), 1);
    unsetenv("ODBCSEARCH");
    unsetenv("TABRIX_SETUP_REFUSE");
  }

  // The six desktop drivers, none with a setup library; `excelExtra` is added to Excel's.
  void WriteDrivers(const std::string& excelExtra) {
    Spit(dir / "odbcinst.ini", DesktopDrivers(excelExtra));
  }

  static bool Create(int32_t request, const std::string& name, const std::string& extras = "") {
    return CreateDSN(request, 2, name, "Monthly figures", "/data/Sales.xls", "/data", "admin", "",
                     extras);
  }

  fs::path userFile, systemFile, log;
};

TEST_F(UnixOdbc, CreatesUserAndSystemSourcesThatOdbcinstReads) {
  ASSERT_TRUE(Create(1, "Sales", "ReadOnly=0\0Threads=3\0"s)) << platform::InstallerError();
  ASSERT_TRUE(Create(4, "Shared"));

  Output user = Shell("odbcinst -q -s -n Sales");
  EXPECT_EQ(user.status, 0);
  EXPECT_EQ(user.text,
            "[Sales]\nDriver=Microsoft Excel Driver (*.xls)\nDBQ=/data/Sales.xls\n"
            "DefaultDir=/data\nDescription=Monthly figures\nFIL=Excel 8.0\nUID=admin\nPWD=\n"
            "ReadOnly=0\nThreads=3\n");
  EXPECT_EQ(Shell("odbcinst -q -s -h").text, "[Sales]\n");
  EXPECT_EQ(Shell("odbcinst -q -s -l").text, "[Shared]\n");
  EXPECT_EQ(Slurp(systemFile),
            "[ODBC Data Sources]\nShared = Microsoft Excel Driver (*.xls)\n\n"
            "[Shared]\nDriver = Microsoft Excel Driver (*.xls)\nDBQ = /data/Sales.xls\n"
            "DefaultDir = /data\nDescription = Monthly figures\nFIL = Excel 8.0\nUID = admin\n"
            "PWD =\n");
  // The user's file may hold a password: readable by the user alone.
  EXPECT_EQ(fs::status(userFile).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);

  EXPECT_TRUE(FindDSN("Sales", 1));
  EXPECT_FALSE(FindDSN("Sales", 4));
  EXPECT_TRUE(FindDSN("shared", 4));
  EXPECT_FALSE(FindDSN("Shared", 1));
  EXPECT_TRUE(FindDSN("", 1));  // the file itself
  auto sections = platform::CurrentKeyStore().ReadSubKeys(platform::HKEY_LOCAL_MACHINE,
                                                          "\\Software\\ODBC\\ODBC.INI", "Driver");
  ASSERT_TRUE(sections);
  EXPECT_EQ(platform::CurrentKeyStore().Describe(platform::HKEY_CURRENT_USER,
                                                 "\\Software\\ODBC\\ODBC.INI\\Sales"),
            userFile.string() + ", section [Sales]");
  EXPECT_EQ(*sections,
            (platform::KeyStore::SubKeyValues{{"ODBC Data Sources", ""}, {"Shared", kExcel}}));
  EXPECT_EQ(GetODBCInfo(kExcel).Driver.str(), "/opt/odbc/lib/excel.so");
  EXPECT_EQ(GetODBCInfo(kExcel).FileExtns.str(), "*.xls");
}

TEST_F(UnixOdbc, ConfigureKeepsOtherKeysAndRemoveTakesTheWholeSource) {
  Spit(userFile, "# kept by hand\n[Other]\nDriver = x\n");
  ASSERT_TRUE(Create(1, "Sales"));
  ASSERT_TRUE(RegisterMDW("Sales", "/data/system.mdw"));
  ASSERT_TRUE(ConfigureDSN(2, 2, "Sales", "New", "/data/New.xls", "/data", "bob", "pw", ""));
  Output out = Shell("odbcinst -q -s -n Sales");
  EXPECT_NE(out.text.find("DBQ=/data/New.xls\n"), std::string::npos) << out.text;
  EXPECT_NE(out.text.find("SystemDB=/data/system.mdw\n"), std::string::npos) << out.text;

  EXPECT_FALSE(ConfigureDSN(2, 2, "Absent", "", "", "", "", "", ""));
  EXPECT_NE(platform::InstallerError().find("does not exist"), std::string::npos);

  ASSERT_TRUE(RemoveDSN(3, 2, "Sales"));
  EXPECT_EQ(Shell("odbcinst -q -s -n Sales").status, 1);
  EXPECT_FALSE(FindDSN("Sales", 1));
  EXPECT_EQ(Slurp(userFile), "# kept by hand\n[Other]\nDriver = x\n\n[ODBC Data Sources]\n\n");
  EXPECT_FALSE(RemoveDSN(3, 2, "Sales"));
}

TEST_F(UnixOdbc, RegistersWorkgroupFilesUnderTheRightRoot) {
  ASSERT_TRUE(Create(1, "Books"));
  EXPECT_FALSE(RegisterSystemMDW("Books", "/data/system.mdw"));
  EXPECT_FALSE(RegisterMDW("Absent", "/data/system.mdw"));
  EXPECT_FALSE(RegisterMDW("Books", ""));
  EXPECT_TRUE(RegisterMDW("Books", "/data/first.mdw"));
  EXPECT_TRUE(RegisterMDW("Books", "/data/second.mdw"));
  Output out = Shell("odbcinst -q -s -n Books");
  EXPECT_NE(out.text.find("SystemDB=/data/second.mdw\n"), std::string::npos) << out.text;
  EXPECT_EQ(out.text.find("first.mdw"), std::string::npos);
  EXPECT_FALSE(fs::exists(systemFile));
  EXPECT_THROW(RegisterMDW("Books", "/data/a\nDriver=/tmp/evil.so"), std::runtime_error);
}

TEST_F(UnixOdbc, RefusesWhatWouldBreakOrInjectIntoTheFile) {
  ASSERT_TRUE(Create(1, "Sales"));
  const std::string before = Slurp(userFile);
  const std::string cases[][2] = {
      {"name with a line break", "Evil\n[Injected]"},
      {"name with a bracket", "Evil]"},
      {"name too long", std::string(33, 'n')},
      {"leading blank", " Sales"},
      {"comment", "#Sales"},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(Create(1, c[1])) << c[0];
    EXPECT_FALSE(platform::InstallerError().empty()) << c[0];
  }
  EXPECT_FALSE(CreateDSN(1, 2, "Evil", "x\nDriver=/tmp/evil.so", "", "", "", "", ""));
  EXPECT_EQ(platform::InstallerError(),
            "the value of \"Description\" cannot be stored: it holds a control character");
  EXPECT_FALSE(CreateDSN(1, 2, "Evil", " padded", "", "", "", "", ""));
  EXPECT_FALSE(Create(1, "Evil", "Bad]Key=1\0"s));
  EXPECT_FALSE(Create(1, "Evil", "=1\0"s));
  EXPECT_FALSE(Create(1, "Evil", "Long=" + std::string(1000, 'x') + '\0'));
  EXPECT_FALSE(CreateDSN(1, 99, "Evil", "", "", "", "", "", ""));  // no driver
  EXPECT_NE(platform::InstallerError().find("is not defined"), std::string::npos);
  EXPECT_FALSE(platform::SQLConfigDataSource(nullptr, 1, kExcel, "DSN=Evil\0NoEquals\0\0"s));
  EXPECT_FALSE(platform::SQLConfigDataSource(nullptr, 1, kExcel, "DSN=Evil\0"s));
  EXPECT_FALSE(platform::SQLConfigDataSource(nullptr, 8, kExcel, "DSN=Evil\0\0"s));
  EXPECT_EQ(Slurp(userFile), before);
  EXPECT_FALSE(fs::exists(systemFile));
}

TEST_F(UnixOdbc, RemovesTheDefaultDataSource) {
  Spit(userFile, "[Default]\nDriver = x\n\n[Sales]\nDriver = y\n");
  ASSERT_TRUE(RemoveDSN(7, 2, "ignored"));
  EXPECT_EQ(Slurp(userFile), "[Sales]\nDriver = y\n");
}

TEST_F(UnixOdbc, WritesThroughASymbolicLinkAndKeepsTheFileMode) {
  fs::create_directories(dir / "real");
  Spit(dir / "real" / "user.ini", "; mine\n");
  chmod((dir / "real" / "user.ini").c_str(), 0640);
  fs::create_symlink(dir / "real" / "user.ini", userFile);
  ASSERT_TRUE(Create(1, "Sales"));
  EXPECT_TRUE(fs::is_symlink(userFile));
  EXPECT_EQ(Slurp(dir / "real" / "user.ini").rfind("; mine\n\n[ODBC Data Sources]\n", 0), 0u);
  struct stat st {};
  ASSERT_EQ(stat((dir / "real" / "user.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(UnixOdbc, ADriversOwnSetupLibraryReceivesTheExactRequest) {
  WriteDrivers("Setup = " TABRIX_TEST_SETUP_LIBRARY "\n");
  ASSERT_TRUE(Create(1, "Sales", "Threads=3\0"s)) << platform::InstallerError();
  ASSERT_TRUE(Create(4, "Shared"));
  ASSERT_TRUE(RemoveDSN(6, 2, "Shared"));
  ASSERT_TRUE(RemoveDSN(7, 2, "Any"));
  const std::string pairs =
      "Driver=/opt/odbc/lib/excel.so\\0DBQ=/data/Sales.xls\\0DefaultDir=/data\\0"
      "Description=Monthly figures\\0FIL=Excel 8.0\\0UID=admin\\0PWD=\\0";
  EXPECT_EQ(Slurp(log), "request=1 mode=1 driver=" + kExcel + " attributes=DSN=Sales\\0" + pairs +
                            "Threads=3\\0\\0\n"
                            "request=1 mode=2 driver=" +
                            kExcel + " attributes=DSN=Shared\\0" + pairs +
                            "\\0\n"
                            "request=3 mode=2 driver=" +
                            kExcel +
                            " attributes=DSN=Shared\\0\\0\n"
                            "request=7 mode=1 driver=" +
                            kExcel + " attributes=DSN=Any\\0\\0\n");
  EXPECT_FALSE(fs::exists(userFile));  // the setup library decides what is written

  // Refusals come before the driver's setup sees anything; its own refusal keeps its reason.
  EXPECT_FALSE(Create(1, "Evil\n[x]"));
  setenv("TABRIX_SETUP_REFUSE", "1", 1);
  EXPECT_FALSE(Create(1, "Sales"));
  EXPECT_EQ(platform::InstallerError(), "the test setup refused");
  const std::string logged = Slurp(log);
  EXPECT_EQ(std::count(logged.begin(), logged.end(), '\n'), 5);
}

TEST_F(UnixOdbc, ConcurrentWritersLoseNothing) {
  constexpr int kProcesses = 4, kEach = 25;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      bool ok = true;
      for (int i = 0; i < kEach; ++i)
        ok = Create(1, "P" + std::to_string(p) + "_" + std::to_string(i)) && ok;
      _exit(ok ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  Output listed = Shell("odbcinst -q -s -h");
  EXPECT_EQ(std::count(listed.text.begin(), listed.text.end(), '\n'), kProcesses * kEach);
  for (int p = 0; p < kProcesses; ++p)
    for (int i = 0; i < kEach; ++i)
      EXPECT_TRUE(FindDSN("P" + std::to_string(p) + "_" + std::to_string(i), 1));
}

}  // namespace

namespace {

TEST_F(UnixOdbc, APlanSaysWhatWouldChangeAndChangesNothing) {
  platform::Installer& installer = platform::CurrentInstaller();
  const std::string add = "DSN=Sales\0DBQ=/data/Sales.xls\0\0"s;
  platform::InstallPlan plan = installer.Plan(4, kExcel, add);
  EXPECT_TRUE(plan.accepted);
  EXPECT_EQ(plan.target, systemFile.string() + ", section [Sales]");
  EXPECT_FALSE(fs::exists(systemFile));

  plan = installer.Plan(2, kExcel, add);
  EXPECT_FALSE(plan.accepted);
  EXPECT_EQ(plan.reason, "the data source \"Sales\" does not exist in " + userFile.string());
  EXPECT_FALSE(installer.Plan(1, kExcel, "DSN=a\nb\0\0"s).accepted);

  WriteDrivers("Setup = /opt/odbc/lib/excelsetup.so\n");
  plan = installer.Plan(2, kExcel, add);
  EXPECT_TRUE(plan.accepted);
  EXPECT_EQ(plan.target, "decided by the driver's setup library /opt/odbc/lib/excelsetup.so");
}

}  // namespace

namespace {

TEST_F(UnixOdbc, AWriteClearsTheLeftoversOfAKilledWriterOfTheSameFile) {
  Spit(dir / ".user.ini.tabrix-Ab12Cd", "[Half");
  Spit(dir / ".odbc.ini.tabrix-Ab12Cd", "another file's, in use");
  ASSERT_TRUE(Create(1, "Sales"));
  EXPECT_FALSE(fs::exists(dir / ".user.ini.tabrix-Ab12Cd"));
  EXPECT_TRUE(fs::exists(dir / ".odbc.ini.tabrix-Ab12Cd"));
  for (const auto& entry : fs::directory_iterator(dir))
    EXPECT_EQ(entry.path().filename().string().find(".user.ini.tabrix-"), std::string::npos);
}

}  // namespace

namespace {

// What an installer request leaves in a user file written by hand.
std::string AfterRequest(const fs::path& file, uint16_t request, const std::string& driver,
                         const std::string& attributes, bool expected = true) {
  EXPECT_EQ(platform::SQLConfigDataSource(nullptr, request, driver, attributes), expected)
      << platform::InstallerError();
  return Slurp(file);
}

TEST_F(UnixOdbc, AConfigureChangesOnlyItsPairsAndKeepsTheDriverAsWritten) {
  const std::string listing = "[ODBC Data Sources]\r\nbooks = " + kAccess + "\r\n\r\n";
  const std::string section = "[Books]\r\nDriver=/opt/odbc/lib/access.so\r\nReadOnly = true\r\n";
  Spit(userFile, listing + section);
  // The Driver value names the Access driver by its library: it stays, and so does the listing.
  EXPECT_EQ(AfterRequest(userFile, 2, kAccess, "DSN=Books\0Threads=7\0\0"s),
            listing + section + "Threads = 7\r\n");
  // Asked for another driver, both follow it; the listing takes the section's spelling.
  EXPECT_EQ(AfterRequest(userFile, 2, kExcel, "DSN=BOOKS\0Threads=8\0\0"s),
            "[ODBC Data Sources]\r\nBooks = " + kExcel + "\r\n\r\n[Books]\r\nDriver = " + kExcel +
                "\r\nReadOnly = true\r\nThreads = 8\r\n");
  EXPECT_NE(Shell("odbcinst -q -s -n Books").text.find("Threads=8\n"), std::string::npos);
}

TEST_F(UnixOdbc, TheListingIsNoDataSourceAndStaleOrRepeatedNamesAreRemovedWhole) {
  for (const char* reserved : {"ODBC Data Sources", "odbc data SOURCES"}) {
    EXPECT_FALSE(CreateDSN(4, 2, reserved, "", "/x.xls", "", "", "", ""));
    EXPECT_NE(platform::InstallerError().find("lists the data sources"), std::string::npos);
  }
  EXPECT_FALSE(fs::exists(systemFile));

  const std::string kept = "[ODBC Data Sources]\nOther = " + kExcel + "\n";
  Spit(userFile, "[ODBC Data Sources]\nGone = " + kExcel + "\nOther = " + kExcel + "\n");
  EXPECT_TRUE(FindDSN("Other", 1) == false);
  EXPECT_EQ(AfterRequest(userFile, 3, kExcel, "DSN=gone\0\0"s), kept);
  AfterRequest(userFile, 3, kExcel, "DSN=gone\0\0"s, false);

  Spit(userFile, "[Twice]\nDriver = a\n\n[Other]\nDriver = b\n\n[twice]\nDriver = c\n");
  EXPECT_TRUE(RemoveDSN(3, 2, "Twice"));
  EXPECT_EQ(Shell("odbcinst -q -s -n Twice").status, 1);
  EXPECT_TRUE(FindDSN("Other", 1));
}

TEST_F(UnixOdbc, ASetupLibraryThatCannotServeIsNamed) {
  WriteDrivers("Setup = /nowhere/libsetup.so\n");
  EXPECT_FALSE(Create(1, "Sales"));
  EXPECT_NE(platform::InstallerError().find("setup library cannot be loaded"), std::string::npos)
      << platform::InstallerError();
  WriteDrivers("Setup = libm.so.6\n");
  EXPECT_FALSE(Create(1, "Sales"));
  EXPECT_EQ(platform::InstallerError(),
            "the driver's setup library libm.so.6 has no ConfigDSN function");
}

TEST_F(UnixOdbc, ValuesEndAtANulAndTheFileItselfHoldsNone) {
  Spit(dir / "odbcinst.ini", "[" + kExcel + "]\nDriver = /x\0SystemDB=/evil\n"s);
  EXPECT_EQ(GetODBCInfo(kExcel).Driver.str(), "/x");
  ASSERT_TRUE(Create(1, "Sales"));
  EXPECT_EQ(Slurp(userFile).find("evil"), std::string::npos);

  try {
    RegisterMDW("", "/data/system.mdw");
    ADD_FAILURE() << "the file itself took a value";
  } catch (const platform::ERegistryException& e) {
    EXPECT_NE(std::string(e.what()).find("itself holds no values"), std::string::npos) << e.what();
  }
}

TEST_F(UnixOdbc, OnlyRegularFilesAreReadAndOnlyReadableOnesWritten) {
  const std::string before = "junk\n[Sales]\nDriver = x\n";
  Spit(userFile, before);
  EXPECT_FALSE(Create(1, "New"));
  EXPECT_NE(platform::InstallerError().find("user.ini:1: text before the first section"),
            std::string::npos)
      << platform::InstallerError();
  EXPECT_EQ(Slurp(userFile), before);
  EXPECT_THROW(platform::CurrentKeyStore().ReadValues(platform::HKEY_CURRENT_USER,
                                                      "\\Software\\ODBC\\ODBC.INI\\Sales"),
               platform::ERegistryException);

  auto refusal = [&](const std::string& expected) {
    EXPECT_FALSE(Create(1, "New"));
    EXPECT_NE(platform::InstallerError().find(expected), std::string::npos)
        << platform::InstallerError();
    EXPECT_THROW(platform::CurrentKeyStore().ReadSubKeys(platform::HKEY_CURRENT_USER,
                                                         "\\Software\\ODBC\\ODBC.INI", "Driver"),
                 platform::ERegistryException);
  };
  fs::remove(userFile);
  ASSERT_EQ(mkfifo(userFile.c_str(), 0600), 0);
  refusal("is a FIFO");
  EXPECT_TRUE(fs::is_fifo(userFile));
  fs::remove(userFile);
  fs::create_directory(userFile);
  refusal("is a folder");
  fs::remove(userFile);
  fs::create_symlink("/dev/zero", userFile);
  refusal("/dev/zero is a character device");
  EXPECT_FALSE(fs::exists("/dev/zero.lock"));
  fs::remove(userFile);
  fs::create_symlink(userFile, userFile);
  refusal("user.ini");
  fs::remove(userFile);
  {
    std::ofstream(userFile) << "[A]\n";
    fs::resize_file(userFile, (size_t{256} << 20) + 1);  // sparse: no disk is used
  }
  refusal("larger than 256 MiB");
  fs::remove(userFile);

  fs::remove(dir / "user.ini.lock");
  fs::create_symlink(dir / "elsewhere", dir / "user.ini.lock");
  EXPECT_FALSE(Create(1, "New"));
  EXPECT_NE(platform::InstallerError().find("a symbolic link"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "elsewhere"));
}

TEST_F(UnixOdbc, ALockHeldElsewhereIsWaitedForThenGivenUpAndOneHeldHereIsReused) {
  ASSERT_TRUE(Create(1, "Sales"));
  {
    // Changes inside the scope of this thread's lock take it over instead of waiting on it.
    platform::odbcini::FileLock lock(userFile.string());
    EXPECT_TRUE(RegisterMDW("Sales", "/data/system.mdw"));
    EXPECT_TRUE(Create(1, "Second"));
  }

  int ready[2], release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  pid_t holder = fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    platform::odbcini::FileLock lock(userFile.string());
    char c = 0;
    (void)!write(ready[1], &c, 1);
    (void)!read(release[0], &c, 1);
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  const std::string before = Slurp(userFile);
  std::vector<std::string> told;
  platform::odbcini::SetLockWait({0.2, [&](const std::string& file) { told.push_back(file); }});
  EXPECT_FALSE(Create(1, "Third"));
  EXPECT_NE(platform::InstallerError().find("is locked by another process"), std::string::npos);
  EXPECT_NE(platform::InstallerError().find("gave up after 0.2 seconds"), std::string::npos);
  EXPECT_EQ(told, std::vector<std::string>{userFile.string()});
  platform::odbcini::SetLockWait({0, nullptr});
  EXPECT_FALSE(Create(1, "Third"));
  EXPECT_NE(platform::InstallerError().find("not waiting"), std::string::npos);
  EXPECT_EQ(Slurp(userFile), before);

  (void)!write(release[1], &c, 1);
  waitpid(holder, nullptr, 0);
  platform::odbcini::SetLockWait({30, nullptr});
  EXPECT_TRUE(Create(1, "Third"));
}

}  // namespace

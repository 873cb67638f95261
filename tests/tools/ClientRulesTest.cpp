// Every verb that changes data sources keeps the same rules: import and apply refuse what
// configure and remove refuse, go through a driver's setup library where create does, warn
// about a readable password as create does; what they read and write is lossless or refused;
// the files are found as unixODBC finds them; each message names what is there.
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "ClientFixture.h"

namespace {

using namespace clienttest;

const std::string kExcel = "Microsoft Excel Driver (*.xls)";

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class Rules : public Client {
 protected:
  fs::path UserFile() const { return dir / "odbc.user.ini"; }
  fs::path SystemFile() const { return dir / "odbc.ini"; }
  std::string In(const std::string& name) const { return Quote((dir / name).string()); }
  // A state file for apply or a JSON export for import, named `name`.
  std::string State(const std::string& name, const std::string& json) {
    Spit(dir / name, json);
    return In(name);
  }
};

// ---- one path for every change

const std::string kForeign =
    "[ODBC Data Sources]\n"
    "Pg = PostgreSQL Unicode\n"
    "\n"
    "[Pg]\n"
    "Driver = PostgreSQL Unicode\n"
    "Database = sales\n";

TEST_F(Rules, ImportAndApplyLeaveAnotherDriversDataSourceAsConfigureAndRemoveDo) {
  Spit(dir / "odbcinst.ini", Slurp(dir / "odbcinst.ini") +
                                 "\n[PostgreSQL Unicode]\nDriver = /usr/lib/psqlodbcw.so\n");
  Spit(UserFile(), kForeign);
  const std::string refused =
      "user data source \"Pg\": its driver \"PostgreSQL Unicode\" is not one of the six desktop "
      "drivers; tabrix changes only data sources of those drivers";
  const std::string excel = R"({"dsns": [{"name": "Pg", "scope": "user", "driver": ")" + kExcel +
                            R"(", "attributes": {"DBQ": "/data/x.xls"}}]})";

  // Switched to another driver, removed, or replaced: each refused, the file as it was.
  Result r = Tabrix("apply " + State("switch.json", excel));
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, "tabrix: " + refused + "\n")) << r.err;
  r = Tabrix("apply " + State("absent.json",
                              R"({"dsns": [{"name": "Pg", "scope": "user", "state": "absent"}]})"));
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, "tabrix: " + refused + "\n")) << r.err;
  r = Tabrix("import " + State("import.json", excel));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tabrix: data source \"Pg\" (user): its driver \"PostgreSQL Unicode\" is not "
                   "one of the six desktop drivers; tabrix changes only data sources of those "
                   "drivers; skipped\n");
  EXPECT_EQ(Slurp(UserFile()), kForeign);

  // Nor does either make one of another driver, which create never does.
  const std::string pg = R"({"dsns": [{"name": "New", "scope": "user", "driver": )"
                         R"("PostgreSQL Unicode", "attributes": {"Database": "x"}}]})";
  r = Tabrix("apply " + State("new.json", pg));
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, "tabrix: user data source \"New\": the driver \"PostgreSQL "
                              "Unicode\" is not one of the six desktop drivers"))
      << r.err;
  r = Tabrix("import " + State("new.json", pg));
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, "its driver \"PostgreSQL Unicode\" is not one of the six desktop "
                              "drivers; tabrix changes only data sources of those drivers; "
                              "skipped\n"))
      << r.err;
  EXPECT_EQ(Slurp(UserFile()), kForeign);
}

TEST_F(Rules, TheDriverManagersOwnSectionIsNeverADriver) {
  Spit(dir / "odbcinst.ini", "[ODBC]\nTrace = No\nDriver = /usr/lib/trace.so\n\n" +
                                 Slurp(dir / "odbcinst.ini"));
  const std::string odbc = R"({"dsns": [{"name": "T", "scope": "user", "driver": "ODBC",)"
                           R"( "attributes": {"DBQ": "/data/x.xls"}}]})";
  const std::string undefined =
      "the driver \"ODBC\" is not defined in " + (dir / "odbcinst.ini").string();
  Result r = Tabrix("apply " + State("odbc.json", odbc));
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, "tabrix: user data source \"T\": " + undefined + "\n")) << r.err;
  r = Tabrix("import " + State("odbc.json", odbc));
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, "its driver \"ODBC\" is not a driver defined in")) << r.err;
  // Its Driver value is not a library of any driver either.
  r = Tabrix("import " + State("lib.json", R"({"dsns": [{"name": "T", "scope": "user", )"
                                           R"("driver": "/usr/lib/trace.so"}]})"));
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(fs::exists(UserFile()));
}

TEST_F(Rules, ADriversSetupLibraryDecidesWhicheverVerbAsks) {
  Spit(dir / "odbcinst.ini", "[" + kExcel + "]\nDriver = /opt/odbc/lib/excel.so\nSetup = " +
                                 std::string(TABRIX_TEST_SETUP_LIBRARY) + "\n");
  const std::string log = (dir / "setup.log").string();
  const std::string env = "TABRIX_SETUP_LOG=" + Quote(log);
  ASSERT_EQ(Tabrix("create ByCreate --user --workbook /data/c.xls", "", env).status, 0);
  std::string created = Slurp(log);
  EXPECT_TRUE(Contains(created, "request=1 mode=")) << created;

  // apply's create, change and removal, and import's replacement, each a request to it; our
  // own writer leaves the file alone.
  Spit(UserFile(), "[ODBC Data Sources]\nOld = " + kExcel + "\n\n[Old]\nDriver = " + kExcel +
                       "\nDBQ = /data/old.xls\n");
  const std::string before = Slurp(UserFile());
  fs::remove(log);
  Result r = Tabrix("apply " + State("state.json", R"({"dsns": [
    {"name": "New", "scope": "user", "driver": ")" + kExcel + R"(",
     "attributes": {"DBQ": "/data/new.xls"}},
    {"name": "Old", "scope": "user", "driver": ")" + kExcel + R"(",
     "attributes": {"DBQ": "/data/changed.xls"}}]})"),
                    "", env);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Slurp(log), "request=1 mode=1 driver=" + kExcel +
                            " attributes=DSN=New\\0DBQ=/data/new.xls\\0\\0\n"
                            "request=2 mode=1 driver=" + kExcel +
                            " attributes=DSN=Old\\0DBQ=/data/changed.xls\\0\\0\n");
  EXPECT_EQ(Slurp(UserFile()), before);
  fs::remove(log);
  r = Tabrix("apply " + State("gone.json",
                              R"({"dsns": [{"name": "Old", "scope": "user", "state": "absent"}]})"),
             "", env);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Slurp(log), "request=3 mode=1 driver=" + kExcel + " attributes=DSN=Old\\0\\0\n");
  fs::remove(log);
  r = Tabrix("import " + State("import.json", R"({"dsns": [{"name": "Old", "scope": "user", )"
                                              R"("driver": ")" + kExcel +
                                              R"(", "attributes": {"DBQ": "/data/i.xls"}}]})"),
             "", env);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Slurp(log), "request=1 mode=1 driver=" + kExcel +
                            " attributes=DSN=Old\\0DBQ=/data/i.xls\\0\\0\n");
  EXPECT_EQ(Slurp(UserFile()), before);

  // Its refusal is told with its reason, and exit 1.
  r = Tabrix("apply " + In("state.json"), "", env + " TABRIX_SETUP_REFUSE=1");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, "the test setup refused")) << r.err;
  r = Tabrix("import " + In("import.json"), "", env + " TABRIX_SETUP_REFUSE=1");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, "the test setup refused")) << r.err;
  EXPECT_FALSE(Contains(r.out, "Old (user): replaced")) << r.out;
}

TEST_F(Rules, AStoredPasswordOthersCanReadIsWarnedAboutWhicheverVerbStoresIt) {
  Result r = Tabrix("create ByCreate --workbook /data/c.xls --password-stdin", "s3cret\n");
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(chmod(SystemFile().c_str(), 0644), 0);
  const std::string warning = "tabrix: warning: the password is stored in " + SystemFile().string() +
                              " (mode 0644), which other users can read\n";
  EXPECT_TRUE(Contains(Tabrix("configure ByCreate --password-stdin", "other\n").err, warning));

  const std::string state = State("state.json", R"({"dsns": [{"name": "Vaulted", "driver": ")" +
                                                    kExcel + R"(", "attributes": {"PWD": "v4ult"}}]})");
  r = Tabrix("apply " + state);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, warning);
  r = Tabrix("import " + State("import.json", R"({"dsns": [{"name": "Imported", "driver": ")" +
                                                  kExcel + R"(", "attributes": {"PWD": "p"}}]})"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, warning);
  // Not where no password is written, nor where others cannot read the file.
  EXPECT_EQ(Tabrix("apply " + state).err, "");
  ASSERT_EQ(chmod(SystemFile().c_str(), 0600), 0);
  r = Tabrix("apply " + State("again.json", R"({"dsns": [{"name": "Vaulted", "driver": ")" +
                                                 kExcel + R"(", "attributes": {"PWD": "new"}}]})"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
}

// ---- lossless or refused

TEST_F(Rules, ARegistryFileGivesOneValuePerKeywordAsTheRegistryHoldsIt) {
  Spit(dir / "twice.reg",
       "REGEDIT4\n\n"
       "[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\ODBC Data Sources]\n"
       "\"Sales\"=\"Microsoft Access Driver (*.mdb)\"\n"
       "\"Sales\"=\"Microsoft Excel Driver (*.xls)\"\n\n"
       "[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\Sales\\Engines\\Excel]\n"
       "\"DBQ\"=\"/data/engine.xls\"\n"
       "\"MaxScanRows\"=dword:00000008\n\n"
       "[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\Sales]\n"
       "\"Driver\"=\"Microsoft Access Driver (*.mdb)\"\n"
       "\"Driver\"=\"Microsoft Excel Driver (*.xls)\"\n"
       "\"DBQ\"=\"/data/first.xls\"\n"
       "\"DBQ\"=\"/data/last.xls\"\n"
       "\"Flag\"=hex(5):00,00,01,02\n\n");
  Result r = Tabrix("import " + In("twice.reg"));
  ASSERT_EQ(r.status, 0) << r.err;
  // regedit keeps the last of a value given twice; the key's own DBQ is the data source's,
  // whatever its subkey says; hex(5) is a big-endian number.
  EXPECT_EQ(Slurp(UserFile()),
            "[ODBC Data Sources]\n"
            "Sales = " + kExcel + "\n\n"
            "[Sales]\n"
            "Driver = " + kExcel + "\n"
            "DBQ = /data/last.xls\n"
            "MaxScanRows = 8\n"
            "Flag = 258\n");
  EXPECT_TRUE(Contains(Odbcinst("Sales"), "DBQ=/data/last.xls\n"));
}

TEST_F(Rules, JsonExportKeepsEveryByteOrRefusesNamingTheValue) {
  const std::string latin1 = "/data/Ums\xE4tze.xls";
  Spit(UserFile(), "[ODBC Data Sources]\nSales = " + kExcel + "\n\n[Sales]\nDriver = " + kExcel +
                       "\nDBQ = " + latin1 + "\nDescription = Caf\xC3\xA9\n");
  const std::string before = Slurp(UserFile());
  Result r = Tabrix("export --user");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "tabrix: cannot export: user data source \"Sales\": the value of DBQ is not "
                   "UTF-8 (byte 0xE4 at offset 9), which JSON cannot hold exactly; export it "
                   "with --format ini, which keeps every byte\n");
  EXPECT_FALSE(fs::exists(dir / "out.json"));
  r = Tabrix("export --user -o " + In("out.json"));
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(fs::exists(dir / "out.json"));
  // The odbc.ini fragment holds the bytes as they are, and comes back the same.
  r = Tabrix("export --user --format ini -o " + In("sales.ini"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Contains(Slurp(dir / "sales.ini"), "DBQ = " + latin1 + "\n"));
  fs::remove(UserFile());
  ASSERT_EQ(Tabrix("import --user " + In("sales.ini")).status, 0);
  EXPECT_EQ(Slurp(UserFile()), before);
  // UTF-8 text goes through JSON as it is.
  Spit(UserFile(), Slurp(UserFile()).replace(Slurp(UserFile()).find(latin1), latin1.size(),
                                             "/data/Ums\xC3\xA4tze.xls"));
  const std::string utf8 = Slurp(UserFile());
  r = Tabrix("export --user");
  ASSERT_EQ(r.status, 0) << r.err;
  Spit(dir / "export.json", r.out);
  r = Tabrix("apply " + In("export.json"));
  EXPECT_EQ(r.out, "Nothing to change: 1 data source as the state wants it.\n");
  fs::remove(UserFile());
  ASSERT_EQ(Tabrix("import " + In("export.json")).status, 0);
  EXPECT_EQ(Slurp(UserFile()), utf8);
}

TEST_F(Rules, AKeywordGivenTwoValuesIsRefusedNamingItsLine) {
  const std::string pairs = "{\"dsns\": [{\"name\": \"Sales\", \"scope\": \"user\",\n"
                            " \"driver\": \"" + kExcel + "\",\n"
                            " \"attributes\": [[\"DBQ\", \"/data/a.xls\"],\n"
                            "   [\"Threads\", \"3\"], [\"Threads\", \"3\"],\n"
                            "   [\"dbq\", \"/data/b.xls\"]]}]}\n";
  Result r = Tabrix("apply " + State("pairs.json", pairs));
  EXPECT_EQ(r.status, 2);
  const std::string file = (dir / "pairs.json").string();
  EXPECT_EQ(r.err, "tabrix: " + file + ":5: dsns[0] (\"Sales\"): \"dbq\" is given a second value "
                   "(the first at line 3); which one is meant?; nothing applied\n");
  const std::string object = "{\"dsns\": [{\"name\": \"Sales\", \"scope\": \"user\",\n"
                             " \"driver\": \"" + kExcel + "\", \"attributes\": {\n"
                             "   \"DBQ\": \"/data/a.xls\",\n"
                             "   \"DBQ\": \"/data/b.xls\"}}]}\n";
  r = Tabrix("apply " + State("object.json", object));
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(Contains(r.err, "object.json:4: dsns[0] (\"Sales\"): \"DBQ\" is given a second "
                              "value (the first at line 3)"))
      << r.err;
  r = Tabrix("import " + In("object.json"));
  EXPECT_EQ(r.status, 2);
  EXPECT_FALSE(fs::exists(UserFile()));
  // The same value twice is one value.
  r = Tabrix("apply " + State("alike.json", "{\"dsns\": [{\"name\": \"Sales\", \"scope\": "
                                            "\"user\", \"driver\": \"" + kExcel +
                                            "\", \"attributes\": [[\"Threads\", \"3\"], "
                                            "[\"THREADS\", \"3\"]]}]}"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Slurp(UserFile()), "[ODBC Data Sources]\nSales = " + kExcel +
                                   "\n\n[Sales]\nDriver = " + kExcel + "\nThreads = 3\n");
}

// ---- the files unixODBC uses, found as unixODBC finds them

// A shell command's output with the private folder's files named by the environment alone.
testsupport::Output Env(const fs::path& dir, const std::string& env, const std::string& command) {
  return testsupport::Shell("env -u ODBCSEARCH -u ODBCINSTINI ODBCSYSINI=" + Quote(dir.string()) +
                            " ODBCINI=" + Quote((dir / "odbc.user.ini").string()) + " " + env +
                            " " + command);
}

TEST_F(Rules, TheUsersDriversAreReadBeneathTheSystemOnesAsUnixOdbcReadsThem) {
  fs::create_directories(dir / "home");
  Spit(dir / "odbcinst.ini", "[" + kExcel + "]\nDriver = /opt/odbc/lib/excel.so\n");
  Spit(dir / "home" / ".odbcinst.ini",
       "[" + kExcel + "]\nDriver = /home/me/excel.so\n\n"
       "[Microsoft Access Driver (*.mdb)]\nDriver = /home/me/access.so\n");
  const std::string home = "HOME=" + Quote((dir / "home").string());
  testsupport::Output listed = Env(dir, home, "odbcinst -q -d");
  ASSERT_EQ(listed.text, "[" + kExcel + "]\n[Microsoft Access Driver (*.mdb)]\n");

  const std::string state =
      State("access.json", R"J({"dsns": [{"name": "Books", "scope": "user", "driver": )J"
                           R"J("Microsoft Access Driver (*.mdb)", "attributes": {"DBQ": "/b.mdb"}}]})J");
  Result r = Tabrix("apply " + state, "", home);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Contains(Odbcinst("Books"), "Driver=Microsoft Access Driver (*.mdb)\n"));
  EXPECT_EQ(Tabrix("configure Books --user --threads 4", "", home).status, 0);
  r = Tabrix("drivers", "", home);
  EXPECT_TRUE(Contains(r.out, "/home/me/access.so")) << r.out;
  // The system file's definition stands where both define a driver.
  EXPECT_TRUE(Contains(r.out, "/opt/odbc/lib/excel.so")) << r.out;
  EXPECT_FALSE(Contains(r.out, "/home/me/excel.so")) << r.out;
  // Without the user's file the driver is not there, for unixODBC nor for tabrix.
  r = Tabrix("configure Books --user --threads 5", "", "HOME=" + Quote(dir.string()));
  EXPECT_EQ(r.status, 1);
}

TEST_F(Rules, AnEmptyDriversFileNameReadsAsAnEmptyFileAsInUnixOdbc) {
  Spit(dir / "odbcinst.ini", "[" + kExcel + "]\nDriver = /opt/odbc/lib/excel.so\n");
  const std::string env = "ODBCINSTINI= HOME=" + Quote(dir.string());
  // unixODBC reads the folder as an empty drivers file, and only the user's drivers beneath.
  ASSERT_NE(Env(dir, env, "odbcinst -q -d").status, 0);
  Spit(dir / ".odbcinst.ini", "[Microsoft Access Driver (*.mdb)]\nDriver = /home/access.so\n");
  ASSERT_EQ(Env(dir, env, "odbcinst -q -d").text, "[Microsoft Access Driver (*.mdb)]\n");
  testsupport::Output out =
      Env(dir, env, std::string(TABRIX_CLIENT) + " create Sales --user --workbook /data/s.xls");
  EXPECT_EQ(out.status, 1);
  EXPECT_TRUE(Contains(out.text, "the driver \"" + kExcel + "\" is not defined in " +
                                     dir.string() + "/\n"))
      << out.text;
  EXPECT_FALSE(fs::exists(UserFile()));
  out = Env(dir, env, std::string(TABRIX_CLIENT) + " drivers");
  EXPECT_FALSE(Contains(out.text, "/opt/odbc/lib/excel.so")) << out.text;
  EXPECT_TRUE(Contains(out.text, "/home/access.so")) << out.text;
}

// The user file of a uid as unixODBC's odbcinst -j names it, and as tabrix's dry run does.
struct UserFiles {
  std::string unixOdbc, tabrix;
};

TEST_F(Rules, AUidWithoutAPasswordEntryThatFitsGetsUnixOdbcsUserFile) {
  if (geteuid() != 0 ||
      testsupport::Shell("unshare -m true").status != 0)
    GTEST_SKIP() << "needs root and mount namespaces, to give the password database private "
                    "entries";
  // Private entries over the machine's /etc/passwd, in a mount namespace of the test's own.
  // glibc's lookup fails with ERANGE at the first line that does not fit the buffer, so the
  // short entry stands before the long one.
  Spit(dir / "passwd", Slurp("/etc/passwd") + "tabrixshort:x:54323:54323::" +
                           (dir / "short").string() + ":/bin/sh\ntabrixlong:x:54321:54321:" +
                           std::string(1100, 'g') + ":" + (dir / "long").string() + ":/bin/sh\n");
  fs::permissions(dir, fs::perms::all);
  auto files = [&](int uid) {
    const std::string as = "unshare -m sh -c " +
                           Quote("mount --bind " + Quote((dir / "passwd").string()) +
                                 " /etc/passwd && exec setpriv --reuid " + std::to_string(uid) +
                                 " --regid " + std::to_string(uid) +
                                 " --clear-groups \"$@\"") +
                           " sh env -u ODBCINI -u ODBCSEARCH -u ODBCINSTINI HOME=/nonexistent" +
                           " ODBCSYSINI=" + Quote(dir.string()) + " ";
    UserFiles f;
    std::string j = testsupport::Shell(as + "odbcinst -j").text;
    const std::string lead = "USER DATA SOURCES..: ";
    if (size_t at = j.find(lead); at != std::string::npos)
      f.unixOdbc = j.substr(at + lead.size(), j.find('\n', at) - at - lead.size());
    std::string t = testsupport::Shell(as + TABRIX_CLIENT +
                                       " create Probe --user --workbook /x.xls --dry-run")
                        .text;
    const std::string target = "target:     ";
    if (size_t at = t.find(target); at != std::string::npos)
      f.tabrix = t.substr(at + target.size(), t.find(", section", at) - at - target.size());
    else
      f.tabrix = t;
    return f;
  };
  for (int uid : {54321, 54322, 54323}) {
    UserFiles f = files(uid);
    EXPECT_EQ(f.tabrix, f.unixOdbc) << "uid " << uid;
    EXPECT_EQ(f.unixOdbc, uid == 54323 ? (dir / "short" / ".odbc.ini").string()
                                       : std::string("/home/.odbc.ini"))
        << "uid " << uid;
  }
}

// ---- messages name what is there

TEST_F(Rules, MessagesNameWhatIsThere) {
  ASSERT_EQ(Tabrix("create Sales --user --workbook /data/s.xls").status, 0);
  Result r = Tabrix("create SALES --user --workbook /data/s.xls");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tabrix: cannot create user data source \"SALES\": the user data source "
                   "\"SALES\" exists already (" + UserFile().string() + ", section [Sales])\n");

  // An empty name, of a data source or of a key, is refused as empty.
  r = Tabrix("apply " + State("empty.json", R"({"dsns": [{"name": "S", "scope": "user", )"
                                            R"("driver": ")" + kExcel +
                                            R"(", "attributes": {"": "x"}}]})"));
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, "invalid keyword \"\": it is empty")) << r.err;
  Spit(dir / "key.reg", "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\]\n"
                        "\"Driver\"=\"" + kExcel + "\"\n\n");
  r = Tabrix("import " + In("key.reg"));
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, "invalid data source name \"\": it is empty; skipped")) << r.err;

  // A malformed state names the line where the entry starts.
  r = Tabrix("apply " + State("lines.json", "{\"dsns\": [\n  {\"name\": \"A\", \"scope\": "
                                            "\"user\", \"state\": \"absent\"},\n\n"
                                            "  {\"name\": \"B\"}\n]}\n"));
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "tabrix: " + (dir / "lines.json").string() +
                       ":4: dsns[1]: \"driver\" is missing; nothing applied\n");
  r = Tabrix("apply " + State("shape.json", "[]"));
  EXPECT_EQ(r.err, "tabrix: " + (dir / "shape.json").string() +
                       ":1: an object with a \"dsns\" array is expected; nothing applied\n");

  // A --map-path that rewrote nothing is told; one that did is not.
  ASSERT_EQ(Tabrix("export --user -o " + In("sales.json")).status, 0);
  r = Tabrix("import " + In("sales.json") + " --map-path 'C:\\Nothing=/x' --map-path /data=/srv");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "tabrix: warning: --map-path C:\\Nothing=/x matched no DBQ, DefaultDir or "
                   "SystemDB path; nothing was rewritten by it\n");
  EXPECT_TRUE(Contains(Odbcinst("Sales"), "DBQ=/srv/s.xls\n"));
}

TEST_F(Rules, ExportKeepsAnOwnerOnlyFileOwnerOnlyAndFollowsADanglingLink) {
  ASSERT_EQ(Tabrix("create Sales --user --workbook /data/s.xls").status, 0);
  Spit(dir / "private.json", "old\n");
  ASSERT_EQ(chmod((dir / "private.json").c_str(), 0600), 0);
  ASSERT_EQ(Tabrix("export --user -o " + In("private.json")).status, 0);
  struct stat st {};
  ASSERT_EQ(stat((dir / "private.json").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_TRUE(Contains(Slurp(dir / "private.json"), "\"Sales\""));

  // Through a link, live or dangling, to the file it names; the link stays a link.
  fs::create_directories(dir / "exports");
  fs::create_symlink(dir / "exports" / "new.json", dir / "dangling");
  fs::create_symlink("exports/relative.json", dir / "relative");
  for (const char* link : {"dangling", "relative"}) {
    Result r = Tabrix("export --user -o " + In(link));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(dir / link)) << link;
  }
  EXPECT_TRUE(Contains(Slurp(dir / "exports" / "new.json"), "\"Sales\""));
  EXPECT_TRUE(Contains(Slurp(dir / "exports" / "relative.json"), "\"Sales\""));
  // Written again through the now live link, with passwords: the owner's alone.
  ASSERT_EQ(chmod((dir / "exports" / "new.json").c_str(), 0644), 0);
  ASSERT_EQ(Tabrix("export --user --include-passwords -o " + In("dangling")).status, 0);
  ASSERT_EQ(stat((dir / "exports" / "new.json").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

// ---- signals and terminals

TEST_F(Rules, OutputThatCannotBeWrittenStillSaysTheChangeWasMade) {
  auto full = [&](const std::string& args) {
    return testsupport::Shell("{ " + std::string(TABRIX_CLIENT) + " " + args + " --config-dir " +
                              Quote(dir.string()) + " >/dev/full; }");
  };
  testsupport::Output out = full("create Sales --user --workbook /data/s.xls");
  EXPECT_EQ(out.status, 1);
  EXPECT_EQ(out.text, "tabrix: cannot write the output: No space left on device; the change "
                      "was made all the same: create user data source \"Sales\"\n");
  EXPECT_TRUE(Contains(Odbcinst("Sales"), "DBQ=/data/s.xls\n"));
  out = full("apply " + State("state.json", R"({"dsns": [{"name": "Sales", "scope": "user", )"
                                            R"("state": "absent"}]})"));
  EXPECT_EQ(out.status, 1);
  EXPECT_TRUE(Contains(out.text, "the change was made all the same: removed user data source "
                                 "\"Sales\"\n"))
      << out.text;
  // Nothing changed: then only the output's failure is told.
  out = full("apply " + In("state.json"));
  EXPECT_EQ(out.status, 1);
  EXPECT_EQ(out.text, "tabrix: cannot write the output: No space left on device\n");
}

// ---- behaviours each held by a test of its own

TEST_F(Rules, ARepeatedKeyReadsAsItsFirstAsUnixOdbcReadsIt) {
  Spit(UserFile(), "[ODBC Data Sources]\nSales = " + kExcel + "\n\n[Sales]\nDriver = " + kExcel +
                       "\nThreads = 3\nThreads = 5\n");
  const std::string before = Slurp(UserFile());
  Result r = Tabrix("apply " + State("three.json", R"({"dsns": [{"name": "Sales", "scope": )"
                                                   R"("user", "driver": ")" + kExcel +
                                                   R"(", "attributes": {"Threads": "3"}}]})"));
  EXPECT_EQ(r.out, "Nothing to change: 1 data source as the state wants it.\n");
  EXPECT_EQ(Slurp(UserFile()), before);
  r = Tabrix("export --user");
  EXPECT_TRUE(Contains(r.out, "[\n          \"Threads\",\n          \"3\"\n        ]")) << r.out;
}

TEST_F(Rules, TheSystemFileIsReadWithUnixOdbcsStricterSecondReader) {
  // Beneath the user file unixODBC skips an indented line of the system file.
  Spit(SystemFile(), "[ODBC Data Sources]\nShared = " + kExcel + "\n\n[Shared]\nDriver = " +
                         kExcel + "\n  Threads = 9\nDBQ = /data/s.xls\n");
  Result r = Tabrix("export --system --format ini");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "[ODBC Data Sources]\nShared = " + kExcel + "\n\n[Shared]\nDriver = " + kExcel +
                       "\nDBQ = /data/s.xls\n");
  EXPECT_FALSE(Contains(Odbcinst("Shared"), "Threads")) << Odbcinst("Shared");
}

TEST_F(Rules, ApplyTellsAChangeOfCaseFromNoChange) {
  ASSERT_EQ(Tabrix("create Sales --user --workbook /data/s.xls").status, 0);
  Result r = Tabrix("apply " + State("case.json", R"({"dsns": [{"name": "Sales", "scope": )"
                                                  R"("user", "driver": ")" + kExcel +
                                                  R"(", "attributes": {"DBQ": "/Data/S.xls"}}]})"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Sales (user): updated\nChanged: 0 created, 1 updated, 0 removed, 0 unchanged.\n");
  EXPECT_TRUE(Contains(Odbcinst("Sales"), "DBQ=/Data/S.xls\n"));
}

TEST_F(Rules, ThePasswordLinesCrIsNotPartOfThePassword) {
  Result r = Tabrix("create Sales --user --workbook /data/s.xls --password-stdin", "s3cret\r\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Contains(Slurp(UserFile()), "PWD = s3cret\n")) << Slurp(UserFile());
  EXPECT_TRUE(Contains(Odbcinst("Sales"), "PWD=s3cret\n"));
}

TEST_F(Rules, AFileOfExactlyTheLimitIsReadAndOneByteMoreIsNot) {
  // Sparse files: blank to unixODBC, read whole by tabrix.
  constexpr off_t kLimit = off_t{256} << 20;
  for (off_t size : {kLimit, kLimit + 1}) {
    ASSERT_EQ(truncate(UserFile().c_str(), 0) == 0 || !fs::exists(UserFile()), true);
    Spit(UserFile(), "");
    ASSERT_EQ(truncate(UserFile().c_str(), size), 0);
    Result r = Tabrix("list --user");
    if (size == kLimit) {
      EXPECT_EQ(r.status, 0) << r.err;
    } else {
      EXPECT_EQ(r.status, 1);
      EXPECT_TRUE(Contains(r.err, "larger than 256 MiB")) << r.err;
    }
  }
  fs::remove(UserFile());
}

TEST_F(Rules, TheDefaultLockWaitOutlastsAShortOne) {
  // Held elsewhere for longer than a short wait would last: tabrix is still waiting, and
  // goes on once the lock is let go. (A lower bound only: a slow machine waits longer.)
  Spit(UserFile(), "");
  const std::string lock = (UserFile().string() + ".lock");
  const std::string holder = "flock " + Quote(lock) + " -c 'sleep 6' &";
  ASSERT_EQ(std::system(holder.c_str()), 0);
  for (int i = 0; i < 100 && std::system(("flock -n " + Quote(lock) + " true").c_str()) == 0; ++i)
    usleep(50 * 1000);
  Result r = Tabrix("create Sales --user --workbook /data/s.xls");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Contains(r.err, "is locked by another process")) << r.err;
  EXPECT_TRUE(Contains(Odbcinst("Sales"), "DBQ=/data/s.xls\n"));
}

}  // namespace

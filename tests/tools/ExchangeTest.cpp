// export and import as their users run them: files compared byte for byte, read back with
// unixODBC's own odbcinst.
#include <sys/stat.h>

#include <filesystem>

#include <nlohmann/json.hpp>

#include "ClientFixture.h"
#include "tests/tools/RoundTripFixture.h"

namespace {

using namespace clienttest;

// A registry file as Windows' reg export writes it: UTF-16LE with a byte-order mark and CRLF.
std::string Utf16(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) {
    if (c == '\n') out += std::string("\r\0", 2);
    out += c;
    out += '\0';
  }
  return out;
}

// A literal's bytes, NULs included.
template <size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

class Exchange : public Client {
 protected:
  std::string In(const std::string& name) const { return Quote((dir / name).string()); }

  // Two user data sources (one with a password) and a system one, made by create.
  void CreateThree() {
    ASSERT_EQ(Tabrix("create Sales --user --workbook /data/Sales.xls --default-dir /data "
                     "--password-stdin",
                     "s3cret\n")
                  .status,
              0);
    ASSERT_EQ(Tabrix("create Books --user --workbook /data/Books.xls --read-only").status, 0);
    ASSERT_EQ(Tabrix("create Plan --workbook /srv/Plan.xls --threads 5").status, 0);
  }

  // Moves the data source files aside, leaving the folder without data sources.
  void Empty(std::string& user, std::string& system) {
    user = Slurp(dir / "odbc.user.ini");
    system = Slurp(dir / "odbc.ini");
    fs::remove(dir / "odbc.user.ini");
    fs::remove(dir / "odbc.ini");
  }
};

TEST_F(Exchange, ExportThenImportGivesTheSameFilesByteForByte) {
  CreateThree();
  for (const char* format : {"json", "reg"}) {
    SCOPED_TRACE(format);
    const std::string file = (dir / (std::string("all.") + format)).string();
    Result r =
        Tabrix(std::string("export --include-passwords --format ") + format + " -o " + Quote(file));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);  // it holds the password

    std::string user, system;
    Empty(user, system);
    r = Tabrix("import " + Quote(file));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Sales (user): created\nBooks (user): created\nPlan (system): created\n");
    EXPECT_EQ(Slurp(dir / "odbc.user.ini"), user);
    EXPECT_EQ(Slurp(dir / "odbc.ini"), system);
  }
  EXPECT_NE(Odbcinst("Sales").find("PWD=s3cret\n"), std::string::npos);

  // A masked export imported over the data sources keeps their passwords: nothing changes.
  std::string user = Slurp(dir / "odbc.user.ini");
  Result masked = Tabrix("export --user -o " + In("masked.json"));
  ASSERT_EQ(masked.status, 0) << masked.err;
  EXPECT_EQ(Slurp(dir / "masked.json").find("s3cret"), std::string::npos);
  masked = Tabrix("import " + In("masked.json"));
  EXPECT_EQ(masked.status, 0) << masked.err;
  EXPECT_EQ(masked.out, "Sales (user): replaced\nBooks (user): replaced\n");
  EXPECT_EQ(Slurp(dir / "odbc.user.ini"), user);

  // One scope as an odbc.ini fragment, which is that scope's file itself.
  Result r = Tabrix("export --user --format ini --include-passwords");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, Slurp(dir / "odbc.user.ini"));
  Spit(dir / "user.ini", r.out);
  std::string system;
  Empty(user, system);
  ASSERT_EQ(Tabrix("import " + In("user.ini") + " --user").status, 0);
  EXPECT_EQ(Slurp(dir / "odbc.user.ini"), user);
  EXPECT_FALSE(fs::exists(dir / "odbc.ini"));
}

// The bytes the Windows build's round trip starts from are what this build writes, and this
// build takes them back to the same files.
TEST_F(Exchange, WritesTheRoundTripFilesTheWindowsBuildImports) {
  Spit(dir / "odbcinst.ini", roundtrip::kDrivers);
  Spit(dir / "odbc.user.ini", roundtrip::kUserIni);
  Spit(dir / "odbc.ini", roundtrip::kSystemIni);
  Result r = Tabrix(roundtrip::kExport + " --format reg");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, roundtrip::RegBytes());
  Spit(dir / "export.reg", r.out);
  r = Tabrix(roundtrip::kExport);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, roundtrip::kJson);
  Spit(dir / "export.json", r.out);
  for (const char* file : {"export.reg", "export.json"}) {
    SCOPED_TRACE(file);
    fs::remove(dir / "odbc.user.ini");
    fs::remove(dir / "odbc.ini");
    ASSERT_EQ(Tabrix("import " + In(file)).status, 0);
    EXPECT_EQ(Slurp(dir / "odbc.user.ini"), roundtrip::kUserIni);
    EXPECT_EQ(Slurp(dir / "odbc.ini"), roundtrip::kSystemIni);
  }
}

TEST_F(Exchange, ExportsEveryValueUnixOdbcReadsInFileOrderWithPasswordsMasked) {
  Spit(dir / "odbc.user.ini",
       "[ODBC Data Sources]\nSales = Microsoft Excel Driver (*.xls)\n\n"
       "[Sales]\nDBQ = C:\\Data\\Sales.xls\nDriver = /opt/odbc/lib/excel.so\nPWD = s3cret\n"
       "Zeta = last\nPWD = second\n\n[Other]\nDriver = Microsoft Access Driver (*.mdb)\n");
  Result r = Tabrix("export --user");
  ASSERT_EQ(r.status, 0) << r.err;
  // Driver names the library here: the description odbcinst.ini gives it is exported.
  auto json = nlohmann::ordered_json::parse(r.out);
  EXPECT_EQ(
      json.dump(),
      R"J({"dsns":[{"name":"Sales","scope":"user","driver":"Microsoft Excel Driver (*.xls)",)J"
      R"J("attributes":[["DBQ","C:\\Data\\Sales.xls"],["PWD","********"],["Zeta","last"]]},)J"
      R"J({"name":"Other","scope":"user",)J"
      R"J("driver":"Microsoft Access Driver (*.mdb)","attributes":[]}]})J");
  EXPECT_EQ(r.out.find("s3cret"), std::string::npos);
  EXPECT_EQ(r.err, "tabrix: warning: " + (dir / "odbc.user.ini").string() +
                       ":9: [Sales] gives \"PWD\" again, which unixODBC does not read (it reads "
                       "the first); exported without it\n");

  r = Tabrix("export Other --user --format ini");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "[ODBC Data Sources]\nOther = Microsoft Access Driver (*.mdb)\n\n"
            "[Other]\nDriver = Microsoft Access Driver (*.mdb)\n");

  r = Tabrix("export Missing");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "tabrix: \"Missing\" is not a data source here (" +
                       (dir / "odbc.user.ini").string() + ", " + (dir / "odbc.ini").string() +
                       ")\n");
  EXPECT_EQ(Tabrix("export --format ini").status, 2);  // one scope's file: which one?
}

TEST_F(Exchange, AFileThatCannotBeReadFailsTheExportInsteadOfLookingEmpty) {
  Spit(dir / "odbc.ini", "Driver = x\n[Plan]\n");  // unixODBC reads nothing from it
  Result r = Tabrix("export");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "tabrix: cannot export the system data sources: " + (dir / "odbc.ini").string() +
                       ":1: text before the first section; unixODBC reads nothing from this "
                       "file\n");
  fs::remove(dir / "odbc.ini");
  fs::create_directory(dir / "odbc.ini");
  r = Tabrix("export --system -o " + In("out.json"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find((dir / "odbc.ini").string()), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir / "out.json"));
}

TEST_F(Exchange, AnExportFileReplacesOnlyARegularFileAndWritesThroughALink) {
  CreateThree();
  // A rename would put a file where a FIFO or a folder is: refused, and they stay.
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  fs::create_directory(dir / "folder");
  for (const char* name : {"fifo", "folder"}) {
    Result r = Tabrix("export --user -o " + In(name));
    EXPECT_EQ(r.status, 1) << name;
    EXPECT_NE(r.err.find("; an export is written to a regular file"), std::string::npos) << r.err;
  }
  EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
  EXPECT_TRUE(fs::is_directory(dir / "folder"));
  EXPECT_TRUE(fs::is_empty(dir / "folder"));
  // A link is written through: it stays a link, its file gets the export.
  Spit(dir / "target.json", "old");
  fs::create_symlink(dir / "target.json", dir / "link.json");
  ASSERT_EQ(Tabrix("export --user -o " + In("link.json")).status, 0);
  EXPECT_TRUE(fs::is_symlink(dir / "link.json"));
  EXPECT_EQ(Slurp(dir / "target.json"), Tabrix("export --user").out);
}

// Written by hand from the format's documentation, as a Windows machine's reg export of
// ODBC.INI: every value type, the desktop driver's engine options in a subkey, a 32-bit data
// source, and one whose driver is not installed here.
const std::string kWindowsExport =
    "Windows Registry Editor Version 5.00\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI]\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources]\n"
    "\"Sales\"=\"Microsoft Excel Driver (*.xls)\"\n"
    "\"Dbf\"=\"Microsoft dBase Driver (*.dbf)\"\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI\\Sales]\n"
    "\"Driver\"=\"C:\\\\Windows\\\\system32\\\\odbcjt32.dll\"\n"
    "\"DBQ\"=\"C:\\\\DATA\\\\Finance\\\\Sales.xls\"\n"
    "\"DefaultDir\"=\"c:\\\\data\\\\Finance\"\n"
    "\"DriverId\"=dword:00000316\n"
    "\"FIL\"=\"excel 8.0;\"\n"
    "\"UID\"=\"\"\n"
    "\"Description\"=hex(2):25,00,55,00,53,00,45,00,52,00,25,00,00,00\n"
    "\"Sheets\"=hex(7):4a,00,61,00,6e,00,00,00,46,00,65,00,62,00,00,00,00,00\n"
    "\"Version\"=hex(b):02,00,00,00,00,00,00,00\n"
    "\"Blob\"=hex:01,02,03,04,05,06,07,08,09\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI\\Sales\\Engines]\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI\\Sales\\Engines\\Excel]\n"
    "\"ImplicitCommitSync\"=\"\"\n"
    "\"MaxScanRows\"=dword:00000008\n"
    "\"FirstRowHasNames\"=hex:01\n"
    "\"Threads\"=dword:00000003\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI\\Dbf]\n"
    "\"Driver\"=\"C:\\\\Windows\\\\system32\\\\odbcjt32.dll\"\n"
    "\"DefaultDir\"=\"C:\\\\Data\"\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\ODBC\\ODBC.INI\\Old]\n"
    "\"Driver\"=\"Microsoft Access Driver (*.mdb)\"\n"
    "\"DBQ\"=\"C:\\\\Database\\\\old.mdb\"\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\ODBC Data Sources]\n"
    "\"Mine\"=\"Microsoft Excel Driver (*.xls)\"\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\Mine]\n"
    "\"Driver\"=\"C:\\\\Windows\\\\system32\\\\odbcjt32.dll\"\n"
    "\"DBQ\"=\"D:\\\\Home\\\\mine.xls\"\n"
    "\n";

TEST_F(Exchange, ImportsAWindowsRegistryExportMappingDriversAndPaths) {
  Spit(dir / "windows.reg", Utf16(kWindowsExport));
  Result r = Tabrix("import " + In("windows.reg") +
                    " --map-path 'C:\\Data=/srv/data' --map-path 'D:\\=/home/'");
  EXPECT_EQ(r.status, 1);  // Dbf's driver is not installed here
  const std::string file = (dir / "windows.reg").string();
  EXPECT_EQ(r.err,
            "tabrix: warning: " + file +
                ":19: \"Blob\" holds binary data that is not a number; odbc.ini cannot hold it; "
                "skipped\n"
                "tabrix: " +
                file +
                ":29: data source \"Dbf\": its driver \"C:\\Windows\\system32\\odbcjt32.dll\" "
                "(listed as \"Microsoft dBase Driver (*.dbf)\") is not a driver defined in " +
                (dir / "odbcinst.ini").string() + "; skipped\n");
  EXPECT_EQ(r.out, "Mine (user): created\nSales (system): created\nOld (system): created\n");
  EXPECT_EQ(Slurp(dir / "odbc.ini"),
            "[ODBC Data Sources]\n"
            "Sales = Microsoft Excel Driver (*.xls)\n"
            "Old = Microsoft Access Driver (*.mdb)\n"
            "\n"
            "[Sales]\n"
            "Driver = Microsoft Excel Driver (*.xls)\n"
            "DBQ = /srv/data/Finance/Sales.xls\n"
            "DefaultDir = /srv/data/Finance\n"
            "DriverId = 790\n"
            "FIL = excel 8.0;\n"
            "UID =\n"
            "Description = %USER%\n"
            "Sheets = Jan;Feb\n"
            "Version = 2\n"
            "ImplicitCommitSync =\n"
            "MaxScanRows = 8\n"
            "FirstRowHasNames = 1\n"
            "Threads = 3\n"
            "\n"
            "[Old]\n"
            "Driver = Microsoft Access Driver (*.mdb)\n"
            "DBQ = C:\\Database\\old.mdb\n");  // C:\Data is not a prefix of C:\Database
  EXPECT_EQ(Slurp(dir / "odbc.user.ini"),
            "[ODBC Data Sources]\nMine = Microsoft Excel Driver (*.xls)\n\n"
            "[Mine]\nDriver = Microsoft Excel Driver (*.xls)\nDBQ = /home/Home/mine.xls\n");
  EXPECT_NE(Odbcinst("Sales").find("DBQ=/srv/data/Finance/Sales.xls\nDefaultDir=/srv/data/Finance"),
            std::string::npos);

  // The same file as REGEDIT4 (ANSI), into the user scope whatever its keys say.
  fs::remove(dir / "odbc.ini");
  fs::remove(dir / "odbc.user.ini");
  std::string ansi = kWindowsExport;
  ansi.replace(0, ansi.find('\n'), "REGEDIT4");
  // Its strings in hex(2) and hex(7) are ANSI, one byte a character.
  auto swap = [&](const std::string& from, const std::string& to) {
    ansi.replace(ansi.find(from), from.size(), to);
  };
  swap("25,00,55,00,53,00,45,00,52,00,25,00,00,00", "25,55,53,45,52,25,00");
  swap("4a,00,61,00,6e,00,00,00,46,00,65,00,62,00,00,00,00,00", "4a,61,6e,00,46,65,62,00,00");
  Spit(dir / "windows4.reg", ansi);
  r = Tabrix("import " + In("windows4.reg") + " --user --dry-run");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(
      r.out.find("Sales (user): would create in " + (dir / "odbc.user.ini").string() +
                 "\n  Driver=Microsoft Excel Driver (*.xls)\n  DBQ=C:\\DATA\\Finance\\Sales.xls\n"),
      std::string::npos)
      << r.out;
  EXPECT_FALSE(fs::exists(dir / "odbc.user.ini"));
  EXPECT_FALSE(fs::exists(dir / "odbc.ini"));
}

TEST_F(Exchange, RefusesHostileFilesNamingTheLineAndChangesNothing) {
  ASSERT_EQ(Tabrix("create Plan --workbook /srv/Plan.xls").status, 0);
  const std::string before = Slurp(dir / "odbc.ini");
  const std::string head =
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI\\Good]\n"
      "\"Driver\"=\"Microsoft Excel Driver (*.xls)\"\n";
  struct Case {
    const char* name;
    std::string bytes;
    std::string expected;  // the message's start after "tabrix: FILE:"
  };
  const std::vector<Case> cases{
      {"outside.reg",
       Utf16(head +
             "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBCINST.INI\\Evil]\n\"Driver\"=\"x\"\n"),
       "6: the key [HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBCINST.INI\\Evil] is not under "},
      {"run.reg",
       Utf16(head + "\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\n"),
       "6: the key [HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run] is not "},
      {"unterminated.reg", Utf16(head + "\"DBQ\"=\"/srv/a.xls\n"), "5: "},
      {"nul.reg", Utf16(head + Bytes("\"DBQ\"=\"a\0b\"\n")), "5: "},
      {"huge.reg", Utf16(head + "\"DBQ\"=\"" + std::string(10 << 20, 'x') + "\"\n"), "5: "},
      {"nul.ini", Bytes("[Good]\nDriver = Microsoft Excel Driver (*.xls)\nDBQ = a\0b\n"),
       "3: a NUL byte; nothing imported\n"},
      {"long.ini", "[Good]\nDBQ = " + std::string(2000, 'x') + "\n",
       "2: a line longer than 999 bytes; nothing imported\n"},
      {"broken.json", "{\"dsns\": [\n  {\"name\": \"Good\",\n  \"scope\": \"user\"\n]}\n",
       "4: syntax error while parsing object - unexpected ']'; expected '}'; nothing imported\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Spit(dir / c.name, c.bytes);
    Result r = Tabrix("import " + In(c.name));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    const std::string lead = "tabrix: " + (dir / c.name).string() + ":" + c.expected;
    EXPECT_EQ(r.err.substr(0, lead.size()), lead);
    EXPECT_NE(r.err.find("; nothing imported\n"), std::string::npos) << r.err;
    EXPECT_EQ(Slurp(dir / "odbc.ini"), before);
    EXPECT_FALSE(fs::exists(dir / "odbc.user.ini"));
  }

  // A value the files cannot hold fails its own data source only.
  Spit(dir / "mixed.json", R"J({"dsns": [
  {"name": "Bad", "scope": "system", "driver": "Microsoft Excel Driver (*.xls)",
   "attributes": [["DBQ", "a\u0000b"]]},
  {"name": "Fine", "scope": "system", "driver": "Microsoft Excel Driver (*.xls)",
   "attributes": {"DBQ": "/srv/fine.xls"}}
]})J");
  Result r = Tabrix("import " + In("mixed.json"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tabrix: " + (dir / "mixed.json").string() +
                       ":2: dsns[0] (\"Bad\"): data source \"Bad\": the value of \"DBQ\" cannot "
                       "be stored: it holds a control character; skipped\n");
  EXPECT_EQ(r.out, "Fine (system): created\n");
  EXPECT_EQ(Odbcinst("Bad").find("DBQ"), std::string::npos);
  EXPECT_NE(Odbcinst("Fine").find("DBQ=/srv/fine.xls\n"), std::string::npos);
}

// A fragment that says two things of one data source is refused where it says the second,
// whatever unixODBC would make of it; a file another tool wrote so is exported as unixODBC
// reads it, and the line it ignores is named.
TEST_F(Exchange, AKeywordOrSectionGivenTwiceIsNamedAtItsLine) {
  const std::string excel = "Microsoft Excel Driver (*.xls)";
  const std::string l3 = "[L3]\nDriver = " + excel + "\nDBQ = /a.xls\n";
  struct Case {
    const char* name;
    std::string text;
    std::string expected;  // after "tabrix: FILE:"
  };
  const std::vector<Case> cases{
      {"keyword.ini", l3 + "Threads = 3\ndbq = /b.xls\n",
       "5: [L3]: \"dbq\" is given a second value (the first at line 3); which one is meant?"},
      {"section.ini", l3 + "\n[Other]\nDriver = " + excel + "\n\n[l3]\nDBQ = /b.xls\n",
       "8: the section [l3] is given again (the first at line 1); which one is meant?"},
      {"listing.ini",
       "[ODBC Data Sources]\nL3 = " + excel + "\nL3 = Microsoft Access Driver (*.mdb)\n\n" + l3,
       "3: [ODBC Data Sources]: \"L3\" is given a second value (the first at line 2); which one "
       "is meant?"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Spit(dir / c.name, c.text);
    Result r = Tabrix("import " + In(c.name) + " --user");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "tabrix: " + (dir / c.name).string() + ":" + c.expected +
                         "; nothing imported\n");
    EXPECT_FALSE(fs::exists(dir / "odbc.user.ini"));
  }
  // Given twice alike, it is one value.
  Spit(dir / "alike.ini", l3 + "DBQ = /a.xls\n");
  Result r = Tabrix("import " + In("alike.ini") + " --user");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Slurp(dir / "odbc.user.ini"),
            "[ODBC Data Sources]\nL3 = " + excel + "\n\n[L3]\nDriver = " + excel +
                "\nDBQ = /a.xls\n");

  Spit(dir / "odbc.user.ini", "[ODBC Data Sources]\nL3 = " + excel + "\n\n" + l3 +
                                  "Threads = 3\nDBQ = /b.xls\n");
  EXPECT_NE(Odbcinst("L3").find("DBQ=/a.xls\n"), std::string::npos);
  const std::string warning = "tabrix: warning: " + (dir / "odbc.user.ini").string() +
                              ":8: [L3] gives \"DBQ\" again, which unixODBC does not read (it "
                              "reads the first); exported without it\n";
  for (const char* format : {"json", "ini"}) {
    SCOPED_TRACE(format);
    r = Tabrix(std::string("export --user --format ") + format);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, warning);
    EXPECT_EQ(r.out.find("/b.xls"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("/a.xls"), std::string::npos) << r.out;
  }
  r = Tabrix("export --user");
  Spit(dir / "out.json", r.out);
  r = Tabrix("apply " + In("out.json"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Nothing to change: 1 data source as the state wants it.\n");
}

}  // namespace

// The tabrix client as its users run it: a process with a private configuration folder,
// its results read back with unixODBC's own odbcinst.
#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "ClientFixture.h"
#include "TabrixVersion.h"

namespace fs = std::filesystem;

namespace {

using namespace clienttest;

TEST_F(Client, CreatesFindsConfiguresAndRemovesThroughTheComponent) {
  Result r = Tabrix(
      "create Sales --user --workbook /data/Sales.xls --default-dir '/data/' "
      "--description 'Monthly figures' --read-only --max-scan-rows -1");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Odbcinst("Sales"),
            "[Sales]\nDriver=Microsoft Excel Driver (*.xls)\nDBQ=/data/Sales.xls\n"
            "DefaultDir=/data/\nDescription=Monthly figures\nFIL=Excel 8.0\nUID=admin\nPWD=\n"
            "ImplicitCommitSync=\nReadOnly=1\nFirstRowHasNames=1\nMaxScanRows=-1\n"
            "SafeTransactions=0\nThreads=3\nUserCommitSync=No\n");

  EXPECT_EQ(Tabrix("find Sales").status, 0);
  EXPECT_EQ(Tabrix("find Sales --system").status, 1);
  EXPECT_EQ(Tabrix("--user find Sales").status, 2);  // options belong to the verb

  r = Tabrix("create Sales --user");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("exists already"), std::string::npos) << r.err;

  // configure changes what it is told and keeps the rest
  ASSERT_EQ(Tabrix("configure --threads 5 Sales --user --no-read-only").status, 0);
  std::string shown = Odbcinst("Sales");
  EXPECT_NE(shown.find("Threads=5\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("ReadOnly=0\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Description=Monthly figures\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("MaxScanRows=-1\n"), std::string::npos) << shown;

  ASSERT_EQ(Tabrix("remove Sales --user").status, 0);
  EXPECT_EQ(Tabrix("find Sales").status, 1);
  r = Tabrix("remove Sales --user");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("does not exist"), std::string::npos) << r.err;
}

TEST_F(Client, CreatesDataSourcesOfTheOtherDriversThroughTheLibrary) {
  std::ofstream(dir / "odbcinst.ini", std::ios::app)
      << "\n[Microsoft Text Driver (*.txt, *.csv)]\nDriver = /opt/odbc/lib/text.so\n"
         "\n[Microsoft dBase Driver (*.dbf)]\nDriver = /opt/odbc/lib/dbase.so\n"
         "\n[Microsoft Visual FoxPro Driver (*.dbf)]\nDriver = /opt/odbc/lib/foxpro.so\n"
         "\n[Microsoft Paradox Driver (*.db )]\nDriver = /opt/odbc/lib/paradox.so\n";
  // Only the options given are added, spelt as the component spells them.
  Result r = Tabrix(
      "create Exports --user --driver text --default-dir /data/csv --description 'CSV exports' "
      "--max-scan-rows 40 --no-first-row-has-names --read-only");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Odbcinst("Exports"),
            "[Exports]\nDriver=Microsoft Text Driver (*.txt, *.csv)\nDBQ=\nDefaultDir=/data/csv\n"
            "Description=CSV exports\nFIL=\nUID=\nPWD=\nReadOnly=1\nFirstRowHasNames=0\n"
            "MaxScanRows=40\n");
  r = Tabrix("create Ledger --user --driver foxpro --workbook /data/ledger --uid clerk");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Odbcinst("Ledger"),
            "[Ledger]\nDriver=Microsoft Visual FoxPro Driver (*.dbf)\nDBQ=/data/ledger\n"
            "DefaultDir=\nDescription=\nFIL=FoxPro Tables\nUID=clerk\nPWD=\n");
  EXPECT_EQ(Tabrix("find Ledger").status, 0);

  // An add never replaces one that exists, whichever driver it is of.
  r = Tabrix("create Ledger --user --driver dbase");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("the user data source \"Ledger\" exists already"), std::string::npos)
      << r.err;
  EXPECT_NE(Odbcinst("Ledger").find("Visual FoxPro"), std::string::npos);

  // What means nothing to the driver is refused, named, and nothing is written.
  r = Tabrix("create Tables --user --driver dbase --max-scan-rows 3 --excel-version Excel97");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--excel-version, --max-scan-rows mean nothing to the data sources of "
                       "\"Microsoft dBase Driver (*.dbf)\""),
            std::string::npos)
      << r.err;
  EXPECT_EQ(Tabrix("find Tables").status, 1);
  EXPECT_EQ(Tabrix("create Tables --user --driver foxpro --threads 2").status, 2);
  EXPECT_EQ(Tabrix("create Tables --user --driver sybase").status, 2);

  r = Tabrix("create Tables --driver paradox --dry-run --default-dir /data/px");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("driver:     Microsoft Paradox Driver (*.db )"), std::string::npos) << r.out;
  EXPECT_EQ(Tabrix("find Tables --system").status, 1);
}

TEST_F(Client, ADryRunShowsWhatWouldBeSentAndChangesNothing) {
  Result r =
      Tabrix("create Sales --dry-run --workbook /data/Sales.xls --password-stdin", "s3cret\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("request:    4 (ODBC_ADD_SYS_DSN)\n"
                       "driver:     Microsoft Excel Driver (*.xls)\n"
                       "attributes:\n  DSN=Sales\n  Driver=/opt/odbc/lib/excel.so\n"
                       "  DBQ=/data/Sales.xls\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("  PWD=********\n"), std::string::npos);
  EXPECT_EQ(r.out.find("s3cret"), std::string::npos);
  EXPECT_NE(r.out.find("target:     " + (dir / "odbc.ini").string() + ", section [Sales]\n"),
            std::string::npos)
      << r.out;
  EXPECT_FALSE(fs::exists(dir / "odbc.ini"));

  r = Tabrix("create 'Bad]Name' --dry-run --json");
  EXPECT_EQ(r.status, 1);
  auto json = nlohmann::json::parse(r.out);
  EXPECT_EQ(json["ok"], false);
  EXPECT_EQ(json["reason"], "invalid data source name \"Bad]Name\": it holds the character ']'");
}

TEST_F(Client, PasswordsComeFromStandardInputOrTheEnvironmentOnly) {
  ASSERT_EQ(Tabrix("create A --user --password-stdin", "from stdin\n").status, 0);
  EXPECT_NE(Odbcinst("A").find("PWD=from stdin\n"), std::string::npos);
  setenv("TABRIX_PASSWORD", "from env", 1);
  ASSERT_EQ(Tabrix("create B --user").status, 0);
  EXPECT_NE(Odbcinst("B").find("PWD=from env\n"), std::string::npos);
  Result r = Tabrix("create C --user --password x");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--password"), std::string::npos) << r.err;
}

TEST_F(Client, UsageErrorsNameTheOptionAndItsValues) {
  Result r = Tabrix("create X --excel-version Excel9");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--excel-version: Excel9 not in "
                       "{Excel3,Excel4,Excel5,Excel95,Excel97,Excel2000}"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(Tabrix("create X --threads many").status, 2);
  EXPECT_EQ(Tabrix("list --user --system").status, 2);
  EXPECT_EQ(Tabrix("frobnicate").status, 2);
  EXPECT_EQ(Tabrix("create").status, 2);
  r = Tabrix("create --help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("--workbook"), std::string::npos);
}

TEST_F(Client, VersionAndHelpNameTheReleaseAndWhereDataSourcesAreKept) {
  Result r = Tabrix("--version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "tabrix " TABRIX_VERSION "\n");
  r = Tabrix("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("\nFiles: unixODBC's own (odbcinst -j shows them), or with --config-dir DIR "
                       "the folder's odbcinst.ini, odbc.ini and odbc.user.ini.\n"),
            std::string::npos)
      << r.out;
}

TEST_F(Client, ListsEveryDataSourceAlsoInLargeFiles) {
  // More than unixODBC's own listings can show.
  std::ofstream user(dir / "odbc.user.ini");
  user << "[ODBC Data Sources]\n";
  for (int i = 0; i < 3000; ++i)
    user << "\n[U" << i << "]\nDriver = Microsoft Excel Driver (*.xls)\n";
  user.close();
  ASSERT_EQ(Tabrix("create Shared").status, 0);

  Result r = Tabrix("list --json");
  ASSERT_EQ(r.status, 0) << r.err;
  auto dsns = nlohmann::ordered_json::parse(r.out)["dsns"];
  ASSERT_EQ(dsns.size(), 3001u);
  EXPECT_EQ(dsns[2999].dump(),
            R"j({"name":"U2999","scope":"user","driver":"Microsoft Excel Driver (*.xls)"})j");
  EXPECT_EQ(dsns[3000]["scope"], "system");
  EXPECT_EQ(r.err, "");  // no progress on a pipe

  r = Tabrix("list --system");
  EXPECT_EQ(r.out,
            "NAME    SCOPE   DRIVER\n"
            "Shared  system  Microsoft Excel Driver (*.xls)\n");
}

// Files written by hand are read as unixODBC reads them: the first section of a name in any
// case, the first of each keyword, the system file beneath the user's by the reader that skips
// indented lines. Messages name each section as its file spells it.
TEST_F(Client, ReadsHandWrittenFilesAsUnixOdbcDoesAndNamesSectionsAsTheyAreSpelt) {
  const std::string excel = "Microsoft Excel Driver (*.xls)";
  const std::string user = (dir / "odbc.user.ini").string(), system = (dir / "odbc.ini").string();
  Spit(user, "[ODBC Data Sources]\nSALES = " + excel + "\nStale = " + excel + "\n\n[SALES]\n" +
                 "Driver = " + excel + "\ndriver = Other\n\n[]\n\n[sales]\nDriver = Never\n");
  Spit(system, "[Books]\n  Driver = Indented\nDriver = Microsoft Access Driver (*.mdb)\n");

  Result r = Tabrix("list");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "NAME   SCOPE   DRIVER\nSALES  user    " + excel +
                       "\nBooks  system  Microsoft Access Driver (*.mdb)\n");
  EXPECT_EQ(r.err, "tabrix: warning: the user data sources hold a section with no name (" + user +
                       "); unixODBC's listings end there\n");

  r = Tabrix("find sales");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "sales: found among user data sources (" + user + ", section [SALES])\n" +
                       "sales: not found among system data sources (" + system + ")\n");
  r = Tabrix("configure Gone --user --threads 2");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tabrix: cannot configure user data source \"Gone\": it does not exist (" +
                       user + ", section [Gone])\n");
  r = Tabrix("register-mdw sales /x.mdw");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "sales: SystemDB=/x.mdw (" + user + ", section [SALES])\n");
  EXPECT_NE(Odbcinst("SALES").find("SystemDB=/x.mdw\n"), std::string::npos) << Odbcinst("SALES");

  // A listing line without its section is found by remove alone, in any case.
  r = Tabrix("configure stale --user --threads 2");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("it does not exist (" + user + ", section [stale])"), std::string::npos)
      << r.err;
  r = Tabrix("remove stale --user");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Slurp(user).find("Stale ="), std::string::npos) << Slurp(user);
  EXPECT_EQ(Tabrix("find Stale --user").status, 1);
}

TEST_F(Client, DriversShowWhatIsInstalled) {
  Result r = Tabrix("drivers --json");
  ASSERT_EQ(r.status, 0);
  auto drivers = nlohmann::json::parse(r.out)["drivers"];
  ASSERT_EQ(drivers.size(), 6u);
  EXPECT_EQ(drivers[1]["description"], "Microsoft Excel Driver (*.xls)");
  EXPECT_EQ(drivers[1]["driver"], "/opt/odbc/lib/excel.so");
  EXPECT_EQ(drivers[2]["installed"], false);
  EXPECT_NE(Tabrix("drivers").out.find("not installed"), std::string::npos);
}

TEST_F(Client, RegistersWorkgroupFilesAndWarnsOfMissingOnes) {
  ASSERT_EQ(Tabrix("create Books --user").status, 0);
  Result r = Tabrix("register-mdw Books /nowhere/System.mdw");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("warning: /nowhere/System.mdw does not exist"), std::string::npos);
  EXPECT_NE(Odbcinst("Books").find("SystemDB=/nowhere/System.mdw\n"), std::string::npos);
  EXPECT_EQ(Tabrix("register-mdw Books /x.mdw --system").status, 1);
  EXPECT_EQ(Tabrix("register-mdw Books ''").status, 2);  // a usage error, like an empty NAME
}

}  // namespace

namespace {

using namespace clienttest;

const char* kForm = R"(object SetupForm: TSetupForm
  Caption = 'Set-up'
  object Panel1: TPanel
    object First: TTabrixCreator
      Action = ADD_DSN
      DSNNameOrAlias = 'First'
      Password = 'hidden'
    end
  end
  object Second: TTabrixCreator
    Action = ADD_DSN
    DSNNameOrAlias = 'Second'
    MaxScanRows = %s
  end
end
)";

std::string Form(const std::string& maxScanRows) {
  char buf[1024];
  std::snprintf(buf, sizeof buf, kForm, maxScanRows.c_str());
  return buf;
}

TEST_F(Client, RunExecutesEveryCreatorOfAFormInOrder) {
  std::ofstream(dir / "Setup.dfm") << Form("-1");
  Result r = Tabrix("run " + (dir / "Setup.dfm").string());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find("First: create: user data source \"First\""), 0u) << r.out;
  EXPECT_NE(r.out.find("\nSecond: create: user data source \"Second\""), std::string::npos);
  EXPECT_NE(Odbcinst("First").find("PWD=hidden\n"), std::string::npos);
  EXPECT_NE(Odbcinst("Second").find("MaxScanRows=-1\n"), std::string::npos);

  r = Tabrix("run --json " + (dir / "Setup.dfm").string());  // both exist now
  EXPECT_EQ(r.status, 1);
  auto results = nlohmann::json::parse(r.out)["results"];
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0]["component"], "First");
  EXPECT_EQ(results[1]["ok"], false);
}

TEST_F(Client, RunChecksTheWholeFileBeforeExecutingAnything) {
  std::ofstream(dir / "Setup.dfm") << Form("'eight'");
  Result r = Tabrix("run " + (dir / "Setup.dfm").string());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tabrix: " + (dir / "Setup.dfm").string() +
                       ":13: MaxScanRows takes a value of type Integer\n");
  EXPECT_FALSE(fs::exists(dir / "odbc.user.ini"));  // First was not created either

  const std::string broken = (dir / "Broken.dfm").string();
  std::ofstream(broken) << "object F: TF\n  object C: TTabrixCreator\n    Colour = 1\n  end\nend\n";
  r = Tabrix("run " + broken);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tabrix: " + broken + ":3: unknown property Colour of TTabrixCreator\n");
  std::ofstream(broken) << "object F: TF\n  object C: TTabrixCreator\n";  // no end
  EXPECT_EQ(Tabrix("run " + broken).status, 1);

  std::ofstream(dir / "Dry.dfm") << Form("4");
  r = Tabrix("run --dry-run " + (dir / "Dry.dfm").string());
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("  PWD=********\n"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "odbc.user.ini"));
}

}  // namespace

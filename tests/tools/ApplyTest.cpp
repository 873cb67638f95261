// apply as configuration-management engines run it: a desired state in, the files made to
// match, and the same state again changing nothing.
#include <nlohmann/json.hpp>

#include "ClientFixture.h"

namespace {

using namespace clienttest;

class Apply : public Client {
 protected:
  std::string In(const std::string& name) const { return Quote((dir / name).string()); }
};

const std::string kState = R"J({"dsns": [
  {"name": "Sales", "scope": "user", "driver": "Microsoft Excel Driver (*.xls)",
   "attributes": [["DBQ", "/data/Sales2.xls"], ["PWD", "********"], ["Threads", "3"]],
   "state": "present"},
  {"name": "New", "scope": "user", "driver": "Microsoft Access Driver (*.mdb)",
   "attributes": {"DBQ": "/data/new.mdb", "PWD": "n3w"}},
  {"name": "Books", "scope": "user", "state": "absent"},
  {"name": "Plan", "scope": "system", "driver": "Microsoft Excel Driver (*.xls)",
   "attributes": [["Threads", "5"]]},
  {"name": "Gone", "scope": "system", "state": "absent"}
]}
)J";

TEST_F(Apply, CreatesChangesAndRemovesOnlyWhatDiffersThenFindsNothingToDo) {
  ASSERT_EQ(
      Tabrix("create Sales --user --workbook /data/Sales.xls --password-stdin", "s3cret\n").status,
      0);
  ASSERT_EQ(Tabrix("create Books --user --workbook /data/Books.xls").status, 0);
  ASSERT_EQ(Tabrix("create Plan --workbook /srv/Plan.xls --threads 5").status, 0);
  Spit(dir / "state.json", kState);
  const std::string user = Slurp(dir / "odbc.user.ini");
  const std::string system = Slurp(dir / "odbc.ini");

  // --check says what would be done and changes nothing.
  Result r = Tabrix("apply " + In("state.json") + " --check --diff");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "Sales (user): would be updated\n"
            "  DBQ: \"/data/Sales.xls\" -> \"/data/Sales2.xls\"\n"
            "New (user): would be created\n"
            "  Driver: (none) -> \"Microsoft Access Driver (*.mdb)\"\n"
            "  DBQ: (none) -> \"/data/new.mdb\"\n"
            "  PWD: (none) -> \"********\"\n"
            "Books (user): would be removed\n"
            "  Driver: \"Microsoft Excel Driver (*.xls)\" -> (none)\n"
            "  DBQ: \"/data/Books.xls\" -> (none)\n"
            "  DefaultDir: \"C:\\\" -> (none)\n"
            "  Description: \"New Tabrix Description\" -> (none)\n"
            "  FIL: \"Excel 8.0\" -> (none)\n"
            "  UID: \"admin\" -> (none)\n"
            "  PWD: \"\" -> (none)\n"
            "  ImplicitCommitSync: \"\" -> (none)\n"
            "  ReadOnly: \"0\" -> (none)\n"
            "  FirstRowHasNames: \"1\" -> (none)\n"
            "  MaxScanRows: \"8\" -> (none)\n"
            "  SafeTransactions: \"0\" -> (none)\n"
            "  Threads: \"3\" -> (none)\n"
            "  UserCommitSync: \"No\" -> (none)\n"
            "Would change: 1 created, 1 updated, 1 removed, 2 unchanged.\n");
  EXPECT_EQ(r.out.find("s3cret"), std::string::npos);
  EXPECT_EQ(r.out.find("n3w"), std::string::npos);
  EXPECT_EQ(Slurp(dir / "odbc.user.ini"), user);
  EXPECT_EQ(Slurp(dir / "odbc.ini"), system);

  r = Tabrix("apply " + In("state.json") + " --json");
  ASSERT_EQ(r.status, 0) << r.err;
  auto json = nlohmann::ordered_json::parse(r.out);
  EXPECT_EQ(json["changed"], true);
  std::string actions;
  for (const auto& d : json["dsns"])
    actions += d["name"].get<std::string>() + "/" + d["scope"].get<std::string>() + "=" +
               d["action"].get<std::string>() + " ";
  EXPECT_EQ(actions,
            "Sales/user=updated New/user=created Books/user=removed Plan/system=unchanged "
            "Gone/system=unchanged ");
  EXPECT_EQ(json["dsns"][0]["changes"].dump(),
            R"([{"key":"DBQ","before":"/data/Sales.xls","after":"/data/Sales2.xls"}])");
  EXPECT_EQ(json["dsns"][1]["changes"][2].dump(),
            R"({"key":"PWD","before":null,"after":"********"})");
  EXPECT_EQ(r.out.find("n3w"), std::string::npos);

  // Only the key that differed changed; the masked password kept the stored one.
  std::string sales = Odbcinst("Sales");
  EXPECT_NE(sales.find("DBQ=/data/Sales2.xls\n"), std::string::npos) << sales;
  EXPECT_NE(sales.find("PWD=s3cret\n"), std::string::npos) << sales;
  EXPECT_NE(sales.find("UserCommitSync=No\n"), std::string::npos) << sales;
  EXPECT_EQ(Odbcinst("New"),
            "[New]\nDriver=Microsoft Access Driver (*.mdb)\nDBQ=/data/new.mdb\n"
            "PWD=n3w\n");
  int status = 0;
  Odbcinst("Books", &status);
  EXPECT_NE(status, 0);
  EXPECT_EQ(Slurp(dir / "odbc.ini"), system);
  // In the file: the changed line in place, the removed section and listing line gone, the
  // new one at the end.
  std::string expected = user.substr(0, user.find("[Books]"));
  auto swap = [&](const std::string& from, const std::string& to) {
    ASSERT_NE(expected.find(from), std::string::npos) << from;
    expected.replace(expected.find(from), from.size(), to);
  };
  swap("Books = Microsoft Excel Driver (*.xls)\n", "New = Microsoft Access Driver (*.mdb)\n");
  swap("DBQ = /data/Sales.xls\n", "DBQ = /data/Sales2.xls\n");
  expected += "[New]\nDriver = Microsoft Access Driver (*.mdb)\nDBQ = /data/new.mdb\nPWD = n3w\n";
  EXPECT_EQ(Slurp(dir / "odbc.user.ini"), expected);

  // Idempotent: the second run changes nothing and says so.
  const std::string after = Slurp(dir / "odbc.user.ini");
  r = Tabrix("apply " + In("state.json") + "");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Nothing to change: 5 data sources as the state wants them.\n");
  r = Tabrix("apply - --json", kState);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(nlohmann::json::parse(r.out)["changed"], false);
  EXPECT_EQ(Slurp(dir / "odbc.user.ini"), after);
}

TEST_F(Apply, AnExportAppliedChangesNothingAndADriverChangeMovesItsListingLine) {
  ASSERT_EQ(
      Tabrix("create Sales --user --workbook /data/Sales.xls --password-stdin", "s3cret\n").status,
      0);
  ASSERT_EQ(Tabrix("create Plan --workbook /srv/Plan.xls").status, 0);
  Result r = Tabrix("export");
  ASSERT_EQ(r.status, 0) << r.err;
  Spit(dir / "state.json", r.out);
  const std::string user = Slurp(dir / "odbc.user.ini");
  r = Tabrix("apply " + In("state.json") + "");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Nothing to change: 2 data sources as the state wants them.\n");
  EXPECT_EQ(Slurp(dir / "odbc.user.ini"), user);

  Spit(dir / "access.json", R"J({"dsns": [{"name": "Sales", "scope": "user",
                                             "driver": "microsoft access driver (*.mdb)"}]})J");
  r = Tabrix("apply " + In("access.json") + " --diff");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "Sales (user): updated\n"
            "  Driver: \"Microsoft Excel Driver (*.xls)\" -> \"Microsoft Access Driver (*.mdb)\"\n"
            "  ODBC Data Sources: \"Microsoft Excel Driver (*.xls)\" -> \"Microsoft Access "
            "Driver (*.mdb)\"\n"
            "Changed: 0 created, 1 updated, 0 removed, 0 unchanged.\n");
  EXPECT_NE(Slurp(dir / "odbc.user.ini")
                .find("[ODBC Data Sources]\nSales = Microsoft Access Driver (*.mdb)\n\n[Sales]\n"
                      "Driver = Microsoft Access Driver (*.mdb)\nDBQ = /data/Sales.xls\n"),
            std::string::npos)
      << Slurp(dir / "odbc.user.ini");
}

TEST_F(Apply, WhatCannotBeAppliedFailsAloneAndAMalformedStateNothing) {
  Spit(dir / "mixed.json", R"J({"dsns": [
  {"name": "Odd", "scope": "user", "driver": "Microsoft Paradox Driver (*.db )"},
  {"name": "Bad]Name", "scope": "user", "driver": "Microsoft Excel Driver (*.xls)"},
  {"name": "Fine", "scope": "user", "driver": "Microsoft Excel Driver (*.xls)"}
]})J");
  Result r = Tabrix("apply " + In("mixed.json") + " --json");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "tabrix: user data source \"Odd\": the driver \"Microsoft Paradox Driver (*.db )\" "
            "is not defined in " +
                (dir / "odbcinst.ini").string() +
                "\n"
                "tabrix: user data source \"Bad]Name\": invalid data source name \"Bad]Name\": it "
                "holds the character ']'\n");
  auto json = nlohmann::ordered_json::parse(r.out);
  EXPECT_EQ(json["changed"], true);
  EXPECT_EQ(json["dsns"][0]["action"], "failed");
  EXPECT_EQ(json["dsns"][2]["action"], "created");
  EXPECT_EQ(Odbcinst("Fine"), "[Fine]\nDriver=Microsoft Excel Driver (*.xls)\n");
  r = Tabrix("apply " + In("mixed.json"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Changed: 0 created, 0 updated, 0 removed, 1 unchanged, 2 failed.\n");

  const std::string user = Slurp(dir / "odbc.user.ini");
  struct Case {
    std::string state, message;
  };
  const std::vector<Case> cases{
      {"{\"dsns\": [\n  {\"name\": \"A\",\n   \"scope\": \"user\",,\n]}\n",
       ":3: syntax error while parsing object key - unexpected ','; expected string "
       "literal; nothing applied\n"},
      {"{\"dsns\": [{\"name\": \"A\", \"scope\": \"everyone\", \"driver\": \"x\"}]}",
       ":1: dsns[0]: \"scope\" must be \"user\" or \"system\", not \"everyone\"; nothing "
       "applied\n"},
      {"{\"dsns\": [{\"name\": \"Fine\", \"state\": \"gone\"}]}",
       ":1: dsns[0]: \"state\" must be \"present\" or \"absent\", not \"gone\"; nothing "
       "applied\n"},
      {"{\"dsns\": [{\"name\": \"Fine\", \"scope\": \"user\", \"state\": \"absent\"},\n"
       "{\"name\": \"fine\", \"scope\": \"user\", \"driver\": \"Microsoft Excel Driver "
       "(*.xls)\"}]}",
       ":2: dsns[1] (\"fine\"): given twice in one scope; nothing applied\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    Spit(dir / "state.json", c.state);
    r = Tabrix("apply " + In("state.json") + "");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "tabrix: " + (dir / "state.json").string() + c.message);
    EXPECT_EQ(Slurp(dir / "odbc.user.ini"), user);
  }
}

}  // namespace

namespace {

using namespace clienttest;

TEST_F(Apply, KeepsTheFileAsItIsWrittenLineEndsCommentsAndRepeatedSections) {
  Spit(dir / "odbc.user.ini",
       "; kept by hand\r\n[ODBC Data Sources]\r\nA = Microsoft Excel Driver (*.xls)\r\n"
       "B = Microsoft Excel Driver (*.xls)\r\n\r\n"
       "[A]\r\nDriver = Microsoft Excel Driver (*.xls)\r\n# the workbook\r\nDBQ=/a.xls\r\n"
       "Threads = 3\r\n\r\n"
       "[B]\r\nDriver = Microsoft Excel Driver (*.xls)\r\n\r\n"
       "[a]\r\nDBQ = /unread.xls\r\n");
  Spit(dir / "state.json", R"J({"dsns": [
    {"name": "A", "scope": "user", "driver": "Microsoft Excel Driver (*.xls)",
     "attributes": {"DBQ": "/a2.xls", "Threads": "3"}},
    {"name": "B", "scope": "user", "state": "absent"},
    {"name": "C", "scope": "user", "driver": "Microsoft Excel Driver (*.xls)"}]})J");
  Result r = Tabrix("apply " + Quote((dir / "state.json").string()));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "A (user): updated\nB (user): removed\nC (user): created\n"
            "Changed: 1 created, 1 updated, 1 removed, 0 unchanged.\n");
  EXPECT_EQ(Slurp(dir / "odbc.user.ini"),
            "; kept by hand\r\n[ODBC Data Sources]\r\nA = Microsoft Excel Driver (*.xls)\r\n"
            "C = Microsoft Excel Driver (*.xls)\r\n\r\n"
            "[A]\r\nDriver = Microsoft Excel Driver (*.xls)\r\n# the workbook\r\nDBQ = /a2.xls\r\n"
            "Threads = 3\r\n\r\n"
            "[a]\r\nDBQ = /unread.xls\r\n"
            "\r\n[C]\r\nDriver = Microsoft Excel Driver (*.xls)\r\n");
}

}  // namespace

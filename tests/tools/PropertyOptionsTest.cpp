// create's and configure's options against the creator component's own tables: one option for
// every published property, each parsed as its kind says and spelt in the attribute list as the
// component spells it, so a property the component gains or changes cannot be missed here.
#include <map>
#include <sstream>
#include <vector>

#include "ClientFixture.h"
#include "component/TabrixCreateUnit.h"

namespace {

using namespace clienttest;
using namespace TabrixCreateUnit;

struct HelpOption {
  std::string spec;         // "--read-only,--no-read-only{false}", "--threads INT:INTEGER"
  std::string description;  // "optThreads"
};

// The "Options:" block of a verb's help; a description too long for its line is on the next.
std::vector<HelpOption> HelpOptions(const std::string& help) {
  std::vector<std::string> lines;
  std::istringstream in(help.substr(help.find("Options:")));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::vector<HelpOption> options;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.rfind("  -", 0) != 0) continue;
    const bool inLine = line.size() > 30 && line[29] == ' ';
    const std::string rest = inLine ? line : (i + 1 < lines.size() ? lines[i + 1] : "");
    options.push_back({line.substr(2, line.find_last_not_of(' ', inLine ? 29 : line.size()) - 1),
                       rest.size() > 30 ? rest.substr(30) : ""});
  }
  return options;
}

std::vector<const platform::TPropInfo*> OptionProperties() {
  std::vector<const platform::TPropInfo*> properties;
  for (const platform::TPropInfo& p : TTabrixCreator::StaticClass().Properties)
    if (p.Kind != platform::tkClass && p.Name != "Action" && p.Name != "DSNNameOrAlias")
      properties.push_back(&p);
  return properties;
}

// The help's word for a property is its description's first word.
std::string FirstWord(const std::string& description) {
  return description.substr(0, description.find_first_of(" :"));
}

TEST_F(Client, CreateAndConfigureHaveOneOptionForEveryPublishedProperty) {
  for (const char* verb : {"create", "configure"}) {
    Result r = Tabrix(std::string(verb) + " --help");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<HelpOption> options = HelpOptions(r.out);
    std::map<std::string, std::vector<std::string>> byProperty;
    for (const HelpOption& o : options) byProperty[FirstWord(o.description)].push_back(o.spec);
    size_t seen = 0;
    for (const platform::TPropInfo* p : OptionProperties()) {
      ASSERT_EQ(byProperty[p->Name].size(), 1u) << verb << ": " << p->Name;
      const std::string& spec = byProperty[p->Name][0];
      if (p->TypeName == "Boolean") {
        EXPECT_NE(spec.find(",--no-"), std::string::npos) << spec;
      } else if (p->Kind == platform::tkEnumeration) {
        std::string members;
        for (const std::string& m : p->EnumNames) members += (members.empty() ? "" : ",") + m;
        EXPECT_NE(spec.find(":{" + members + "}"), std::string::npos) << spec;
      } else if (p->Kind == platform::tkInteger) {
        EXPECT_NE(spec.find(" INT:INTEGER"), std::string::npos) << spec;
      }
      ++seen;
    }
    // In the component's order, and none for a property it does not have.
    std::vector<std::string> order;
    for (const HelpOption& o : options)
      if (GetPropInfo(TTabrixCreator::StaticClass(), FirstWord(o.description)))
        order.push_back(FirstWord(o.description));
    std::vector<std::string> expected;
    for (const platform::TPropInfo* p : OptionProperties()) expected.push_back(p->Name);
    EXPECT_EQ(order, expected) << verb;
    EXPECT_EQ(seen, expected.size());
  }
}

// Every option set to a value other than the component's own, through each kind's syntax.
const std::string kEveryOption =
    "--description 'Ledger of 2026' --workbook /data/Books.xls --default-dir 'C:\\data\\' "
    "--uid clerk --password-stdin --max-scan-rows 010 --excel-version Excel3 "
    "--implicit-commit-sync 'Yes please' --read-only --no-first-row-has-names "
    "--safe-transactions +4 --threads -2 --user-commit-sync";

void SetEveryOption(TTabrixCreator& c) {
  c.SetDSNUserDescription("Ledger of 2026");
  c.SetDatabasePath("/data/Books.xls");
  c.SetDefaultDir("C:\\data\\");
  c.SetUserID("clerk");
  c.SetPassword("s3cret");
  c.SetMaxScanRows(10);
  c.SetoptExcelVersion(Excel3);
  c.SetoptImplitCommitSync("Yes please");
  c.SetoptDSNReadOnly(true);
  c.SetoptFirstRowHasNames(false);
  c.SetoptSafeTransactions(4);
  c.SetoptThreads(-2);
  c.SetoptUserCommitSync(true);
}

// The attribute lines of a dry run, "  KEY=VALUE" each.
std::vector<std::string> SentPairs(const std::string& out) {
  std::vector<std::string> pairs;
  std::istringstream in(out.substr(out.find("attributes:\n") + 12));
  for (std::string line; std::getline(in, line) && line.rfind("  ", 0) == 0;)
    pairs.push_back(line.substr(2));
  return pairs;
}

std::string Pair(const TDataSourceValue& value, const TTabrixCreator& c) {
  const std::string spelt = value.Spell(c);
  return std::string(value.Keyword) + "=" +
         (std::string(value.Keyword) == "PWD" ? "********" : spelt);
}

TEST_F(Client, EveryOptionReachesTheAttributeListAsTheComponentSpellsIt) {
  TTabrixCreator expected(nullptr);
  SetEveryOption(expected);
  ASSERT_EQ(Tabrix("create Books --user --workbook /data/Books.xls").status, 0);

  // configure sends exactly the pairs of the options given, in the component's order.
  Result r = Tabrix("configure Books --user --dry-run " + kEveryOption, "s3cret\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err,
            "tabrix: warning: --excel-version is not stored in a data source; it "
            "changes nothing here\n");
  std::vector<std::string> want{"DSN=Books"};
  for (const TDataSourceValue& value : DataSourceValues()) want.push_back(Pair(value, expected));
  EXPECT_EQ(SentPairs(r.out), want) << r.out;

  // create sends them all through the component.
  r = Tabrix("create New --user --dry-run " + kEveryOption, "s3cret\n");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> sent = SentPairs(r.out);
  for (const TDataSourceValue& value : DataSourceValues())
    EXPECT_NE(std::find(sent.begin(), sent.end(), Pair(value, expected)), sent.end())
        << Pair(value, expected) << "\n"
        << r.out;
  EXPECT_EQ(expected.GetDefaultDir(), "C:\\data");
}

TEST_F(Client, CreateForAnotherDriverSpellsItsValuesAsTheComponentDoes) {
  Spit(dir / "odbcinst.ini", testsupport::DesktopDrivers());
  // One trailing backslash of --default-dir goes, as for Excel; a value not given stays empty.
  Result r = Tabrix(
      "create Ledger --user --driver access --default-dir 'C:\\books\\' --threads 4"
      " --no-read-only");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Odbcinst("Ledger"),
            "[Ledger]\nDriver=Microsoft Access Driver (*.mdb)\nDBQ=\nDefaultDir=C:\\books\n"
            "Description=\nFIL=MS Access\nUID=\nPWD=\nReadOnly=0\nThreads=4\n");

  // What no data source stores comes first among the refused, then the component's order.
  r = Tabrix(
      "create Tables --user --driver foxpro --user-commit-sync --threads 2 "
      "--excel-version Excel97 --first-row-has-names");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err,
            "tabrix: create --driver foxpro: --excel-version, --first-row-has-names, --threads, "
            "--user-commit-sync mean nothing to the data sources of \"Microsoft Visual FoxPro "
            "Driver (*.dbf)\"\n");
  EXPECT_EQ(Odbcinst("Tables").find("[Tables]"), std::string::npos);
}

}  // namespace

// The bash completion as bash runs it: the script sourced, its function called with the words
// of a command line, its answers compared with the client's help and with `tabrix list`.
#include <vector>

#include "InstallFixture.h"

namespace {

using namespace installtest;

const std::string kScript = std::string(TABRIX_SOURCE_DIR) + "/tools/tabrix/tabrix-completion.bash";

// The completions bash offers for `tabrix WORDS...`, sorted; the word completed is WORDS[at],
// the last one unless `at` says otherwise.
std::set<std::string> Complete(const std::vector<std::string>& words,
                               const std::string& environment = "", int at = -1) {
  std::string line = Quote(std::string(TABRIX_CLIENT));
  for (const std::string& word : words) line += " " + Quote(word);
  const std::string script = "source " + Quote(kScript) + " && COMP_WORDS=(" + line +
                             ") && COMP_CWORD=" + std::to_string(at < 0 ? words.size() : at + 1) +
                             " && _tabrix && printf '%s\\n' \"${COMPREPLY[@]}\"";
  testsupport::Output out = Shell(environment + "bash --norc -c " + Quote(script));
  EXPECT_EQ(out.status, 0) << out.text;
  std::set<std::string> offered;
  std::istringstream in(out.text);
  for (std::string word; std::getline(in, word);)
    if (!word.empty()) offered.insert(word);
  return offered;
}

using Set = std::set<std::string>;

TEST(Completion, OffersTheVerbsOptionsAndValuesTheHelpLists) {
  const Set verbs = Verbs();
  ASSERT_TRUE(verbs.count("create")) << "the help's verbs were not read";
  EXPECT_EQ(Complete({""}), verbs);
  EXPECT_EQ(Complete({"re"}), (Set{"register-mdw", "remove"}));
  EXPECT_EQ(Complete({"--"}), Options(Help("")));
  ASSERT_TRUE(ValuedOptions(Help("create")).count("--wait")) << "the help's values were not read";
  for (const std::string& verb : verbs) {
    const std::string help = Help(verb);
    EXPECT_EQ(Complete({verb, "--"}), Options(help)) << verb;
    // After an option that takes a value, no option is offered: the word is its value.
    const Set valued = ValuedOptions(help);
    for (const std::string& option : Options(help)) {
      EXPECT_EQ(Complete({verb, option, "--"}), valued.count(option) ? Set{} : Options(help))
          << verb << " " << option;
      const std::vector<std::string> values = Values(help, option);
      if (!values.empty()) {
        EXPECT_EQ(Complete({verb, "X", option, ""}), Set(values.begin(), values.end()))
            << verb << " " << option;
      }
    }
  }
  EXPECT_EQ(Complete({"create", "Sales", "--excel-version", "Excel9"}),
            (Set{"Excel95", "Excel97"}));
  // An option's value is not taken for an argument, nor offered options.
  EXPECT_EQ(Complete({"find", "--config-dir", "/nonexistent", "Sales", "--us"}), Set{"--user"});
  EXPECT_EQ(Complete({"create", "Sales", "--threads", ""}), Set{});
}

class CompletionNames : public testsupport::ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    Spit(dir / "odbcinst.ini", testsupport::DesktopDrivers());
    for (const char* args :
         {"create Sales --user", "create 'Sales Ledger' --system", "create Budget --user"}) {
      testsupport::Output out = Shell(std::string(TABRIX_CLIENT) + " " + args +
                                      " --workbook /data/x.xls --config-dir " + Quote(dir));
      ASSERT_EQ(out.status, 0) << out.text;
    }
  }
};

TEST_F(CompletionNames, OffersDataSourcesWhereAVerbNamesAnExistingOne) {
  const std::string folder = dir.string();
  EXPECT_EQ(Complete({"find", "--config-dir", folder, ""}),
            (Set{"Budget", "Sales", "Sales\\ Ledger"}));
  EXPECT_EQ(Complete({"remove", "Sa", "--config-dir", folder}, "", 1),
            (Set{"Sales", "Sales\\ Ledger"}));
  EXPECT_EQ(Complete({"configure", "--config-dir", folder, "Sales\\ L"}), Set{"Sales\\ Ledger"});

  // unixODBC's files as the environment names them, and the scope the line gives.
  const std::string environment = PrivateOdbc(dir);
  EXPECT_EQ(Complete({"find", "S"}, environment), (Set{"Sales", "Sales\\ Ledger"}));
  EXPECT_EQ(Complete({"remove", "--system", ""}, environment), Set{"Sales\\ Ledger"});
  EXPECT_EQ(Complete({"configure", "--user", "S"}, environment), Set{"Sales"});
  // register-mdw works on a user data source unless --system is given.
  EXPECT_EQ(Complete({"register-mdw", "S"}, environment), Set{"Sales"});
  EXPECT_EQ(Complete({"register-mdw", "--system", "S"}, environment), Set{"Sales\\ Ledger"});

  // A new name, a second argument of a verb with one, and verbs with none: no names.
  EXPECT_EQ(Complete({"create", "S"}, environment), Set{});
  EXPECT_EQ(Complete({"find", "Sales", "S"}, environment), Set{});
  EXPECT_EQ(Complete({"list", "S"}, environment), Set{});
}

}  // namespace

// tabrix(1) against the client's own help: every verb, option, value and exit code the help
// lists is in the man page, so a new verb or option fails here until it is documented.
#include <map>

#include "InstallFixture.h"

namespace {

using namespace installtest;

// The man page's source by section: "# NAME" and "## create" each start one.
std::map<std::string, std::string> Sections(const std::string& page) {
  std::map<std::string, std::string> sections;
  std::istringstream in(page);
  std::string current;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("# ", 0) == 0 || line.rfind("## ", 0) == 0)
      current = line;
    else if (!current.empty())
      sections[current] += line + "\n";
  }
  return sections;
}

bool Has(const std::string& text, const std::string& term) {
  return text.find(term) != std::string::npos;
}

TEST(ManPage, DocumentsEveryVerbOptionValueAndExitCodeTheHelpLists) {
  const std::string page = Slurp(fs::path(TABRIX_SOURCE_DIR) / "docs/tabrix.1.scd");
  ASSERT_FALSE(page.empty());
  auto sections = Sections(page);
  const std::string& options = sections["# OPTIONS"];
  std::set<std::string> missing;  // each once, though several verbs share it
  auto need = [&](bool there, const std::string& what) {
    if (!there) missing.insert(what);
  };

  const std::set<std::string> verbs = Verbs();
  ASSERT_TRUE(verbs.count("create") && verbs.count("run")) << "the help's verbs were not read";
  for (const std::string& option : Options(Help("")))
    need(Has(options, "*" + option + "*"), option + " in OPTIONS");
  for (const std::string& verb : verbs) {
    const std::string help = Help(verb);
    const std::set<std::string> verbOptions = Options(help);
    ASSERT_TRUE(verbOptions.count("--help")) << verb << ": its options were not read";
    need(sections.count("## " + verb), "a section \"## " + verb + "\" under VERBS");
    const std::string& synopsis = sections["## " + verb];
    for (const std::string& option : verbOptions) {
      need(option == "--help" || Has(synopsis, "*" + option + "*"),
           option + " in the synopsis of " + verb);
      need(Has(options, "*" + option + "*"), option + " (" + verb + ") in OPTIONS");
      for (const std::string& value : Values(help, option))
        need(Has(options, "*" + value + "*"), option + " " + value + " in OPTIONS");
    }
  }

  // "Exit codes: 0 success, 1 refused, failed or not found, 2 usage."
  const std::string help = Help("");
  const size_t at = help.find("Exit codes: ");
  ASSERT_NE(at, std::string::npos) << help;
  std::istringstream codes(help.substr(at, help.find('\n', at) - at));
  for (std::string word; codes >> word;) {
    if (word.back() == ',') word.pop_back();
    if (word.find_first_not_of("0123456789") == std::string::npos)
      need(Has(sections["# EXIT STATUS"], "*" + word + "*\n"), "exit code " + word);
  }

  for (const char* variable : {"TABRIX_PASSWORD", "ODBCINI", "ODBCSYSINI", "ODBCINSTINI"})
    need(Has(sections["# ENVIRONMENT"], std::string("*") + variable + "*\n"), variable);
  for (const char* section :
       {"# NAME", "# SYNOPSIS", "# DESCRIPTION", "# VERBS", "# FILES", "# EXAMPLES", "# SEE ALSO"})
    need(sections.count(section), section);

  std::string list;
  for (const std::string& m : missing) list += "\n  " + m;
  EXPECT_TRUE(missing.empty()) << "docs/tabrix.1.scd lacks:" << list;
}

// The long options a verb's synopsis names: "*--threads*" in the lines before its first
// indented paragraph.
std::set<std::string> SynopsisOptions(const std::string& section) {
  std::set<std::string> options;
  std::istringstream in(section);
  for (std::string line; std::getline(in, line) && (line.empty() || line[0] != '\t');)
    for (size_t at = line.find("*--"); at != std::string::npos; at = line.find("*--", at + 1)) {
      const size_t end = line.find_first_not_of("abcdefghijklmnopqrstuvwxyz-", at + 3);
      if (end != std::string::npos && line[end] == '*')
        options.insert(line.substr(at + 1, end - at - 1));
    }
  return options;
}

// The other way round: a synopsis names no option the verb does not have, so an option that
// goes, or is renamed, leaves no trace in the page.
TEST(ManPage, SynopsesNameOnlyTheOptionsTheHelpLists) {
  auto sections = Sections(Slurp(fs::path(TABRIX_SOURCE_DIR) / "docs/tabrix.1.scd"));
  for (const std::string& verb : Verbs()) {
    const std::set<std::string> named = SynopsisOptions(sections["## " + verb]);
    ASSERT_FALSE(named.empty()) << verb << ": its synopsis was not read";
    const std::set<std::string> help = Options(Help(verb));
    for (const std::string& option : named)
      EXPECT_TRUE(help.count(option)) << option << " in the synopsis of " << verb;
  }
}

// The page as built and installed: what man shows, with no complaint from the formatter.
TEST(ManPage, RendersWithoutWarnings) {
  const std::string page = std::string(TABRIX_BUILD_DIR) + "/docs/tabrix.1.gz";
  testsupport::Output out =
      Shell("MANWIDTH=80 man --warnings -E UTF-8 -l " + Quote(page) + " 2>&1 >/dev/null");
  EXPECT_EQ(out.status, 0);
  EXPECT_EQ(out.text, "");
  out = Shell("MANWIDTH=80 man -E UTF-8 -l " + Quote(page) + " | col -bx");
  EXPECT_TRUE(Has(out.text,
                  "NAME\n       tabrix - create, change, find and remove ODBC data "
                  "sources"))
      << out.text;
  EXPECT_TRUE(Has(out.text, "EXIT STATUS\n       0\n           Success")) << out.text;
}

}  // namespace

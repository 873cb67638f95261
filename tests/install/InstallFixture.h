// What the install tests share: shell commands, the client's help read as lists of verbs,
// options and values, and a DESTDIR install of the build in a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include "tests/support/TestSupport.h"

namespace installtest {

namespace fs = std::filesystem;
using testsupport::Shell;
using testsupport::Slurp;
using testsupport::Spit;

inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

inline std::string Quote(const char* s) { return Quote(std::string(s)); }
inline std::string Quote(const fs::path& p) { return Quote(p.string()); }

// The environment prefix that points unixODBC at a private folder's files.
inline std::string PrivateOdbc(const fs::path& dir) {
  return "unset ODBCSEARCH; ODBCSYSINI=" + Quote(dir) + " ODBCINI=" + Quote(dir / "odbc.user.ini") +
         " ";
}

// `tabrix ARGS --help`, standard output only.
inline std::string Help(const std::string& args) {
  return Shell(std::string(TABRIX_CLIENT) + " " + args + " --help 2>/dev/null").text;
}

// The indented lines of a help block ("Options:", "Subcommands:") up to the next blank line.
inline std::vector<std::string> Block(const std::string& help, const std::string& title) {
  std::vector<std::string> lines;
  std::istringstream in(help);
  bool inside = false;
  for (std::string line; std::getline(in, line);) {
    if (line == title) {
      inside = true;
    } else if (inside) {
      if (line.empty()) break;
      lines.push_back(line);
    }
  }
  return lines;
}

// The run of characters at `at` that a name of a verb or option is made of.
inline std::string NameAt(const std::string& text, size_t at) {
  size_t end = at;
  while (end < text.size() &&
         (std::islower(static_cast<unsigned char>(text[end])) ||
          std::isdigit(static_cast<unsigned char>(text[end])) || text[end] == '-'))
    ++end;
  return text.substr(at, end - at);
}

// The verbs `tabrix --help` lists.
inline std::set<std::string> Verbs() {
  std::set<std::string> verbs;
  for (const std::string& line : Block(Help(""), "Subcommands:"))
    if (line.rfind("  ", 0) == 0 && line.size() > 2 && std::islower(line[2]))
      verbs.insert(NameAt(line, 2));
  return verbs;
}

// The long options an "Options:" block lists (both names of --x,--no-x), from the first
// column only, so that options named in descriptions are not taken for the verb's own.
inline std::set<std::string> Options(const std::string& help) {
  std::set<std::string> options;
  for (const std::string& line : Block(help, "Options:")) {
    if (line.rfind("  -", 0) != 0) continue;  // a description's continuation line
    const std::string first = line.substr(0, line.find("  ", 2));
    for (size_t at = first.find("--"); at != std::string::npos; at = first.find("--", at + 2))
      options.insert("--" + NameAt(first, at + 2));
  }
  return options;
}

// The options of an "Options:" block that take a value, whose name a type in capitals
// follows ("--wait FLOAT:SECONDS=30", "--png TEXT REQUIRED", "-o,--output TEXT").
inline std::set<std::string> ValuedOptions(const std::string& help) {
  std::set<std::string> options;
  for (const std::string& line : Block(help, "Options:")) {
    if (line.rfind("  -", 0) != 0) continue;
    const size_t at = line.find("--");
    if (at == std::string::npos || line.find(' ', 2) < at) continue;
    const std::string name = "--" + NameAt(line, at + 2);
    size_t type = at + name.size() + 1, end = type;
    while (end < line.size() && std::isupper(static_cast<unsigned char>(line[end]))) ++end;
    if (line[type - 1] == ' ' && end - type >= 3 &&
        (end == line.size() || !std::isalpha(line[end])))
      options.insert(name);
  }
  return options;
}

// The values an option allows, as its help lists them ("--excel-version TEXT:{A,B,C}").
inline std::vector<std::string> Values(const std::string& help, const std::string& option) {
  std::vector<std::string> values;
  const size_t line = help.find("\n  " + option + " ");
  if (line == std::string::npos) return values;
  const size_t open = help.find(":{", line), close = help.find('}', line);
  if (open == std::string::npos || close == std::string::npos || open > help.find('\n', line + 1))
    return values;
  std::istringstream in(help.substr(open + 2, close - open - 2));
  for (std::string value; std::getline(in, value, ',');) values.push_back(value);
  return values;
}

// A test with a DESTDIR install of the build under `root`, at the prefix /usr/local.
class Installed : public testsupport::ScratchTest {
 protected:
  void Install() {
    root = dir / "root";
    testsupport::Output out =
        Shell("DESTDIR=" + Quote(root) + " " + Quote(TABRIX_CMAKE) + " --install " +
              Quote(TABRIX_BUILD_DIR) + " --prefix " + kPrefix);
    ASSERT_EQ(out.status, 0) << out.text;
    prefix = root / kPrefix.substr(1);
  }

  static inline const std::string kPrefix = "/usr/local";
  fs::path root;    // DESTDIR
  fs::path prefix;  // DESTDIR/usr/local
};

}  // namespace installtest

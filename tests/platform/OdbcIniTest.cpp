#include "platform/odbcini/OdbcIni.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "platform/text/Text.h"
#include "tests/support/TestSupport.h"

using namespace platform::odbcini;
using namespace std::string_literals;

namespace {

const std::string kFile =
    "# written by hand\n"
    "[ODBC Data Sources]\n"
    "Sales = Excel\n"
    "\n"
    "[Sales]\n"
    "Driver=Excel\n"
    "; the workbook\n"
    "DBQ = /data/sales.xls\n"
    "\n"
    "[ Other ] trailing\n"
    "Driver = Text\n";

std::string Body(const std::string& text, const std::string& name, Reader reader = Reader::Open) {
  auto s = FindSection(text, name, reader);
  return s ? text.substr(s->body, s->end - s->body) : "<none>";
}

KeyValues Keys(const std::string& text, const std::string& name, Reader reader = Reader::Open) {
  return ReadKeys(Body(text, name, reader), reader);
}

std::vector<std::string> Names(const std::string& text, Reader reader = Reader::Open) {
  std::vector<std::string> names;
  ForEachSection(
      text,
      [&](const Section& s) {
        names.emplace_back(s.name);
        return true;
      },
      reader);
  return names;
}

TEST(OdbcIni, ReadsSectionsAndKeysAsUnixOdbcDoes) {
  EXPECT_EQ(Body(kFile, "sales"), "Driver=Excel\n; the workbook\nDBQ = /data/sales.xls\n\n");
  EXPECT_EQ(Body(kFile, "Other"), "Driver = Text\n");  // the name ends at the first ']'
  EXPECT_FALSE(FindSection(kFile, "Absent"));
  KeyValues keys = ReadKeys(Body(kFile, "Sales"));
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[1], (std::pair<std::string, std::string>{"DBQ", "/data/sales.xls"}));
  EXPECT_EQ(FindKey(Body(kFile, "Sales"), "dbq"), "/data/sales.xls");
  EXPECT_FALSE(FindKey(Body(kFile, "Sales"), "the workbook"));

  // Trimming is C's isspace (CR, tab, vertical tab and form feed too); a line without "=" is
  // a key without a value; an empty key name is kept; "]" ends a name, a missing one does not
  // matter; a NUL ends the line for unixODBC.
  const std::string odd =
      "[A]\r\n Driver = /x \r\n\vK\tTab\t=\tv\tv\f\r\n  ; c = 1\r\nnoeq\r\n= e\r\n"
      "Server = s\0SystemDB=/evil\r\nK\0= v\r\n"
      "[ B ] x ]\r\n[C\r\nk = c\r\n[D]]\r\n[]\r\n"s;
  EXPECT_EQ(Keys(odd, "A"), (KeyValues{{"Driver", "/x"},
                                       {"K\tTab", "v\tv"},
                                       {"noeq", ""},
                                       {"", "e"},
                                       {"Server", "s"},
                                       {"K", ""}}));
  EXPECT_EQ(Names(odd), (std::vector<std::string>{"A", "B", "C", "D", ""}));
  EXPECT_EQ(FindKey(Body(odd, "c"), "K"), "c");
  EXPECT_FALSE(FindKey(Body(odd, "A"), "SystemDB"));
}

TEST(OdbcIni, FindsWhereUnixOdbcRefusesTheWholeFile) {
  const std::string x998(998, 'x');
  struct Case {
    std::string text;
    size_t line;  // 0: read
    const char* reason;
  };
  const Case cases[] = {
      {"junk\n[A]\nk = 1\n", 1, "text before the first section"},
      {"# ok\n\n\r\n= x\n[A]\n", 4, "text before the first section"},
      {"k = 1\n", 1, "text before the first section"},
      {"a\0b\n[A]\n"s, 1, "text before the first section"},
      {"\xEF\xBB\xBF[A]\nk = 1\n", 1, "a byte-order mark before the first section"},
      {"\xEF\xBB\xBF# hello\n[A]\n", 1, "a byte-order mark before the first section"},
      {"# ok\n\n  [A]\nk = 1\n", 3, "an indented section header before the first section"},
      {"\f[A]\n", 1, "an indented section header before the first section"},
      {"# c\n#" + x998 + "tail\n[A]\n", 2,
       "a comment longer than 999 bytes before the first section"},
      {"", 0, ""},
      {"# only comments\n\n", 0, ""},
      {"# ok\n\t; fine\n\r\n\v\n\0junk\n[A]\nk = 1\njunk after is a key\n"s, 0, ""},
      {"  # a\r\n[A]\r\n", 0, ""},
      {"#" + x998 + "# still a comment\n[A]\n", 0, ""},
      {"#" + x998 + "   \n[A]\n", 0, ""},
      {"#" + x998 + "[A]\n", 0, ""},  // the rest of the line is the first header
  };
  for (const Case& c : cases) {
    std::optional<Rejection> r = FindRejection(c.text);
    if (c.line == 0) {
      EXPECT_FALSE(r) << c.text << " -> " << r->line << ": " << r->reason;
    } else {
      ASSERT_TRUE(r) << c.text;
      EXPECT_EQ(r->line, c.line) << c.text;
      EXPECT_EQ(r->reason, c.reason) << c.text;
    }
  }
}

TEST(OdbcIni, LinesLongerThan999BytesReadInPieces) {
  // fgets into a 1000-byte buffer: the 1,000th byte of a line starts a line of its own.
  const std::string description = "Description = " + std::string(985, 'y');  // 999 bytes
  const std::string line = description + "Driver=/evil" + std::string(189, ' ');
  ASSERT_EQ(line.size(), 1200u);
  const std::string text = "[Sales]\n" + line + "\nDBQ = /a.xls\n";
  EXPECT_EQ(
      Keys(text, "Sales"),
      (KeyValues{{"Description", std::string(985, 'y')}, {"Driver", "/evil"}, {"DBQ", "/a.xls"}}));

  // A line of 999 bytes reads whole; one byte more and that byte is a key.
  const std::string k999 = "K = " + std::string(995, 'v');
  EXPECT_EQ(Keys("[A]\n" + k999 + "\n", "A"), (KeyValues{{"K", std::string(995, 'v')}}));
  EXPECT_EQ(Keys("[A]\n" + k999 + "w\n", "A"),
            (KeyValues{{"K", std::string(995, 'v')}, {"w", ""}}));

  // A header can start inside a line, and a header's own long line can carry a key.
  const std::string comment = "#" + std::string(998, 'x');
  const std::string hidden = "[A]\n" + comment + "[Evil]\nDriver = /evil\n";
  auto evil = FindSection(hidden, "Evil");
  ASSERT_TRUE(evil);
  EXPECT_EQ(evil->header, 4u + 999u);
  EXPECT_EQ(Keys(hidden, "Evil"), (KeyValues{{"Driver", "/evil"}}));
  const std::string longHeader = "[Long]" + std::string(993, ' ') + "  Key = tail\n[Next]\n";
  EXPECT_EQ(Keys(longHeader, "Long"), (KeyValues{{"Key", "tail"}}));
  EXPECT_EQ(Keys(longHeader, "Long", Reader::Append), KeyValues{});  // indented, so skipped

  // Edits of a piece cut from a longer line end the line before it, which reads the same.
  std::string removed = text;
  RemoveKey(removed, "Sales", "driver");
  EXPECT_EQ(removed, "[Sales]\n" + description + "\nDBQ = /a.xls\n");
  std::string changed = text;
  SetKey(changed, "Sales", "Driver", "/good");
  EXPECT_EQ(changed, "[Sales]\n" + description + "\nDriver = /good\nDBQ = /a.xls\n");
  std::string gone = hidden;
  EXPECT_TRUE(RemoveSection(gone, "Evil"));
  EXPECT_EQ(gone, "[A]\n" + comment + "\n");
  EXPECT_EQ(Names(gone), std::vector<std::string>{"A"});
}

// Section headers found piece by piece, the plain way: the reference for the scan that looks
// only at "[" bytes.
std::vector<std::pair<size_t, std::string>> HeadersPieceByPiece(const std::string& text,
                                                                Reader reader) {
  auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  std::vector<std::pair<size_t, std::string>> headers;
  for (size_t pos = 0; pos < text.size();) {
    size_t next = pos;
    while (next < text.size() && next - pos < 999 && text[next] != '\n') ++next;
    if (next < text.size() && text[next] == '\n' && next - pos < 999) ++next;
    std::string piece = text.substr(pos, next - pos);
    piece = piece.substr(0, piece.find('\0'));
    size_t first = 0;
    if (reader == Reader::Open)
      while (first < piece.size() && space(piece[first])) ++first;
    if (first < piece.size() && piece[first] == '[') {
      std::string name = piece.substr(first + 1);
      name = name.substr(0, name.find(']'));
      while (!name.empty() && space(name.front())) name.erase(0, 1);
      while (!name.empty() && space(name.back())) name.pop_back();
      headers.emplace_back(pos, name);
    }
    pos = next;
  }
  return headers;
}

TEST(OdbcIni, TheHeaderScanFindsWhatAPieceByPieceReadFinds) {
  // Texts built from the bytes that matter to headers, with lines long enough to be cut.
  const std::string bytes[] = {"[",
                               "]",
                               " ",
                               "\t",
                               "\r",
                               "\n",
                               "\n",
                               "a",
                               "=",
                               ";",
                               "#",
                               std::string(1, '\0'),
                               "\v",
                               std::string(400, 'x'),
                               std::string(997, ' '),
                               "[S]\n",
                               "\n[T]"};
  unsigned seed = 12345;
  auto random = [&] { return seed = seed * 1103515245 + 12345, (seed >> 16) & 0x7FFF; };
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const unsigned parts = random() % 40;
    for (unsigned i = 0; i < parts; ++i) text += bytes[random() % std::size(bytes)];
    for (Reader reader : {Reader::Open, Reader::Append}) {
      std::vector<std::pair<size_t, std::string>> scanned;
      ForEachSection(
          text,
          [&](const Section& s) {
            scanned.emplace_back(s.header, std::string(s.name));
            return true;
          },
          reader);
      ASSERT_EQ(scanned, HeadersPieceByPiece(text, reader))
          << "round " << round << ": " << platform::text::EscapeControls(text);
    }
  }
}

TEST(OdbcIni, SettingOneKeyIsAnUpdateOfThatKey) {
  // SetKey inserts a missing key's line where an update would put it: checked on texts built
  // from lines of every kind, long ones and a missing last line end included.
  const std::string lines[] = {"[L]\n",
                               "[l]\r\n",
                               "K = 1\n",
                               "k=2\n",
                               "# c\n",
                               "\n",
                               "  x = y\n",
                               "[M]\n",
                               "K",
                               std::string(1200, 'z') + "\n",
                               "[L]" + std::string(997, ' ')};
  unsigned seed = 99;
  auto random = [&] { return seed = seed * 1103515245 + 12345, (seed >> 16) & 0x7FFF; };
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const unsigned parts = random() % 12;
    for (unsigned i = 0; i < parts; ++i) text += lines[random() % std::size(lines)];
    const std::string key = random() % 2 ? "K" : "new";
    std::string set = text, updated = text;
    SetKey(set, "L", key, "v");
    WriteSection(updated, "L", {{key, "v"}}, Merge::Update);
    ASSERT_EQ(set, updated) << "round " << round << ": " << platform::text::EscapeControls(text);

    // A new section and its listing line, in either order where the listing is not last, as
    // the installer may write them.
    if (auto listing = FindSection(text, "L"); !listing || listing->end == text.size()) continue;
    std::string listedFirst = text, sectionFirst = text;
    SetKey(listedFirst, "L", key, "v");
    WriteSection(listedFirst, "M", {{"Driver", "d"}}, Merge::Replace);
    WriteSection(sectionFirst, "M", {{"Driver", "d"}}, Merge::Replace);
    if (auto splice = SetKeySplice(sectionFirst, "L", key, "v"))
      SpliceInto(sectionFirst, *splice);
    else
      SetKey(sectionFirst, "L", key, "v");
    ASSERT_EQ(sectionFirst, listedFirst)
        << "round " << round << ": " << platform::text::EscapeControls(text);
  }
}

TEST(OdbcIni, TheSystemFileBeneathTheUserFileReadsOnlyFirstColumnLines) {
  const std::string text =
      "[A]\n  Indented = 1\n_under = 2\n= e\n9nine = 4\n; c\n\xC3\xA9t\xC3\xA9 = 5\n"
      "   [B]\nk = b\n[C]\nk = c\n";
  EXPECT_EQ(Names(text), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(Keys(text, "A"), (KeyValues{{"Indented", "1"},
                                        {"_under", "2"},
                                        {"", "e"},
                                        {"9nine", "4"},
                                        {"\xC3\xA9t\xC3\xA9", "5"}}));
  EXPECT_EQ(Names(text, Reader::Append), (std::vector<std::string>{"A", "C"}));
  EXPECT_EQ(Keys(text, "A", Reader::Append), (KeyValues{{"9nine", "4"}, {"k", "b"}}));
  EXPECT_EQ(FindKey(Body(text, "A", Reader::Append), "K", Reader::Append), "b");
  EXPECT_FALSE(FindSection(text, "B", Reader::Append));
}

TEST(OdbcIni, RepeatedSectionsReadTheFirstAndAllGoOnRemoval) {
  std::string text = "[A]\nk = 1\n[B]\nk = b\n[a]\n# about a\nk = 2\nj = 3\n";
  EXPECT_EQ(Body(text, "a"), "k = 1\n");
  EXPECT_FALSE(FindKey(Body(text, "A"), "j"));  // unixODBC looks no further than the first
  RemoveKey(text, "a", "K");
  EXPECT_EQ(text, "[A]\n[B]\nk = b\n[a]\n# about a\nk = 2\nj = 3\n");
  EXPECT_TRUE(RemoveSection(text, "A"));
  EXPECT_EQ(text, "[B]\nk = b\n# about a\n");
  EXPECT_FALSE(RemoveSection(text, "A"));

  std::string twice = "[A]\nk = 1\nk = 2\n";
  SetKey(twice, "A", "K", "3");
  EXPECT_EQ(twice, "[A]\nK = 3\n");
}

TEST(OdbcIni, EditsKeepTheFilesLineEnds) {
  std::string crlf =
      "[ODBC Data Sources]\r\nSales = Excel\r\nOld = Text\r\n\r\n"
      "[Sales]\r\nDriver=Excel\r\n; note\r\nDBQ = /a.xls\r\n";
  EXPECT_EQ(LineEnd(crlf), "\r\n");
  EXPECT_EQ(Keys(crlf, "Sales"), (KeyValues{{"Driver", "Excel"}, {"DBQ", "/a.xls"}}));
  SetKey(crlf, "Sales", "DBQ", "/b.xls");
  SetKey(crlf, "Sales", "ReadOnly", "1");
  RemoveKey(crlf, "ODBC Data Sources", "Old");  // listed without a section of its own
  WriteSection(crlf, "New", {{"Driver", "Text"}}, Merge::Replace);
  EXPECT_EQ(crlf,
            "[ODBC Data Sources]\r\nSales = Excel\r\n\r\n"
            "[Sales]\r\nDriver=Excel\r\n; note\r\nDBQ = /b.xls\r\nReadOnly = 1\r\n\r\n"
            "[New]\r\nDriver = Text\r\n");
  EXPECT_TRUE(RemoveSection(crlf, "Sales"));
  EXPECT_EQ(crlf,
            "[ODBC Data Sources]\r\nSales = Excel\r\n\r\n; note\r\n[New]\r\nDriver = Text\r\n");

  std::string unended = "[A]\r\nk = v";
  SetKey(unended, "A", "x", "1");
  EXPECT_EQ(unended, "[A]\r\nk = v\r\nx = 1\r\n");
  std::string lf = "[A]\nk = v\r\n";  // the first line end decides
  EXPECT_EQ(LineEnd(lf), "\n");
  SetKey(lf, "A", "x", "1");
  EXPECT_EQ(lf, "[A]\nk = v\r\nx = 1\n");
  EXPECT_EQ(LineEnd("[A]"), "\n");
}

TEST(OdbcIni, UpdateChangesKeysInPlaceAndKeepsEveryOtherLine) {
  std::string text = kFile;
  WriteSection(text, "Sales", {{"DBQ", "/new.xls"}, {"ReadOnly", "1"}}, Merge::Update);
  EXPECT_EQ(text,
            "# written by hand\n[ODBC Data Sources]\nSales = Excel\n\n"
            "[Sales]\nDriver=Excel\n; the workbook\nDBQ = /new.xls\nReadOnly = 1\n\n"
            "[ Other ] trailing\nDriver = Text\n");
}

TEST(OdbcIni, ReplaceDropsOldKeysButNotComments) {
  std::string text = kFile;
  WriteSection(text, "SALES", {{"Driver", "Excel"}, {"PWD", ""}}, Merge::Replace);
  EXPECT_EQ(Body(text, "Sales"), "Driver = Excel\nPWD =\n; the workbook\n\n");
  EXPECT_EQ(Body(text, "Other"), "Driver = Text\n");
}

TEST(OdbcIni, NewSectionsGoAtTheEndAfterABlankLine) {
  std::string text = "[A]\nk = v";  // no final line break
  WriteSection(text, "B", {{"x", "1"}}, Merge::Replace);
  EXPECT_EQ(text, "[A]\nk = v\n\n[B]\nx = 1\n");
  std::string headerOnly = "[A]";
  SetKey(headerOnly, "A", "k", "v");
  EXPECT_EQ(headerOnly, "[A]\nk = v\n");
  std::string empty;
  SetKey(empty, "ODBC Data Sources", "S", "D");
  EXPECT_EQ(empty, "[ODBC Data Sources]\nS = D\n");
}

TEST(OdbcIni, RemovingASectionKeepsItsNeighboursAndComments) {
  std::string text = kFile;
  EXPECT_TRUE(RemoveSection(text, "Sales"));
  RemoveKey(text, "ODBC Data Sources", "sales");
  EXPECT_EQ(text,
            "# written by hand\n[ODBC Data Sources]\n\n; the workbook\n"
            "[ Other ] trailing\nDriver = Text\n");
  EXPECT_FALSE(RemoveSection(text, "Sales"));
}

TEST(OdbcIni, RefusesNamesKeywordsAndValuesTheFileCannotHold) {
  for (const char* good : {"Sales", "Sales 2024", "a-b_c.d", "12345678901234567890123456789012"})
    EXPECT_EQ(CheckSectionName(good), "") << good;
  for (const char* bad : {"",     "123456789012345678901234567890123",
                          "a\nb", "a\tb",
                          " a",   "a ",
                          "#a",   ";a",
                          "a]",   "[a",
                          "a=b",  "a\\b",
                          "a;b",  "a{b}",
                          "a!",   "a@b",
                          "a?",   "a*",
                          "a(b)", "a,b"})
    EXPECT_NE(CheckSectionName(bad), "") << bad;
  EXPECT_EQ(CheckSectionName("a\nb"),
            "invalid data source name \"a\\x0Ab\": it holds a control character");

  EXPECT_EQ(CheckKeyword("Max Scan-Rows_2"), "");
  EXPECT_EQ(CheckKeyword("9A"), "");
  for (const char* bad : {"", " A", "A ", "A=B", "A[", "A\n", "#A", "DBQ\r", "_A", "-A"})
    EXPECT_NE(CheckKeyword(bad), "") << bad;
  EXPECT_EQ(CheckKeyword("_A"), "invalid keyword \"_A\": it must start with a letter or a digit");

  EXPECT_EQ(CheckValue("DBQ", "C:\\x = y; #z"), "");
  EXPECT_EQ(CheckValue("DBQ", ""), "");
  for (const char* bad : {"a\nDriver=/tmp/evil.so", "a\r", " a", "a ", "a\x7f"})
    EXPECT_NE(CheckValue("DBQ", bad), "") << bad;
  EXPECT_EQ(CheckValue("K", std::string(994, 'x')), "");  // "K = " + 994 + "\n" is 999 bytes
  EXPECT_NE(CheckValue("K", std::string(995, 'x')), "");
}

// The same odd files through unixODBC's own odbcinst, in a private folder: as the user file
// (Reader::Open) and as the system file beneath an empty user file (Reader::Append).
class OdbcinstAgrees {
 public:
  OdbcinstAgrees() {
    char tmpl[] = "/tmp/tabrix-odbcini-XXXXXX";
    if (mkdtemp(tmpl)) dir_ = tmpl;
  }
  ~OdbcinstAgrees() {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  bool Ready() const { return !dir_.empty(); }

  // What `odbcinst -q -s` and `odbcinst -q -s -n NAME` print for `text`.
  std::string Odbcinst(const std::string& text, Reader reader, const std::string& name = "") {
    Spit("odbcinst.ini", "");
    Spit(reader == Reader::Open ? "user.ini" : "odbc.ini", text);
    Spit(reader == Reader::Open ? "odbc.ini" : "user.ini", "");
    std::string command = "env -u ODBCSEARCH ODBCSYSINI=" + dir_ + " ODBCINI=" + dir_ +
                          "/user.ini ODBCINSTINI=odbcinst.ini odbcinst -q -s";
    if (!name.empty()) command += " -n '" + name + "'";
    return testsupport::Shell(command).text;
  }

 private:
  void Spit(const std::string& file, const std::string& text) {
    testsupport::Spit(dir_ + "/" + file, text);
  }
  std::string dir_;
};

// The same listings from our reading. odbcinst lists a section's keys up to the first empty
// name, each with the first 499 bytes of the value of the first key of that name; the system
// file beneath the user file adds a section name once.
std::string OurListing(const std::string& text, Reader reader, const std::string& name = "") {
  std::string out;
  if (name.empty()) {
    std::vector<std::string> seen;
    ForEachSection(
        text,
        [&](const Section& s) {
          for (const std::string& n : seen)
            if (reader == Reader::Append && platform::text::EqualsIgnoreCase(n, s.name))
              return true;
          seen.emplace_back(s.name);
          out += "[" + std::string(s.name) + "]\n";
          return true;
        },
        reader);
    return out;
  }
  if (!FindSection(text, name, reader))
    return "odbcinst: SQLGetPrivateProfileString failed with .\n";
  out = "[" + name + "]\n";
  const std::string body = Body(text, name, reader);
  for (const auto& [k, v] : ReadKeys(body, reader)) {
    if (k.empty()) break;
    out += k + "=" + FindKey(body, k, reader).value_or("?").substr(0, 499) + "\n";
  }
  return out;
}

TEST(OdbcIni, ReadsAsOdbcinstDoes) {
  if (system("command -v odbcinst >/dev/null 2>&1") != 0) GTEST_SKIP() << "no odbcinst";
  OdbcinstAgrees odbcinst;
  ASSERT_TRUE(odbcinst.Ready());
  const std::string longDescription =
      "Description = " + std::string(985, 'y') + "Driver=/evil" + std::string(189, ' ');
  const std::string longHeader = "[Long]" + std::string(993, ' ') + "   Key=tail";
  const std::string longComment = "#" + std::string(998, 'x') + "[Evil]";
  const std::string odd = "# hand-written\r\n[Sales]\r\n" + longDescription +
                          "\r\n"
                          "Server = s\0SystemDB=/evil\r\n"
                          "  Indented = 1\r\n"
                          "noequals\r\n"
                          "Tabbed\t=\tv\t\r\n"
                          "; Comment = 1\r\n"
                          "[ Other ] trailing\r\n"
                          "DBQ = /data/x.xls\r\n"
                          "[Open\r\n"
                          "k = v\r\n"
                          "= e\r\n"
                          "after = 1\r\n"
                          "[SALES]\r\n"
                          "Driver = /second\r\n"s +
                          longHeader + "\r\n   [Hidden]\nh = 1\n" + longComment +
                          "\nDriver=/evil\n";
  for (Reader reader : {Reader::Open, Reader::Append}) {
    SCOPED_TRACE(reader == Reader::Open ? "user file" : "system file");
    ASSERT_FALSE(FindRejection(odd));
    EXPECT_EQ(odbcinst.Odbcinst(odd, reader), OurListing(odd, reader));
    for (const char* name : {"Sales", "sales", "Other", "Open", "Long", "Hidden", "Evil"})
      EXPECT_EQ(odbcinst.Odbcinst(odd, reader, name), OurListing(odd, reader, name)) << name;
  }
  EXPECT_NE(OurListing(odd, Reader::Open, "Long"), OurListing(odd, Reader::Append, "Long"));

  for (const std::string& refused : {"\xEF\xBB\xBF[A]\nk = 1\n"s, "  [A]\nk = 1\n"s,
                                     "#" + std::string(998, 'x') + "tail\n[A]\nk = 1\n"}) {
    ASSERT_TRUE(FindRejection(refused));
    for (Reader reader : {Reader::Open, Reader::Append})
      EXPECT_NE(odbcinst.Odbcinst(refused, reader, "A").find("SQLGetPrivateProfileString failed"),
                std::string::npos)
          << refused;
  }
}

}  // namespace

#include "platform/odbcini/OdbcIni.h"

#include <gtest/gtest.h>

using namespace platform::odbcini;

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

std::string Body(const std::string& text, const std::string& name) {
  auto s = FindSection(text, name);
  return s ? text.substr(s->body, s->end - s->body) : "<none>";
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
  for (const char* bad : {"", " A", "A ", "A=B", "A[", "A\n", "#A", "DBQ\r"})
    EXPECT_NE(CheckKeyword(bad), "") << bad;

  EXPECT_EQ(CheckValue("DBQ", "C:\\x = y; #z"), "");
  EXPECT_EQ(CheckValue("DBQ", ""), "");
  for (const char* bad : {"a\nDriver=/tmp/evil.so", "a\r", " a", "a ", "a\x7f"})
    EXPECT_NE(CheckValue("DBQ", bad), "") << bad;
  EXPECT_EQ(CheckValue("K", std::string(994, 'x')), "");  // "K = " + 994 + "\n" is 999 bytes
  EXPECT_NE(CheckValue("K", std::string(995, 'x')), "");
}

}  // namespace

#include "driver/formats/CellReference.h"

#include <gtest/gtest.h>

namespace tabrix::formats {
namespace {

std::string Show(const std::optional<Range>& r) {
  if (!r) return "none";
  return CellName(r->firstRow, r->firstColumn) + ":" + CellName(r->lastRow, r->lastColumn);
}

TEST(CellReference, CellsOfASheetOnly) {
  EXPECT_EQ(CellName(0, 0), "A1");
  EXPECT_EQ(CellName(6, 1), "B7");
  EXPECT_EQ(CellName(1048575, 16383), "XFD1048576");
  EXPECT_EQ(CellName(0, 26), "AA1");
  const auto last = ParseCell("$XFD$1048576");
  ASSERT_TRUE(last);
  EXPECT_EQ(last->row, 1048575u);
  EXPECT_EQ(last->column, 16383u);
  EXPECT_TRUE(ParseCell("b7"));
  for (const char* bad : {"", "A", "7", "A0", "XFE1", "A1048577", "1A", "A1B", "A-1", "$$A1",
                          "AAAAA1", "A99999999999"})
    EXPECT_FALSE(ParseCell(bad)) << bad;
}

TEST(CellReference, Rectangles) {
  EXPECT_EQ(Show(ParseRange("A1:C10")), "A1:C10");
  EXPECT_EQ(Show(ParseRange("C10:A1")), "A1:C10");
  EXPECT_EQ(Show(ParseRange("$B$2")), "B2:B2");
  EXPECT_EQ(Show(ParseRange("$A:$C")), "A1:C1048576");
  EXPECT_EQ(Show(ParseRange("$2:$5")), "A2:XFD5");
  for (const char* bad : {"", ":", "A1:", "A1:B", "A:1", "A1:C10:D12", "A1 C1"})
    EXPECT_EQ(Show(ParseRange(bad)), "none") << bad;
}

TEST(CellReference, DefinedNamesOnOneSheet) {
  auto r = ParseSheetRange("Data!$A$1:$D$3");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->sheet, "Data");
  EXPECT_EQ(Show(r->range), "A1:D3");
  r = ParseSheetRange("'My $ Sheet'!$B$3:$D$4");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->sheet, "My $ Sheet");
  r = ParseSheetRange("'It''s'!A1");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->sheet, "It's");
  for (const char* bad : {"0.05", "Data!$A$1,Data!$B$2", "#REF!", "Data!#REF!", "SUM(Data!A1)",
                          "[1]Data!A1", "'Open", "'Data'A1", "!A1", "Data!A1+1", "''!A1"})
    EXPECT_FALSE(ParseSheetRange(bad)) << bad;
}

}  // namespace
}  // namespace tabrix::formats

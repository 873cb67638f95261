// The .xlsx reader on what no well-kept writer makes: texts longer than a cell holds,
// booleans of other values, sheets past a sheet's edges.
#include <gtest/gtest.h>

#include "driver/tests/formats/Cells.h"

namespace tabrix::formats {
namespace {

using testing::ErrorOf;
using testing::ReadAll;
using testing::Workbooks;

std::string Read(const std::string& file) {
  auto book = OpenWorkbook(Workbooks(file));
  return ReadAll(*book, 0);
}

std::string Failure(const std::string& file) {
  return ErrorOf([&] { Read(file); });
}

TEST(XlsxHostile, ATextLongerThanACellHoldsIsRefusedNamingTheCell) {
  // Counted as the application counts: in UTF-16 units, after the format's escapes.
  EXPECT_EQ(Read("atlimit.xlsx"), "A1 Text \r\U0001F600" + std::string(32764, 'x') + "\n");
  const std::string tooLong = ": its text is longer than the 32767 characters a cell holds";
  EXPECT_EQ(Failure("overlimit.xlsx"), Workbooks("overlimit.xlsx") + ": refused: S$B2" + tooLong);
  EXPECT_EQ(Failure("inlinelong.xlsx"), Workbooks("inlinelong.xlsx") + ": refused: S$C3" + tooLong);
  // 50 MB of text in one item: cut off while it streams, refused where a cell uses it.
  EXPECT_EQ(Failure("hugestring.xlsx"), Workbooks("hugestring.xlsx") + ": refused: S$A1" + tooLong);
  // An item no cell uses refuses nothing.
  EXPECT_EQ(Read("unusedlong.xlsx"), "A1 Text short\n");
}

TEST(XlsxHostile, AnyNumberButZeroIsTrue) {
  EXPECT_EQ(Read("booleans.xlsx"),
            "A1 Boolean 1\nB1 Boolean 0\nC1 Boolean 1\nD1 Boolean 1\nE1 Boolean 1\n"
            "F1 Boolean 1\nG1 Boolean 0\n");
  EXPECT_EQ(Failure("badboolean.xlsx"),
            Workbooks("badboolean.xlsx") + ": damaged: S$D4: \"yes\" is not a boolean");
}

TEST(XlsxHostile, SheetsPastTheEdgesOfASheet) {
  EXPECT_EQ(Failure("widecell.xlsx"), Workbooks("widecell.xlsx") +
                                          ": damaged: xl/worksheets/sheet1.xml: cell reference "
                                          "\"XFE1\" is not a cell of a sheet");
  EXPECT_EQ(Failure("widerow.xlsx"),
            Workbooks("widerow.xlsx") +
                ": damaged: xl/worksheets/sheet1.xml: more columns than a sheet holds");
  EXPECT_EQ(Failure("deeprow.xlsx"), Workbooks("deeprow.xlsx") +
                                         ": damaged: xl/worksheets/sheet1.xml: row number "
                                         "\"1048577\" is not a row of a sheet");
  EXPECT_EQ(Read("lastcell.xlsx"), "XFD1048576 Number 7\n");
  EXPECT_EQ(Read("nested.xlsx"), "A1 Number 1\n");
  const std::string empty = ErrorOf([] { OpenWorkbook(Workbooks("emptypart.xlsx")); });
  EXPECT_EQ(empty.rfind(Workbooks("emptypart.xlsx") + ": damaged: xl/worksheets/sheet1.xml: ", 0),
            0u)
      << empty;
}

}  // namespace
}  // namespace tabrix::formats

// The .xls reader on workbooks written by xlwt.
#include <gtest/gtest.h>

#include "driver/tests/formats/Cells.h"

namespace tabrix::formats {
namespace {

using testing::ErrorOf;
using testing::ReadAll;
using testing::Workbooks;

TEST(Xls, SheetsCellsAndDates) {
  auto book = OpenWorkbook(Workbooks("legacy.xls"));
  ASSERT_EQ(book->Tables().size(), 2u);
  EXPECT_EQ(book->Tables()[0].name, "Legacy");
  EXPECT_EQ(book->Tables()[1].name, "Second Sheet");
  EXPECT_TRUE(book->Tables()[1].isSheet);
  EXPECT_EQ(book->Tables()[1].sheet, 1u);
  EXPECT_FALSE(book->Date1904());
  EXPECT_EQ(ReadAll(*book, 0),
            "A1 Text Name\n"
            "B1 Text Amount\n"
            "C1 Text When\n"
            "A2 Text Zürich\n"
            "B2 Number 42.5\n"
            "C2 DateTime 2026-01-31 12:00:00.000\n"
            "B3 Number 7\n"
            "C3 DateTime 2026-02-01 00:00:00.000\n");
  EXPECT_EQ(ReadAll(*book, 1), "D4 Text far\n");
  EXPECT_NE(ErrorOf([&] { ReadAll(*book, 2); }), "no error");
}

TEST(Xls, The1904DateSystem) {
  auto book = OpenWorkbook(Workbooks("legacy1904.xls"));
  EXPECT_TRUE(book->Date1904());
  EXPECT_EQ(ReadAll(*book, 0), "A1 DateTime 2026-01-31 00:00:00.000\n");
}

TEST(Xls, ATruncatedFileIsDamaged) {
  const std::string error = ErrorOf([&] { OpenWorkbook(Workbooks("truncated.xls")); });
  EXPECT_EQ(error.rfind(Workbooks("truncated.xls: damaged: "), 0), 0u) << error;
}

// A file the fuzzer found that makes FreeXL read beyond a buffer while it converts text:
// FreeXL runs in a child process, so at worst (as under the sanitizers, which stop the
// child there) that process ends, and the file is reported damaged.
TEST(Xls, AFileThatBreaksFreeXlIsDamagedNotACrash) {
  const std::string path = std::string(TABRIX_HOSTILE) + "/FreeXlOverread.xls";
  const std::string error = ErrorOf([&] { OpenWorkbook(path); });
  EXPECT_EQ(error.rfind(path + ": damaged: ", 0), 0u) << error;
}

}  // namespace
}  // namespace tabrix::formats

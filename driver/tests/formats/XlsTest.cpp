// The .xls reader on workbooks written by xlwt.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cerrno>

#include "driver/tests/formats/Cells.h"

namespace tabrix::formats {
namespace {

using testing::ErrorOf;
using testing::ReadAll;
using testing::Recorder;
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

// The format keeps booleans and errors in one kind of record, which FreeXL reads as numbers
// (an error as 1): they keep their own kinds.
TEST(Xls, BooleansAndErrorsKeepTheirKinds) {
  auto book = OpenWorkbook(Workbooks("kinds.xls"));
  Recorder cells;
  book->ReadSheet(0, cells);
  auto at = [&](uint32_t row, uint32_t column) { return cells.byPosition[{row, column}]; };
  EXPECT_EQ(at(0, 0), "A1 Boolean 1");
  EXPECT_EQ(at(0, 1), "B1 Boolean 0");
  EXPECT_EQ(at(0, 2), "C1 Number 3.5");
  EXPECT_EQ(at(1, 0), "A2 Error #DIV/0!");
  EXPECT_EQ(at(1, 1), "B2 Error #N/A");
  EXPECT_EQ(at(2, 0), "A3 Text \u00e9" + std::string(9000, 'x'));
}

TEST(Xls, AWorkbookOfOneEmptySheetIsEmptyNotDamaged) {
  auto book = OpenWorkbook(Workbooks("emptysheet.xls"));
  ASSERT_EQ(book->Tables().size(), 1u);
  EXPECT_EQ(book->Tables()[0].name, "Nothing");
  EXPECT_EQ(ReadAll(*book, 0), "");
}

// Damage FreeXL reads on from, as a workbook with fewer cells or none: told by what is broken.
TEST(Xls, DamageIsToldNotReadAsAnEmptyWorkbook) {
  const std::pair<const char*, const char*> cases[] = {
      {"flippedbof.xls", "damaged: the workbook stream does not start as a workbook"},
      {"nosheets.xls", "damaged: the workbook lists no sheets"},
      {"longrecord.xls", "damaged: the records of sheet 1 end inside a record"},
      {"fatloop.xls", "damaged: the chain of sectors of a stream runs in a loop"},
      {"shortchain.xls", "damaged: a stream is cut short: its chain of sectors ends early"},
      {"outside.xls", "damaged: the chain of sectors of a stream is broken"},
  };
  for (const auto& [file, reason] : cases) {
    EXPECT_EQ(ErrorOf([&] { OpenWorkbook(Workbooks(file)); }), Workbooks(file) + ": " + reason);
  }
  // A dimension that leaves cells out: FreeXL then reads no sheet at all. It does the same
  // with a valid text of 32,767 characters: told, never an empty workbook.
  for (const auto& [file, listed] :
       {std::pair("lostcells.xls", "2 sheets"), std::pair("longtext.xls", "1 sheet")}) {
    EXPECT_EQ(ErrorOf([&] { OpenWorkbook(Workbooks(file)); }),
              Workbooks(file) +
                  ": damaged, or beyond what the .xls reader reads: the workbook lists " + listed +
                  " and the reader finds none");
  }
  // Every helper program was waited for: none is left behind as a zombie.
  errno = 0;
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

}  // namespace
}  // namespace tabrix::formats

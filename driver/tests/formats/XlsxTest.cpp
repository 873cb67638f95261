// The .xlsx reader on workbooks written by xlsxwriter and openpyxl, and on hand-made packages
// holding what writers never write.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "driver/tests/formats/Cells.h"

namespace tabrix::formats {
namespace {

using testing::ErrorOf;
using testing::ReadAll;
using testing::Recorder;
using testing::Workbooks;

std::string TableList(const Workbook& book) {
  std::string out;
  for (const TableInfo& t : book.Tables()) {
    out += t.name + (t.isSheet ? " sheet " : " name ") + std::to_string(t.sheet);
    if (t.hasRange)
      out += " " + CellName(t.range.firstRow, t.range.firstColumn) + ":" +
             CellName(t.range.lastRow, t.range.lastColumn);
    out += "\n";
  }
  return out;
}

TEST(Xlsx, SheetsThenNamesWithTheirRanges) {
  auto book = OpenWorkbook(Workbooks("kinds.xlsx"));
  // Built-in names (the filter's), constants and unions are no tables; a sheet's own name is
  // "Sheet$Name".
  EXPECT_EQ(TableList(*book),
            "Data sheet 0 A1:E6\n"
            "My $ Sheet sheet 1 B3:D1048576\n"
            "Empty sheet 2 A1:A1\n"
            "My $ Sheet$Local name 1 B3:D4\n"
            "Sales name 0 A1:D3\n");
  EXPECT_FALSE(book->Date1904());
}

TEST(Xlsx, EveryKindOfCell) {
  auto book = OpenWorkbook(Workbooks("kinds.xlsx"));
  EXPECT_EQ(ReadAll(*book, 0),
            "A1 Text Name\n"
            "B1 Text Amount\n"
            "C1 Text When\n"
            "D1 Text Flag\n"
            "E1 Text Twice\n"
            "A2 Text Zürich\n"
            "B2 Number 42.5\n"
            "C2 DateTime 2026-01-31 00:00:00.000\n"
            "D2 Boolean 1\n"
            "E2 Number 85\n"
            "A3 Text 日本語 😀\n"
            "B3 Number -0.00125\n"
            "C3 DateTime 2026-02-01 13:30:15.000\n"
            "D3 Boolean 0\n"
            "E3 Text ab\n"
            "A4 Text plain bold end\n"
            "B4 DateTime 1900-01-01 12:00:00.000\n"
            "C4 DateTime 1899-12-31 18:00:00.000\n"
            "D4 Number 3.25\n"
            "E4 Number 7\n"
            "A5 Number 2\n"
            "B5 DateTime 2023-03-15 00:00:00.000\n"
            "C5 Text a_x0041_b\n"
            "D5 Text bell\a\n"
            "E5 Text Zürich\n"
            "A6 Number -1\n"
            "B6 Number 3000000\n");
}

TEST(Xlsx, SparseSheetsTheLastRowAndEmptySheets) {
  auto book = OpenWorkbook(Workbooks("kinds.xlsx"));
  EXPECT_EQ(ReadAll(*book, 1), "B3 Text sparse\nD1048576 Number 7\n");
  EXPECT_EQ(ReadAll(*book, 2), "");
  // A defined name is no sheet of its own: its cells are read through its sheet.
  EXPECT_NE(ErrorOf([&] { ReadAll(*book, 3); }), "no error");
  EXPECT_NE(ErrorOf([&] { ReadAll(*book, 99); }), "no error");
}

TEST(Xlsx, TheSinkCanStopTheStream) {
  auto book = OpenWorkbook(Workbooks("kinds.xlsx"));
  Recorder first(3);
  book->ReadSheet(0, first);
  EXPECT_EQ(first.text, "A1 Text Name\nB1 Text Amount\nC1 Text When\n");
  // and the next read starts from the beginning again
  EXPECT_EQ(ReadAll(*book, 1), "B3 Text sparse\nD1048576 Number 7\n");
  Recorder again(1);
  book->ReadSheet(0, again);
  EXPECT_EQ(again.text, "A1 Text Name\n");
}

// A sink that reads another sheet of the same workbook for each cell it is given.
class NestedReader : public CellSink {
 public:
  explicit NestedReader(Workbook& book) : book_(book) {}
  bool OnCell(const Cell&) override {
    inner += ReadAll(book_, 1);
    return true;
  }
  std::string inner;

 private:
  Workbook& book_;
};

TEST(Xlsx, ReadsRunAtOnceAndMayNest) {
  auto book = OpenWorkbook(Workbooks("kinds.xlsx"));
  const std::string expected = ReadAll(*book, 0);
  std::vector<std::string> results(4);
  std::vector<std::thread> threads;
  for (auto& result : results)
    threads.emplace_back([&] {
      for (int i = 0; i < 20; ++i) result = ReadAll(*book, 0);
    });
  for (auto& t : threads) t.join();
  for (const auto& result : results) EXPECT_EQ(result, expected);

  NestedReader nested(*book);
  book->ReadSheet(2, nested);  // the empty sheet: no cells, no nested reads
  EXPECT_EQ(nested.inner, "");
  book->ReadSheet(1, nested);
  EXPECT_EQ(nested.inner, "B3 Text sparse\nD1048576 Number 7\nB3 Text sparse\nD1048576 Number 7\n");
}

TEST(Xlsx, The1904DateSystem) {
  auto book = OpenWorkbook(Workbooks("date1904.xlsx"));
  EXPECT_TRUE(book->Date1904());
  EXPECT_EQ(ReadAll(*book, 0), "A1 DateTime 2026-01-31 06:00:00.000\n");
}

TEST(Xlsx, OpenpyxlCells) {
  auto book = OpenWorkbook(Workbooks("openpyxl.xlsx"));
  EXPECT_EQ(TableList(*book), "Mixed sheet 0 A1:E2\n");
  // A formula openpyxl wrote has no cached value: no cell.
  EXPECT_EQ(ReadAll(*book, 0),
            "A1 Text text\n"
            "B1 Number 3\n"
            "C1 Boolean 1\n"
            "D1 Error #N/A\n"
            "E1 DateTime 2026-03-04 05:06:07.000\n");
}

TEST(Xlsx, IsoDatesBecomeSerials) {
  auto book = OpenWorkbook(Workbooks("isodates.xlsx"));
  EXPECT_EQ(ReadAll(*book, 0),
            "A1 DateTime 2026-03-04 05:06:07.000\nA2 DateTime 1900-01-01 00:00:00.000\n");
}

TEST(Xlsx, CellsInAnyOrderWithAndWithoutReferences) {
  auto book = OpenWorkbook(Workbooks("order.xlsx"));
  EXPECT_EQ(TableList(*book), "S sheet 0\n");
  // A cell without a reference is the one after the previous cell (the first of its row when
  // it is the row's first); a row without a number is the one after the previous row. Rich text and
  // inline runs are joined, phonetic runs left out, escapes undone; a cell with neither value nor
  // text is no cell.
  EXPECT_EQ(ReadAll(*book, 0),
            "C3 Number 33\n"
            "A3 Number 31\n"
            "B1 Text one\n"
            "C1 Number 12\n"
            "D1 Text rich \n"
            "A2 Number 21\n"
            "B1 Number 99\n"
            "A9 Text inline\n"
            "B9 Text line\r\nbreak 😀\n"
            "C9 Error #REF!\n"
            "E9 Boolean 1\n"
            "F9 Text via\n"
            "C14 Number 5\n"
            "D14 Number 6\n");
}

TEST(Xlsx, DamagedCellsAreNamed) {
  const std::string dir = Workbooks("");
  auto book = OpenWorkbook(Workbooks("badindex.xlsx"));
  EXPECT_EQ(ErrorOf([&] { ReadAll(*book, 0); }),
            dir + "badindex.xlsx: damaged: S$B7: shared string 40 of 3");
  book = OpenWorkbook(Workbooks("badref.xlsx"));
  EXPECT_EQ(ErrorOf([&] { ReadAll(*book, 0); }),
            dir +
                "badref.xlsx: damaged: xl/worksheets/sheet1.xml: cell reference \"1A\" is "
                "not a cell of a sheet");
  book = OpenWorkbook(Workbooks("badnumber.xlsx"));
  EXPECT_EQ(ErrorOf([&] { ReadAll(*book, 0); }),
            dir + "badnumber.xlsx: damaged: S$C2: \"12abc\" is not a number");
}

TEST(Xlsx, MalformedXmlIsDamage) {
  const std::string dir = Workbooks("");
  auto book = OpenWorkbook(Workbooks("malformed.xlsx"));
  Recorder cells;
  EXPECT_EQ(ErrorOf([&] { book->ReadSheet(0, cells); }),
            dir + "malformed.xlsx: damaged: xl/worksheets/sheet1.xml: mismatched tag at line 1");
  EXPECT_EQ(cells.text, "");  // the cell before the fault never ended
  // Document type declarations (entity expansion) have no place in a workbook.
  EXPECT_EQ(ErrorOf([&] { OpenWorkbook(Workbooks("doctype.xlsx")); }),
            dir +
                "doctype.xlsx: damaged: xl/worksheets/sheet1.xml: a document type "
                "declaration at line 1");
}

TEST(Xlsx, ZipBombsAreRefused) {
  const std::string dir = Workbooks("");
  auto book = OpenWorkbook(Workbooks("bomb.xlsx"));
  EXPECT_EQ(ErrorOf([&] { ReadAll(*book, 0); }),
            dir +
                "bomb.xlsx: refused: xl/worksheets/sheet1.xml inflates to more than 500 "
                "times its stored size (a zip bomb)");
  EXPECT_EQ(ErrorOf([&] { OpenWorkbook(Workbooks("huge.xlsx")); }),
            dir +
                "huge.xlsx: refused: xl/worksheets/sheet1.xml inflates to 3221225472 bytes, "
                "beyond the limit of 1073741824");
}

TEST(Xlsx, PackagesThatAreNoWorkbooks) {
  const std::string dir = Workbooks("");
  EXPECT_EQ(ErrorOf([&] { OpenWorkbook(Workbooks("nobook.xlsx")); }),
            dir + "nobook.xlsx: not a workbook (a zip archive without a workbook part)");
  EXPECT_EQ(ErrorOf([&] { OpenWorkbook(Workbooks("noid.xlsx")); }),
            dir + "noid.xlsx: damaged: the part of sheet \"S\" is missing");
  EXPECT_EQ(ErrorOf([&] { OpenWorkbook(Workbooks("document.xlsx")); }),
            dir + "document.xlsx: not a workbook (an Office document of another kind)");
  EXPECT_EQ(ErrorOf([&] { OpenWorkbook(Workbooks("binary.xlsx")); }),
            dir + "binary.xlsx: not a workbook this driver reads (a binary workbook)");
  const std::string truncated = ErrorOf([&] { OpenWorkbook(Workbooks("truncated.xlsx")); });
  EXPECT_EQ(truncated.rfind(dir + "truncated.xlsx: damaged: not a complete zip archive (", 0), 0u)
      << truncated;
}

}  // namespace
}  // namespace tabrix::formats

// A folder of text files as a database: which files are tables, how schema.ini and the data
// source's options read them, and what each record streams as.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "driver/formats/SchemaIni.h"
#include "driver/formats/TextValues.h"
#include "driver/tests/formats/Cells.h"

namespace tabrix::formats {
namespace {

using testing::ErrorOf;

// The cells, then what the reader told.
class Told : public testing::Recorder {
 public:
  void OnSize(uint32_t rows, uint32_t columns) override {
    text += "size " + std::to_string(rows) + "x" + std::to_string(columns) + "\n";
  }
  void OnWarning(const std::string& message) override { text += "warning " + message + "\n"; }
};

class TextFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/tabrix-text-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << bytes;
  }
  std::string Read(const std::string& table, const DatabaseOptions& options = {}) {
    auto db = OpenDatabase(DatabaseKind::Text, dir_, options);
    for (size_t t = 0; t < db->Tables().size(); ++t) {
      if (db->Tables()[t].name != table) continue;
      Told told;
      db->ReadSheet(t, told);
      return told.text;
    }
    return "no table " + table;
  }
  std::string dir_;
};

TEST_F(TextFolderTest, TheFilesWithTheExtensionsAreTheTables) {
  Write("sales.csv", "a\n1\n");
  Write("Notes.TXT", "a\n");
  Write("data.tab", "a\n");
  Write("old.asc", "a\n");
  Write("README", "a\n");
  Write("image.png", "a\n");
  Write("schema.ini", "");
  std::filesystem::create_directory(dir_ + "/folder.csv");  // never a table
  ASSERT_EQ(mkfifo((dir_ + "/pipe.csv").c_str(), 0600), 0);
  auto db = OpenDatabase(DatabaseKind::Text, dir_, {});
  std::string names;
  for (const TableInfo& t : db->Tables()) {
    names += t.name + "=" + t.file.substr(dir_.size() + 1);
    for (const auto& alias : t.aliases) names += " " + alias;
    names += "\n";
  }
  EXPECT_EQ(names,
            "Notes#TXT=Notes.TXT Notes.TXT\n"
            "data#tab=data.tab data.tab\n"
            "old#asc=old.asc old.asc\n"
            "pipe#csv=pipe.csv pipe.csv\n"
            "sales#csv=sales.csv sales.csv\n");
  // The FIFO is listed, so that reading it is refused by name, and nothing waits on it.
  EXPECT_EQ(ErrorOf([&] { Read("pipe#csv"); }),
            dir_ + "/pipe.csv: a FIFO, not a file that can be read");

  DatabaseOptions options;
  options.extensions = {"", "png"};  // a name without an extension, and .png
  db = OpenDatabase(DatabaseKind::Text, dir_, options);
  ASSERT_EQ(db->Tables().size(), 2u);
  EXPECT_EQ(db->Tables()[0].name, "README");
  EXPECT_TRUE(db->Tables()[0].aliases.empty());
  EXPECT_EQ(db->Tables()[1].name, "image#png");

  EXPECT_EQ(ErrorOf([&] { OpenDatabase(DatabaseKind::Text, dir_ + "/sales.csv", {}); }),
            dir_ + "/sales.csv: a file, not a folder of tables");
  EXPECT_EQ(ErrorOf([&] { OpenDatabase(DatabaseKind::Text, dir_ + "/none", {}); }),
            dir_ + "/none: no such folder");
}

TEST_F(TextFolderTest, FieldsStreamAsTheKindsTheirFirstRowsDecided) {
  // Column a: numbers, then text below the scanned rows (told by the engine as a misfit);
  // b: codes with leading zeros, kept as text; c: dates; d: mixed, every value its text.
  Write("t.csv",
        "a,b,c,d\n"
        "1.5,007,2026-01-31,1\n"
        "-2e3,012,2026-02-01 10:20:30,x\n"
        "n/a,,2026-02-02,1.50\n");
  DatabaseOptions options;
  options.maxScanRows = 2;
  EXPECT_EQ(Read("t#csv", options),
            "A1 Text a\nB1 Text b\nC1 Text c\nD1 Text d\n"
            "A2 Number 1.5\nB2 Text 007\nC2 DateTime 2026-01-31 00:00:00.000\nD2 Text 1\n"
            "A3 Number -2000\nB3 Text 012\nC3 DateTime 2026-02-01 10:20:30.000\nD3 Text x\n"
            "A4 Text n/a\nC4 DateTime 2026-02-02 00:00:00.000\nD4 Text 1.50\n"
            "size 4x4\n");
  auto db = OpenDatabase(DatabaseKind::Text, dir_, options);
  EXPECT_EQ(db->Tables()[0].firstRowHasNames, 1);
  EXPECT_EQ(db->Tables()[0].maxScanRows, 2);
}

TEST_F(TextFolderTest, RaggedRowsAndExtraFields) {
  Write("r.csv", "a,b,c\n1\n2,3,4,5,6\n7,8,9,10\n");
  EXPECT_EQ(Read("r#csv"),
            "A1 Text a\nB1 Text b\nC1 Text c\nA2 Number 1\n"
            "A3 Number 2\nB3 Number 3\nC3 Number 4\nA4 Number 7\nB4 Number 8\nC4 Number 9\n"
            "warning '" + dir_ + "/r.csv' line 3 has 5 fields where the table has 3: the fields "
            "after the first 3 are left out (and in 1 more lines)\n"
            "size 4x3\n");
  // Without a row of names, the widest of the first rows makes the columns.
  DatabaseOptions options;
  options.colNameHeader = 0;
  EXPECT_EQ(Read("r#csv", options).substr(0, 10), "A1 Text a\n");
  EXPECT_NE(Read("r#csv", options).find("size 4x5\n"), std::string::npos);
}

TEST_F(TextFolderTest, SchemaIniDescribesAFile) {
  Write("schema.ini",
        "; comments and blank lines are skipped\n"
        "[semi.txt]\n"
        "Format=Delimited(;)\n"
        "ColNameHeader=False\n"
        "DecimalSymbol=,\n"
        "DateTimeFormat=dd.mm.yyyy\n"
        "CharacterSet=OEM\n"
        "Col1=\"Full Name\" Text Width 30\n"
        "Col2=Amount Currency\n"
        "Col3=Day Date\n"
        "Col4=Paid Bit\n"
        "[fixed.txt]\n"
        "Format=FixedLength\n"
        "ColNameHeader=False\n"
        "Col1=Code Text Width 3\n"
        "Col2=Qty Long Width 4\n");
  Write("semi.txt", "M\x81ller;12,50;31.01.2026;Yes\nX;abc;32.01.2026;0\n");
  EXPECT_EQ(Read("semi#txt"),
            "A1 Text Müller\nB1 Number 12.5\nC1 DateTime 2026-01-31 00:00:00.000\nD1 Boolean 1\n"
            "A2 Text X\nB2 Text abc\nC2 Text 32.01.2026\nD2 Boolean 0\n"
            "size 2x4\n");
  Write("fixed.txt", "AB   12\nXYZ1234\n");
  EXPECT_EQ(Read("fixed#txt"),
            "A1 Text AB\nB1 Number 12\nA2 Text XYZ\nB2 Number 1234\nsize 2x2\n");
  auto db = OpenDatabase(DatabaseKind::Text, dir_, {});
  ASSERT_EQ(db->Tables().size(), 2u);
  const auto& columns = db->Tables()[1].columns;
  ASSERT_EQ(columns.size(), 4u);
  EXPECT_EQ(columns[0].name, "Full Name");
  EXPECT_EQ(columns[0].width, 30u);
  EXPECT_EQ(columns[1].type, DeclaredType::Currency);
  EXPECT_EQ(columns[3].type, DeclaredType::Boolean);
  // How a file is read is part of its cache key: another schema reads it again.
  EXPECT_NE(db->Tables()[0].readAs, db->Tables()[1].readAs);
}

TEST_F(TextFolderTest, ASchemaThatCannotBeTakenNamesItsLine) {
  const std::string ini = dir_ + "/schema.ini";
  auto error = [&](const std::string& text) {
    Write("schema.ini", text);
    Write("a.csv", "x\n");
    return ErrorOf([&] { OpenDatabase(DatabaseKind::Text, dir_, {}); });
  };
  EXPECT_EQ(error("[a.csv]\nCol1=x Blob\n"),
            ini + " line 2: Col1's type 'Blob' is not one of Bit, Byte, Short, Long, Currency, "
                  "Single, Double, DateTime, Date, Text, Memo");
  EXPECT_EQ(error("[a.csv]\nCol1=x Text\nCol3=z Text\n"), ini + " line 3: Col3 follows no Col2");
  EXPECT_EQ(error("[a.csv]\n\nFormat=Fancy\n"),
            ini + " line 3: Format 'Fancy' is not CSVDelimited, TabDelimited, Delimited(x) or FixedLength");
  EXPECT_EQ(error("[a.csv]\nFormat=FixedLength\nCol1=x Text\n"),
            ini + " line 3: FixedLength: Col1 ('x') has no Width");
  EXPECT_EQ(error("[a.csv]\nCol1=x Text Width\n"),
            ini + " line 2: Col1: 'Width' is not understood (expected Width n)");
  EXPECT_EQ(error("[a.csv]\nMaxScanRows=many\n"),
            ini + " line 2: MaxScanRows must be a number of rows (0 for every row), not 'many'");
  EXPECT_EQ(error("Format=CSVDelimited\n"), ini + " line 1: a key before the first [file] section");
  // A schema.ini that is no file is told, not taken as no schema.
  std::filesystem::remove(ini);
  std::filesystem::create_directory(ini);
  EXPECT_EQ(ErrorOf([&] { OpenDatabase(DatabaseKind::Text, dir_, {}); }),
            ini + ": a folder, not a file that can be read");
}

TEST_F(TextFolderTest, ByteOrderMarksAndCharacterSets) {
  Write("bom.csv", "\xEF\xBB\xBFname\nZ\xC3\xBCrich\n");
  EXPECT_EQ(Read("bom#csv"), "A1 Text name\nA2 Text Zürich\nsize 2x1\n");
  DatabaseOptions oem;
  oem.characterSet = "OEM";  // the mark wins: the file says what it is
  EXPECT_EQ(Read("bom#csv", oem), "A1 Text name\nA2 Text Zürich\nsize 2x1\n");
  // A file declared UTF-8 whose bytes are not: read, and told.
  DatabaseOptions options;
  options.characterSet = "65001";
  Write("bad.csv", "name\nZ\xFCrich\n");
  EXPECT_EQ(Read("bad#csv", options),
            "A1 Text name\nA2 Text Z\xEF\xBF\xBDrich\nwarning '" + dir_ +
                "/bad.csv' line 2: bytes that are not UTF-8, read as U+FFFD (CharacterSet=65001)\n"
                "size 2x1\n");
  Write("wide.csv", std::string("\xFF\xFEn\0a\0", 6));
  EXPECT_EQ(ErrorOf([&] { Read("wide#csv"); }),
            dir_ + "/wide.csv: UTF-16 text, which is not read: save it as UTF-8");
  // A .tab file is tab-separated unless something says otherwise.
  Write("t.tab", "a\tb\n1,5\t2\n");
  EXPECT_EQ(Read("t#tab"), "A1 Text a\nB1 Text b\nA2 Text 1,5\nB2 Number 2\nsize 2x2\n");
}

TEST(TextValuesTest, NumbersAsTheyAreWritten) {
  double v = 0;
  EXPECT_TRUE(ParseTextNumber(" -1.5e3 ", '.', "", true, v));
  EXPECT_EQ(v, -1500);
  EXPECT_TRUE(ParseTextNumber("+.5", '.', "", true, v));
  EXPECT_EQ(v, 0.5);
  EXPECT_TRUE(ParseTextNumber("0.25", '.', "", true, v));
  EXPECT_TRUE(ParseTextNumber("12,5", ',', "", true, v));
  EXPECT_EQ(v, 12.5);
  EXPECT_TRUE(ParseTextNumber("€ 3,10", ',', "€", false, v));
  EXPECT_EQ(v, 3.1);
  EXPECT_TRUE(ParseTextNumber("3.10$", '.', "$", false, v));
  for (const char* no : {"", "-", ".", "1e", "1.2.3", "inf", "nan", "0x1A", "1,5", "12 34", "1e99999"}) {
    EXPECT_FALSE(ParseTextNumber(no, '.', "", false, v)) << no;
  }
  // A guess keeps as text what a number would change; a declared number takes them.
  EXPECT_FALSE(ParseTextNumber("007", '.', "", true, v));
  EXPECT_FALSE(ParseTextNumber("1234567890123456", '.', "", true, v));
  EXPECT_TRUE(ParseTextNumber("007", '.', "", false, v));
  EXPECT_EQ(v, 7);
}

TEST(TextValuesTest, DatesByTheirFormat) {
  auto date = [](std::string_view text, std::string_view format) {
    double serial = 0;
    if (!ParseDateByFormat(text, format, serial)) return std::string("no");
    char out[40];
    const auto when = SerialToDateTime(serial, false);
    std::snprintf(out, sizeof out, "%04d-%02d-%02d %02d:%02d:%02d", when->year, when->month,
                  when->day, when->hour, when->minute, when->second);
    return std::string(out);
  };
  EXPECT_EQ(date("31.01.2026", "dd.mm.yyyy"), "2026-01-31 00:00:00");
  EXPECT_EQ(date("1/2/26 3:04:05 PM", "m/d/yy h:nn:ss AM/PM"), "2026-01-02 15:04:05");
  EXPECT_EQ(date("12:30 am", "hh:mm AM/PM"), "1899-12-31 00:30:00");  // a time of day: day 0
  EXPECT_EQ(date("05-Mar-1999", "dd-mmm-yyyy"), "1999-03-05 00:00:00");
  EXPECT_EQ(date("2026-01-31", "yyyy-mm-dd hh:nn:ss"), "2026-01-31 00:00:00");  // no time part
  EXPECT_EQ(date("2026-01-31 23:59:58", "yyyy-mm-dd hh:nn:ss"), "2026-01-31 23:59:58");
  EXPECT_EQ(date("29.02.2025", "dd.mm.yyyy"), "no");
  EXPECT_EQ(date("31.01.2026x", "dd.mm.yyyy"), "no");
  EXPECT_EQ(date("31-01-2026", "dd.mm.yyyy"), "no");
  EXPECT_EQ(date("10:61", "hh:nn"), "no");
}

}  // namespace
}  // namespace tabrix::formats

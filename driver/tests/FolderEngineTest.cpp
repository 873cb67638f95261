// The engine over a folder of text files: the tables' names, declared and guessed columns,
// what is told about values and lines, and each file read once while it is unchanged.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <fstream>

#include "sql/Engine.h"

namespace tabrix::sql {
namespace {

class FolderEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/tabrix-folder-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ + "/" + name, std::ios::binary | std::ios::trunc) << bytes;
  }
  std::unique_ptr<Database> Open(formats::DatabaseOptions options = {}) {
    ConnectOptions connect;
    connect.path = dir_;
    connect.kind = formats::DatabaseKind::Text;
    connect.database = options;
    return Database::Open(connect);
  }
  // The rows as "a|b|NULL" lines, then the warnings.
  static std::string Run(Database& db, const std::string& sql) {
    std::vector<Warning> warnings;
    auto query = db.Prepare(sql);
    query->Execute(warnings);
    std::string out;
    for (bool more = query->HasRow(); more; more = query->Next()) {
      for (int c = 0; c < query->ColumnCount(); ++c) {
        if (c) out += "|";
        if (query->Type(c) == ValueType::Null) {
          out += "NULL";
        } else if (query->Type(c) == ValueType::Real) {
          char buffer[32];
          out.append(buffer, FormatNumber(query->Real(c), buffer));
        } else {
          out += query->Text(c);
        }
      }
      out += "\n";
    }
    for (const Warning& w : warnings) out += w.state + " " + w.message + "\n";
    return out;
  }
  static std::string ErrorOf(const std::function<void()>& f) {
    try {
      f();
    } catch (const EngineError& e) {
      return e.State() + " " + e.what();
    }
    return "no error";
  }
  std::string dir_;
};

TEST_F(FolderEngineTest, TablesAreNamedByTheirFilesBothWays) {
  Write("sales.csv", "City,Amount\nBern,7\nBasel,100.25\n");
  Write("My Data.txt", "x\n1\n");
  auto db = Open();
  std::string names;
  for (const auto& t : db->Tables()) names += t.name + ";";
  EXPECT_EQ(names, "My Data#txt;sales#csv;");
  const std::string rows = "Basel|100.25\nBern|7\n";
  EXPECT_EQ(Run(*db, "SELECT City, Amount FROM sales#csv ORDER BY City"), rows);
  EXPECT_EQ(Run(*db, "SELECT City, Amount FROM [sales.csv] ORDER BY City"), rows);
  EXPECT_EQ(Run(*db, "SELECT City, Amount FROM `SALES#CSV` ORDER BY City"), rows);
  EXPECT_EQ(Run(*db, "SELECT s.City FROM sales#csv s JOIN [sales.csv] t ON s.City = t.City WHERE s.Amount > 50"),
            "Basel\n");
  EXPECT_EQ(Run(*db, "SELECT x FROM [My Data#txt]"), "1\n");
  EXPECT_EQ(ErrorOf([&] { db->Prepare("SELECT * FROM sales"); }),
            "42S02 [Tabrix] no table 'sales' in the folder '" + dir_ +
                "': its tables are 'My Data#txt', 'sales#csv'");
  EXPECT_EQ(ErrorOf([&] { db->Prepare("DELETE FROM sales#csv"); }),
            "42000 [Tabrix] the folder '" + dir_ +
                "' is read-only: DELETE is refused (the driver never changes a file)");
  const auto columns = db->Columns("sales#csv");
  ASSERT_EQ(columns.size(), 2u);
  EXPECT_EQ(columns[0].first, "City");
  EXPECT_EQ(columns[0].second, ColumnType::Varchar);
  EXPECT_EQ(columns[1].second, ColumnType::Double);
}

TEST_F(FolderEngineTest, WhatCannotBeKeptIsToldNamingTheRowAndTheLine) {
  Write("schema.ini", "[declared.csv]\nColNameHeader=True\nCol1=N Long\nCol2=D Date\n");
  Write("declared.csv", "ignored,names\n1,2026-01-31\nx,soon\n3\n");
  Write("guessed.csv", "N,T\n1,a\n2,b\nthree,c,extra\n");
  formats::DatabaseOptions options;
  options.maxScanRows = 2;
  auto db = Open(options);
  EXPECT_EQ(Run(*db, "SELECT N, D FROM declared#csv"),
            "1|2026-01-31 00:00:00\nNULL|NULL\n3|NULL\n"
            "01000 [Tabrix] column 'N' holds numbers, as the file declares: the value in row 3 of "
            "'declared#csv' is not one and comes back NULL\n"
            "01000 [Tabrix] column 'D' holds dates, as the file declares: the value in row 3 of "
            "'declared#csv' is not one and comes back NULL\n");
  EXPECT_EQ(Run(*db, "SELECT N FROM guessed#csv"),
            "1\n2\nNULL\n"
            "01000 [Tabrix] '" + dir_ + "/guessed.csv' line 4 has 3 fields where the table has 2: the "
            "fields after the first 2 are left out\n"
            "01000 [Tabrix] column 'N' holds numbers, as its first 2 rows decided (MaxScanRows=2): "
            "the value in row 4 of 'guessed#csv' is not one and comes back NULL; MaxScanRows=0 "
            "keeps it as text\n");
  // Scanning every row keeps every value, as its text.
  options.maxScanRows = 0;
  EXPECT_EQ(Run(*Open(options), "SELECT N FROM guessed#csv").substr(0, 12), "1\n2\nthree\n01");
}

TEST_F(FolderEngineTest, AFileIsReadOnceWhileItIsUnchangedAndAgainOnceItChanged) {
  Write("t.csv", "a\n1\n");
  const size_t before = SheetsRead();
  {
    auto first = Open();
    EXPECT_EQ(Run(*first, "SELECT a FROM t#csv"), "1\n");
    auto second = Open();
    EXPECT_EQ(Run(*second, "SELECT a FROM t#csv"), "1\n");
    EXPECT_EQ(SheetsRead(), before + 1);
    // Read another way (another schema), it is another table.
    formats::DatabaseOptions noHeader;
    noHeader.colNameHeader = 0;
    EXPECT_EQ(Run(*Open(noHeader), "SELECT F1 FROM t#csv"), "a\n1\n");
    EXPECT_EQ(SheetsRead(), before + 2);
    // Changed, a new connection reads what it holds now; the open one keeps what it read.
    Write("t.csv", "a\n1\n22\n");
    auto third = Open();
    EXPECT_EQ(Run(*third, "SELECT a FROM t#csv"), "1\n22\n");
    EXPECT_EQ(Run(*first, "SELECT a FROM t#csv"), "1\n");
  }
  // A file removed since the connection opened is told by name.
  auto db = Open();
  std::filesystem::remove(dir_ + "/t.csv");
  EXPECT_EQ(ErrorOf([&] { db->Prepare("SELECT * FROM t#csv"); }),
            "HY000 [Tabrix] cannot read the table 't#csv': " + dir_ + "/t.csv: no such file");
}

TEST_F(FolderEngineTest, AFolderThatCannotBeOpenedIsToldAtConnect) {
  Write("schema.ini", "[t.csv]\nFormat=Sideways\n[absent.csv]\nFormat=Sideways\n");
  Write("t.csv", "a\n");
  EXPECT_EQ(ErrorOf([&] { Open(); }),
            "08001 [Tabrix] cannot open the folder '" + dir_ + "': " + dir_ +
                "/schema.ini line 2: Format 'Sideways' is not CSVDelimited, TabDelimited, "
                "Delimited(x) or FixedLength");
  std::filesystem::remove(dir_ + "/schema.ini");
  formats::DatabaseOptions options;
  options.characterSet = "EBCDIC";
  EXPECT_EQ(ErrorOf([&] { Open(options); }),
            "08001 [Tabrix] cannot open the folder '" + dir_ +
                "': the data source's CharacterSet 'EBCDIC' is not ANSI, OEM, 1252, 437, 850, "
                "65001 or UTF-8");
  ConnectOptions connect;
  connect.kind = formats::DatabaseKind::Text;
  connect.path = dir_ + "/missing";
  EXPECT_EQ(ErrorOf([&] { Database::Open(connect); }),
            "08001 [Tabrix] cannot open the folder '" + dir_ + "/missing': no such folder");
}

}  // namespace
}  // namespace tabrix::sql

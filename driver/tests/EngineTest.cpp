// The engine over in-memory workbooks: names, guessed types, values kept or told lost, tables
// and ranges, what is refused and how failures are named.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "FakeWorkbook.h"
#include "sql/Engine.h"

namespace tabrix::sql {
namespace {

using testing::Bool; using testing::Date; using testing::Err; using testing::FakeCell;
using testing::FakeWorkbook; using testing::Num; using testing::Str;

struct Outcome {
  std::vector<std::string> names;
  std::vector<ResultType> types;
  std::vector<std::vector<std::string>> rows;
  std::vector<Warning> warnings;
};

std::unique_ptr<Database> Open(FakeWorkbook* workbook, TableOptions options = {}) {
  ConnectOptions connect;
  connect.path = "/data/book.xlsx";
  connect.table = options;
  return Database::Open(connect, std::unique_ptr<formats::Workbook>(workbook));
}

Outcome Select(Database& db, const std::string& sql) {
  Outcome run;
  auto query = db.Prepare(sql);
  query->Execute(run.warnings);
  for (int c = 0; c < query->ColumnCount(); ++c) {
    run.names.push_back(query->Column(c).name);
    run.types.push_back(query->Column(c).type);
  }
  for (bool more = query->HasRow(); more; more = query->Next()) {
    std::vector<std::string> row;
    for (int c = 0; c < query->ColumnCount(); ++c) {
      switch (query->Type(c)) {
        case ValueType::Null: row.push_back("NULL"); break;
        case ValueType::Integer: row.push_back(std::to_string(query->Integer(c))); break;
        case ValueType::Real: {
          char buffer[32];
          row.emplace_back(buffer, FormatNumber(query->Real(c), buffer));
          break;
        }
        case ValueType::Text: row.emplace_back(query->Text(c)); break;
      }
    }
    run.rows.push_back(row);
  }
  return run;
}

std::string StateOf(Database& db, const std::string& sql) {
  try {
    std::vector<Warning> warnings;
    db.Prepare(sql)->Execute(warnings);
  } catch (const EngineError& e) {
    return e.State() + " " + e.what();
  }
  return "no error";
}

using Rows = std::vector<std::vector<std::string>>;

TEST(EngineNames, HeaderRowGivesNamesBlanksAndRepeatsAreMadeUnique) {
  auto* book = new FakeWorkbook;
  book->Sheet("S", {Str("A1", "Name"), Str("C1", "name"), Str("D1", "  Name1 "), Num("E1", 2026),
                    Str("A2", "x"), Str("B2", "y"), Str("C2", "z"), Str("D2", "w"), Str("E2", "v")});
  auto db = Open(book);
  Outcome run = Select(*db, "SELECT * FROM [S$]");
  // "name" repeats "Name" (SQL compares without case); its numbered form would take D's own.
  EXPECT_EQ(run.names, (std::vector<std::string>{"Name", "F2", "name_1", "Name1", "2026"}));
  EXPECT_EQ(run.rows, (Rows{{"x", "y", "z", "w", "v"}}));
}

TEST(EngineNames, WithoutHeaderTheColumnsAreNumberedAndTheFirstRowIsData) {
  auto* book = new FakeWorkbook;
  book->Sheet("S", {Str("B2", "Name"), Num("C2", 1), Str("B3", "x"), Num("C3", 2)});
  auto db = Open(book, TableOptions{false, 8, false});
  Outcome run = Select(*db, "SELECT * FROM [S$]");
  EXPECT_EQ(run.names, (std::vector<std::string>{"F1", "F2"}));  // the used range starts at B2
  EXPECT_EQ(run.rows, (Rows{{"Name", "1"}, {"x", "2"}}));
}

TEST(EngineTypes, EachKindGivesItsTypeAndMixedColumnsKeepEveryValueAsText) {
  auto* book = new FakeWorkbook;
  book->Sheet("T", {Str("A1", "n"), Str("B1", "d"), Str("C1", "b"), Str("D1", "t"), Str("E1", "mix"),
                    Str("F1", "long"), Str("G1", "err"),
                    Num("A2", 1.5), Date("B2", 46053), Bool("C2", true), Str("D2", "a"), Num("E2", 12),
                    Str("F2", std::string(300, 'x')), Err("G2", "#N/A"),
                    Num("A3", -2), Date("B3", 46053.75), Bool("C3", false), Str("D3", "b"),
                    Str("E3", "twelve"), Num("G3", 4)});
  auto db = Open(book);
  Outcome run = Select(*db, "SELECT * FROM [T$]");
  EXPECT_EQ(run.types, (std::vector<ResultType>{ResultType::Double, ResultType::Timestamp,
                                                ResultType::Bit, ResultType::Varchar,
                                                ResultType::Varchar, ResultType::LongVarchar,
                                                ResultType::Double}));
  EXPECT_EQ(run.rows, (Rows{{"1.5", "2026-01-31 00:00:00", "1", "a", "12",
                             std::string(300, 'x'), "NULL"},
                            {"-2", "2026-01-31 18:00:00", "0", "b", "twelve", "NULL", "4"}}));
  EXPECT_TRUE(run.warnings.empty());
}

FakeWorkbook* MixedBook() {
  auto* book = new FakeWorkbook;
  std::vector<FakeCell> cells{Str("A1", "Amount"), Str("B1", "Other")};
  for (int r = 2; r <= 12; ++r) cells.push_back(Num("A" + std::to_string(r), r));
  cells.push_back(Str("A13", "n/a"));
  cells.push_back(Str("A14", "later"));
  cells.push_back(Str("B2", "text"));
  book->Sheet("Mixed", cells);
  return book;
}

TEST(EngineTypes, AValueThatDoesNotFitItsGuessedTypeIsToldWithItsCell) {
  auto db = Open(MixedBook());
  Outcome run = Select(*db, "SELECT Amount FROM [Mixed$] WHERE Amount IS NULL");
  EXPECT_EQ(run.rows, (Rows{{"NULL"}, {"NULL"}}));
  ASSERT_EQ(run.warnings.size(), 1u);
  EXPECT_EQ(run.warnings[0].state, "01000");
  EXPECT_EQ(run.warnings[0].message,
            "[Tabrix] column 'Amount' holds numbers, as its first 8 rows decided (MaxScanRows=8): "
            "the value at Mixed$A13 and 1 more cells below it is not one and comes back NULL; "
            "MaxScanRows=0 or IMEX=1 keeps it as text");
  // A statement that does not read the column is not told.
  EXPECT_TRUE(Select(*db, "SELECT Other FROM [Mixed$]").warnings.empty());
  EXPECT_TRUE(Select(*db, "SELECT COUNT(*) FROM [Mixed$]").warnings.empty());
}

TEST(EngineTypes, ScanningEveryRowOrMixedAsTextKeepsTheValues) {
  for (TableOptions options : {TableOptions{true, 0, false}, TableOptions{true, 8, true}}) {
    auto db = Open(MixedBook(), options);
    Outcome run = Select(*db, "SELECT Amount FROM [Mixed$] WHERE Amount IN ('2', 'n/a', 'later') ORDER BY 1");
    EXPECT_EQ(run.types, std::vector<ResultType>{ResultType::Varchar});
    EXPECT_EQ(run.rows, (Rows{{"2"}, {"later"}, {"n/a"}}));
    EXPECT_TRUE(run.warnings.empty());
  }
}

TEST(EngineDates, SerialsOfBothSystemsAsTimestamps) {
  char out[32];
  auto date = [&out](double serial, bool date1904) {
    return std::string(out, FormatSerial(serial, date1904, out));
  };
  EXPECT_EQ(date(1, false), "1900-01-01 00:00:00");
  EXPECT_EQ(date(59, false), "1900-02-28 00:00:00");
  EXPECT_EQ(date(60, false), "1900-02-28 00:00:00");  // the day the 1900 system counts
  EXPECT_EQ(date(60.5, false), "1900-02-28 12:00:00");
  EXPECT_EQ(date(61, false), "1900-03-01 00:00:00");
  EXPECT_EQ(date(46053.5, false), "2026-01-31 12:00:00");
  EXPECT_EQ(date(0.75, false), "1899-12-30 18:00:00");
  EXPECT_EQ(date(0, true), "1904-01-01 00:00:00");
  EXPECT_EQ(date(44591, true), "2026-01-31 00:00:00");
  EXPECT_EQ(date(46053.0000115741, false), "2026-01-31 00:00:01");
  EXPECT_EQ(date(46053.123456, false), "2026-01-31 02:57:46.598");
}

TEST(EngineTables, SheetsRangesAndDefinedNamesInEveryQuoting) {
  auto* book = new FakeWorkbook;
  book->Sheet("Sales 2026", {Str("A1", "k"), Str("B1", "v"), Str("C1", "w"),
                             Str("A2", "a"), Num("B2", 1), Num("C2", 10),
                             Str("A3", "b"), Num("B3", 2), Num("C3", 20)});
  book->Name("Totals", 0, formats::Range{0, 1, 2, 2});  // B1:C3
  auto db = Open(book);
  for (const char* sql : {"SELECT COUNT(*) FROM [Sales 2026$]", "SELECT COUNT(*) FROM `Sales 2026$`",
                          "SELECT COUNT(*) FROM \"Sales 2026$\"", "SELECT COUNT(*) FROM [sales 2026$]"}) {
    EXPECT_EQ(Select(*db, sql).rows, (Rows{{"2"}})) << sql;
  }
  EXPECT_EQ(Select(*db, "SELECT * FROM [Sales 2026$A1:B2]").rows, (Rows{{"a", "1"}}));
  EXPECT_EQ(Select(*db, "SELECT * FROM [Sales 2026!B1:C3]").rows, (Rows{{"1", "10"}, {"2", "20"}}));
  EXPECT_EQ(Select(*db, "SELECT w FROM Totals WHERE v = 2").rows, (Rows{{"20"}}));
  EXPECT_EQ(Select(*db, "SELECT s.k, t.w FROM [Sales 2026$] s JOIN Totals t ON s.v = t.v ORDER BY 2 DESC").rows,
            (Rows{{"b", "20"}, {"a", "10"}}));
  const auto tables = db->Tables();
  ASSERT_EQ(tables.size(), 2u);
  EXPECT_EQ(tables[0].name, "Sales 2026$");
  EXPECT_EQ(tables[1].name, "Totals");
}

TEST(EngineTables, WholeRowsAndColumnsEndWhereTheCellsEndAndHugeTablesAreRefused) {
  auto* book = new FakeWorkbook;
  book->Sheet("S", {Str("A1", "a"), Str("B1", "b"), Num("A2", 1), Num("B2", 2)})
      .Sheet("Wide", {Str("A1", "a"), Str("ZZ1", "far"), Str("XFD1048576", "corner")});
  auto db = Open(book);
  EXPECT_EQ(Select(*db, "SELECT * FROM [S$A:B]").rows, (Rows{{"1", "2"}}));
  EXPECT_EQ(Select(*db, "SELECT * FROM [S$1:2]").names, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(Select(*db, "SELECT COUNT(*) FROM [Wide$A1:C3]").rows, (Rows{{"2"}}));
  EXPECT_EQ(StateOf(*db, "SELECT * FROM [Wide$]"),
            "42000 [Tabrix] the table 'Wide$' cannot be read: it spans 16384 columns (A1:XFD1048576); "
            "a table has at most 2000");
}

TEST(EngineTables, ASheetIsReadOnceForEveryStatementOfTheConnection) {
  auto* book = new FakeWorkbook;
  book->Sheet("S", {Str("A1", "a"), Num("A2", 1)});
  auto db = Open(book);
  Select(*db, "SELECT * FROM [S$]");
  Select(*db, "SELECT * FROM [S$A1:A2]");
  Select(*db, "SELECT * FROM [s$]");
  EXPECT_EQ(book->reads, 1);
}

TEST(EngineErrors, FailuresNameWhatFailed) {
  auto* book = new FakeWorkbook;
  book->Sheet("Data", {Str("A1", "a"), Num("A2", 1)}).Sheet("Other", {});
  auto db = Open(book);
  EXPECT_EQ(StateOf(*db, "SELECT * FROM Sheet1$"),
            "42S02 [Tabrix] no table 'Sheet1$' in the workbook '/data/book.xlsx': its tables are "
            "'Data$', 'Other$'");
  EXPECT_EQ(StateOf(*db, "SELECT * FROM Data"), 
            "42S02 [Tabrix] no table 'Data' in the workbook '/data/book.xlsx': its tables are "
            "'Data$', 'Other$'");
  EXPECT_EQ(StateOf(*db, "SELECT b FROM [Data$]"),
            "42S22 [Tabrix] no column 'b' in the tables of this statement");
  EXPECT_EQ(StateOf(*db, "SELEC a FROM [Data$]"), "42000 [Tabrix] near \"SELEC\": syntax error");
  EXPECT_EQ(StateOf(*db, "SELECT 1; SELECT 2"),
            "42000 [Tabrix] one statement at a time: the text after ';' is refused");
  EXPECT_EQ(StateOf(*db, "  "), "42000 [Tabrix] the statement is empty");
  // An empty sheet is a table of one column and no rows.
  EXPECT_EQ(Select(*db, "SELECT * FROM [Other$]").names, std::vector<std::string>{"F1"});
}

TEST(EngineErrors, EveryStatementThatWouldChangeSomethingIsRefused) {
  auto* book = new FakeWorkbook;
  book->Sheet("Data", {Str("A1", "a"), Num("A2", 1)});
  auto db = Open(book);
  const std::pair<const char*, const char*> cases[] = {
      {"INSERT INTO [Data$] VALUES (2)", "INSERT"},
      {"UPDATE [Data$] SET a = 3", "UPDATE"},
      {"DELETE FROM [Data$]", "DELETE"},
      {"CREATE TABLE t (x)", "CREATE"},
      {"CREATE TEMP VIEW v AS SELECT 1", "CREATE"},
      {"DROP TABLE [Data$]", "DROP"},
      {"ALTER TABLE [Data$] ADD COLUMN b", "ALTER"},
      {"ATTACH '/tmp/x.db' AS x", "ATTACH"},
      {"PRAGMA writable_schema = 1", "PRAGMA"},
      {"VACUUM", "VACUUM"},
  };
  for (const auto& [sql, verb] : cases) {
    EXPECT_EQ(StateOf(*db, sql), std::string("42000 [Tabrix] the workbook '/data/book.xlsx' is read-only: ") +
                                     verb + " is refused (the driver never changes a workbook)")
        << sql;
  }
  EXPECT_EQ(Select(*db, "SELECT a FROM [Data$]").rows, (Rows{{"1"}}));
}

TEST(EngineErrors, AMissingFileOrAFolderIsRefusedAtConnectNamingThePath) {
  ConnectOptions options;
  options.path = "/nonexistent/book.xlsx";
  try {
    Database::Open(options);
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_EQ(e.State(), "08001");
    EXPECT_STREQ(e.what(), "[Tabrix] cannot open the workbook '/nonexistent/book.xlsx': no such file");
  }
  options.path = "/tmp";
  try {
    Database::Open(options);
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_STREQ(e.what(), "[Tabrix] cannot open the workbook '/tmp': a folder, not a workbook");
  }
}

TEST(EngineErrors, FifosDevicesAndFilesThatAreNoWorkbookAreRefusedWithoutBlocking) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                       ("tabrix-engine-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const std::string fifo = (folder / "book.xlsx").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string text = (folder / "notes.xlsx").string();
  std::ofstream(text) << "just some text";
  const std::pair<std::string, std::string> cases[] = {
      {fifo, "a FIFO, not a workbook"},
      {"/dev/null", "a device, not a workbook"},
      {text, "not a workbook"},  // the reader's own reason, the path named once
  };
  for (const auto& [path, reason] : cases) {
    ConnectOptions options;
    options.path = path;
    try {
      Database::Open(options);
      ADD_FAILURE() << path;
    } catch (const EngineError& e) {
      EXPECT_EQ(e.State(), "08001");
      EXPECT_EQ(std::string(e.what()).rfind("[Tabrix] cannot open the workbook '" + path + "': " + reason, 0), 0u)
          << e.what();
    }
  }
  std::filesystem::remove_all(folder);
}

TEST(EngineCache, ASheetIsReadOncePerProcessWhileItsFileIsUnchanged) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                       ("tabrix-cache-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const std::string path = (folder / "kinds.xlsx").string();
  std::filesystem::copy_file(std::string(TABRIX_WORKBOOKS) + "/kinds.xlsx", path);
  ConnectOptions options;
  options.path = path;
  auto count = [](Database& db) { return Select(db, "SELECT COUNT(*) FROM [Data$]").rows; };
  const size_t before = SheetsRead();
  auto first = Database::Open(options);
  const auto rows = count(*first);
  auto second = Database::Open(options);
  EXPECT_EQ(count(*second), rows);
  // Connections on several threads at once share the one sheet.
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&options, &rows, &count] {
      auto db = Database::Open(options);
      for (int i = 0; i < 10; ++i) EXPECT_EQ(count(*db), rows);
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(SheetsRead(), before + 1);
  // A changed file is read again.
  std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + std::chrono::seconds(5));
  auto third = Database::Open(options);
  EXPECT_EQ(count(*third), rows);
  EXPECT_EQ(SheetsRead(), before + 2);
  std::filesystem::remove_all(folder);
}

TEST(EngineCache, AWorkbookReplacedWhileConnectedIsToldAndNeverReadAsAnotherSheet) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                       ("tabrix-replaced-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const std::string path = (folder / "book.xlsx").string();
  std::filesystem::copy_file(std::string(TABRIX_WORKBOOKS) + "/kinds.xlsx", path);
  ConnectOptions options;
  options.path = path;
  auto db = Database::Open(options);
  const auto odd = Select(*db, "SELECT * FROM [My $ Sheet$]").rows;
  // Written over in place, as a copy does: the same file, other sheets.
  std::filesystem::copy_file(std::string(TABRIX_WORKBOOKS) + "/date1904.xlsx", path,
                             std::filesystem::copy_options::overwrite_existing);
  EXPECT_EQ(StateOf(*db, "SELECT * FROM [Data$]"),
            "HY000 [Tabrix] the workbook '" + path +
                "' changed since the connection opened: reconnect to read it");
  // What the connection read before stays as it was read; a new connection reads the new file.
  EXPECT_EQ(Select(*db, "SELECT * FROM [My $ Sheet$]").rows, odd);
  auto fresh = Database::Open(options);
  EXPECT_EQ(Select(*fresh, "SELECT COUNT(*) FROM [Dates$]").rows.size(), 1u);
  EXPECT_EQ(StateOf(*db, "SELECT * FROM [Data$]").substr(0, 6), "HY000 ");
  std::filesystem::remove_all(folder);
}

TEST(EngineTables, ANewTableMayBeNamedWhileAnotherStatementIsMidway) {
  auto* book = new FakeWorkbook;
  book->Sheet("A", {Str("A1", "a"), Num("A2", 1), Num("A3", 2)}).Sheet("B", {Str("A1", "b"), Num("A2", 5)});
  auto db = Open(book);
  std::vector<Warning> warnings;
  auto open = db->Prepare("SELECT a FROM [A$]");
  open->Execute(warnings);
  ASSERT_TRUE(open->HasRow());
  EXPECT_EQ(Select(*db, "SELECT b FROM [B$]").rows, (Rows{{"5"}}));
  ASSERT_TRUE(open->Next());
  EXPECT_EQ(open->Real(0), 2);
  EXPECT_FALSE(open->Next());
}

TEST(EngineTables, LookupsByEqualityFindWhatAScanFinds) {
  auto* book = new FakeWorkbook;
  std::vector<FakeCell> cells{Str("A1", "n"), Str("B1", "t"), Str("C1", "d"), Str("D1", "b"), Str("E1", "mix")};
  for (int r = 2; r <= 201; ++r) {
    const std::string row = std::to_string(r);
    cells.push_back(Num("A" + row, r % 10));
    cells.push_back(Str("B" + row, "k" + std::to_string(r % 7)));
    cells.push_back(Date("C" + row, 46053 + r % 3));
    cells.push_back(Bool("D" + row, r % 2 == 0));
    if (r % 2) cells.push_back(Num("E" + row, r % 5));
    else cells.push_back(Str("E" + row, std::to_string(r % 5)));
  }
  book->Sheet("T", cells).Sheet("K", {Str("A1", "key"), Num("A2", 3), Num("A3", 4), Num("A4", 3)});
  auto db = Open(book);
  // Each as a lookup, then as a scan the index cannot serve (the same condition, wrapped).
  const std::pair<const char*, const char*> cases[] = {
      {"n = 3", "+n = 3"},
      {"n = 3.0", "+n = 3.0"},
      {"n = '3'", "+n = 3"},  // the column's affinity makes the text a number
      {"t = 'k2'", "t || '' = 'k2'"},
      {"t = 2", "t || '' = '2'"},
      {"d = '2026-02-01 00:00:00'", "d || '' = '2026-02-01 00:00:00'"},
      {"b = 1", "+b = 1"},
      {"mix = '4'", "mix || '' = '4'"},  // numbers and texts alike, as text
      {"mix = 4", "mix || '' = '4'"},
      {"n = NULL", "+n = NULL"},
  };
  for (const auto& [lookup, scan] : cases) {
    const auto found = Select(*db, std::string("SELECT rowid FROM [T$] WHERE ") + lookup).rows;
    EXPECT_EQ(found, Select(*db, std::string("SELECT rowid FROM [T$] WHERE ") + scan).rows) << lookup;
  }
  EXPECT_EQ(Select(*db, "SELECT COUNT(*) FROM [T$] WHERE n = 3").rows, (Rows{{"20"}}));
  EXPECT_EQ(Select(*db, "SELECT COUNT(*) FROM [K$] k JOIN [T$] t ON t.n = k.key").rows, (Rows{{"60"}}));
  EXPECT_EQ(Select(*db, "SELECT COUNT(*) FROM [T$] t JOIN [K$] k ON t.n = k.key").rows, (Rows{{"60"}}));
}

TEST(EngineDates, DateLiteralsAndEscapesEqualTheDayAndGreaterExcludesIt) {
  auto* book = new FakeWorkbook;
  book->Sheet("S", {Str("A1", "d"), Date("A2", 46053), Date("A3", 46054), Date("A4", 46055)});
  auto db = Open(book);
  EXPECT_EQ(Select(*db, "SELECT COUNT(*) FROM [S$] WHERE d = #2026-01-31#").rows, (Rows{{"1"}}));
  EXPECT_EQ(Select(*db, "SELECT COUNT(*) FROM [S$] WHERE d = {d '2026-02-01'}").rows, (Rows{{"1"}}));
  EXPECT_EQ(Select(*db, "SELECT d FROM [S$] WHERE d > #02/01/2026#").rows,
            (Rows{{"2026-02-02 00:00:00"}}));
}

TEST(EngineFunctions, TheEscapesAndTheDesktopFunctionsRun) {
  auto* book = new FakeWorkbook;
  book->Sheet("S", {Str("A1", "city"), Str("B1", "when"), Str("A2", "Zürich"), Date("B2", 46053.5)});
  auto db = Open(book);
  EXPECT_EQ(Select(*db, "SELECT {fn UCASE(city)}, {fn LENGTH(city)}, Len(city), Left(city, 2), "
                        "Right(city, 3), Mid(city, 2, 2), {fn YEAR([when])}, {fn MONTH([when])}, "
                        "{fn HOUR([when])} FROM [S$]")
                .rows,
            (Rows{{"ZüRICH", "6", "6", "Zü", "ich", "ür", "2026", "1", "12"}}));
  EXPECT_EQ(Select(*db, "SELECT city & '!' FROM [S$] WHERE [when] > #2026-01-31# AND [when] < {ts '2026-02-01 00:00:00'}").rows,
            (Rows{{"Zürich!"}}));
  EXPECT_EQ(Select(*db, "SELECT IIf(1 > 2, 'a', 'b'), Nz(NULL, 'z'), {fn MOD(7, 3)}, {fn CONCAT('a', 'b')}").rows,
            (Rows{{"b", "z", "1", "ab"}}));
}

// A statement that only lists a sheet's columns is answered from the cells without the engine
// stepping through them; every value, type, name and warning must be what the engine gives.
TEST(EnginePlainSelects, ListingColumnsGivesWhatTheEngineGives) {
  auto* book = new FakeWorkbook;
  std::vector<FakeCell> cells{Str("B1", "n"), Str("C1", "when"), Str("D1", "flag"), Str("E1", "mix"),
                              Str("F1", "Odd \"name\""), Str("G1", "err")};
  for (int r = 2; r <= 40; ++r) {
    const std::string row = std::to_string(r);
    if (r == 7) continue;  // a blank row inside the table
    cells.push_back(Num("B" + row, r * 0.25 - 3));
    cells.push_back(Date("C" + row, 46053 + r / 7.0));
    cells.push_back(Bool("D" + row, r % 3 == 0));
    cells.push_back(r % 2 ? Num("E" + row, r) : r % 4 ? Bool("E" + row, true) : Date("E" + row, 60));
    if (r % 5) cells.push_back(Str("F" + row, r % 10 == 1 ? "" : "t" + row));
    cells.push_back(r % 6 ? Num("G" + row, r) : Err("G" + row, "#DIV/0!"));
  }
  cells.push_back(Str("B30", "late text"));  // past the rows that decide: told, NULL
  cells.push_back(Num("C35", 12));           // a number in a date column
  cells.push_back(Str("B20", "replaced"));   // out of order, and a repeat: the later one wins
  book->Sheet("T", cells);
  book->Sheet("Empty", {});
  book->Name("Part", 0, formats::Range{0, 1, 9, 3});
  auto db = Open(book);
  for (const std::string sql :
       {"SELECT * FROM [T$]", "select n, [when] AS w, flag, mix, \"Odd \"\"name\"\"\", err from `T$`;",
        "SELECT err, N, N AS again FROM [T$]", "SELECT * FROM Part", "SELECT * FROM [T$B2:D6]",
        "SELECT * FROM [T$A20:C25]", "SELECT * FROM [Empty$]", "SELECT * FROM [T$A100:B200]"}) {
    SCOPED_TRACE(sql);
    Outcome direct = Select(*db, sql);
    const std::string engineSql = sql.back() == ';' ? sql.substr(0, sql.size() - 1) : sql;
    Outcome engine = Select(*db, engineSql + " WHERE 1");
    EXPECT_EQ(direct.names, engine.names);
    EXPECT_EQ(direct.types, engine.types);
    EXPECT_EQ(direct.rows, engine.rows);
    ASSERT_EQ(direct.warnings.size(), engine.warnings.size());
    for (size_t w = 0; w < direct.warnings.size(); ++w)
      EXPECT_EQ(direct.warnings[w].message, engine.warnings[w].message);
  }
  Outcome all = Select(*db, "SELECT * FROM [T$]");
  EXPECT_EQ(all.rows.size(), 39u);
  EXPECT_EQ(all.rows[18][0], "NULL");  // B20 became text in a number column
  EXPECT_EQ(all.rows[5], (std::vector<std::string>(6, "NULL")));  // the blank row
  EXPECT_EQ(all.warnings.size(), 2u);
  // A statement run again starts from its first row, and a closed one has no row.
  auto query = db->Prepare("SELECT n FROM [T$]");
  std::vector<Warning> warnings;
  query->Execute(warnings);
  ASSERT_TRUE(query->HasRow());
  EXPECT_EQ(query->Real(0), -2.5);
  query->Next();
  query->Close();
  EXPECT_FALSE(query->Next());
  query->Execute(warnings);
  EXPECT_EQ(query->Real(0), -2.5);
}

TEST(EnginePlainSelects, AnythingMoreThanColumnsIsLeftToTheEngine) {
  auto* book = new FakeWorkbook;
  book->Sheet("T", {Str("A1", "a"), Str("B1", "b"), Num("A2", 2), Num("B2", 5), Num("A3", 1),
                    Num("B3", 7)});
  auto db = Open(book);
  EXPECT_EQ(Select(*db, "SELECT b FROM [T$] ORDER BY a").rows, (Rows{{"7"}, {"5"}}));
  EXPECT_EQ(Select(*db, "SELECT a + b FROM [T$]").rows, (Rows{{"7"}, {"8"}}));
  EXPECT_EQ(Select(*db, "SELECT \"b\", 'a' FROM [T$]").rows, (Rows{{"5", "a"}, {"7", "a"}}));
  EXPECT_EQ(Select(*db, "SELECT \"nothing\" FROM [T$]").rows, (Rows{{"nothing"}, {"nothing"}}));
  EXPECT_EQ(Select(*db, "SELECT a FROM [T$] -- a comment\n WHERE b > 6").rows, (Rows{{"1"}}));
  EXPECT_EQ(Select(*db, "SELECT TOP 1 a FROM [T$]").rows, (Rows{{"2"}}));
  EXPECT_EQ(Select(*db, "SELECT DISTINCT a FROM [T$]").rows, (Rows{{"2"}, {"1"}}));
  EXPECT_EQ(Select(*db, "SELECT x.a, y.b FROM [T$] x, [T$] y WHERE x.a = 1").rows,
            (Rows{{"1", "5"}, {"1", "7"}}));
  EXPECT_EQ(Select(*db, "SELECT rowid FROM [T$]").rows, (Rows{{"2"}, {"3"}}));
  EXPECT_EQ(Select(*db, "SELECT * FROM [T$] LIMIT 1").rows, (Rows{{"2", "5"}}));
  EXPECT_EQ(StateOf(*db, "SELECT c FROM [T$]").substr(0, 5), "42S22");
}

TEST(EngineSheets, LargeSheetsKeepEveryCellAndText) {
  // Enough cells and text that their storage grows many times over.
  std::vector<formats::Cell> cells;
  std::vector<std::string> texts;
  const uint32_t rows = 40000;
  texts.reserve(rows);
  for (uint32_t r = 0; r < rows; ++r) texts.push_back(std::string(r % 300, static_cast<char>('a' + r % 26)));
  for (uint32_t r = 0; r < rows; ++r) {
    for (uint32_t c = 0; c < 6; ++c) {
      formats::Cell cell;
      cell.row = r;
      cell.column = c;
      cell.kind = c == 5 ? CellKind::Text : CellKind::Number;
      cell.number = r * 10.0 + c;
      if (c == 5) cell.text = texts[r];
      cells.push_back(cell);
    }
  }
  auto data = SheetData::FromCells(cells);
  ASSERT_EQ(data->CellCount(), size_t{rows} * 6);
  EXPECT_EQ(data->Used().lastRow, rows - 1);
  for (uint32_t r = 0; r < rows; r += 997) {
    ASSERT_NE(data->Find(r, 3), nullptr);
    EXPECT_EQ(data->Find(r, 3)->number, r * 10.0 + 3);
    EXPECT_EQ(data->Text(*data->Find(r, 5)), texts[r]);
  }
  EXPECT_EQ(data->Find(rows, 0), nullptr);
  EXPECT_EQ(SheetData::FromCells({})->CellCount(), 0u);
}

TEST(EngineDates, SerialsAtTheEdgesOfTheYears) {
  char out[32];
  auto date = [&out](double serial, bool date1904) {
    return std::string(out, FormatSerial(serial, date1904, out));
  };
  EXPECT_EQ(date(2958465.5, false), "9999-12-31 12:00:00");
  EXPECT_EQ(date(36526.0000005787, false), "2000-01-01 00:00:00.050");
  EXPECT_EQ(date(0.5, true), "1904-01-01 12:00:00");
  EXPECT_EQ(date(-1, true), "1903-12-31 00:00:00");
  EXPECT_EQ(date(2958466 + 400, false).substr(0, 5), "10001");  // beyond the years ODBC has
}

}  // namespace
}  // namespace tabrix::sql

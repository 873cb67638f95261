// The .dbf reader on tables python3-dbf writes at build time (checked there against
// python3-dbfread), and on hand-written bytes for what no writer makes: dBase IV memos,
// Visual FoxPro's varchar fields, damage and hostile files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "driver/formats/Dates.h"
#include "driver/formats/Dbf.h"
#include "driver/tests/formats/Cells.h"
#include "driver/tests/formats/FuzzInput.h"

namespace tabrix::formats {
namespace {

using testing::ErrorOf;
using namespace std::string_literals;

std::string Tables(const std::string& name) { return std::string(TABRIX_TABLES) + "/" + name; }

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A cell as make_tables.py writes its expectations; `binary`: a Text cell of bytes.
std::string Line(const Cell& cell, bool binary) {
  std::string value;
  char buffer[64];
  if (cell.kind == CellKind::Number) {
    std::snprintf(buffer, sizeof buffer, "%.10g", cell.number);
    value = buffer;
  } else if (cell.kind == CellKind::Boolean) {
    value = cell.number != 0 ? "1" : "0";
  } else if (cell.kind == CellKind::DateTime) {
    const auto when = SerialToDateTime(cell.number, false);
    if (!when) return "out of range";
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03u", when->year,
                  when->month, when->day, when->hour, when->minute, when->second,
                  when->nanosecond / 1'000'000);
    value = buffer;
  } else if (binary) {
    for (unsigned char c : cell.text) {
      std::snprintf(buffer, sizeof buffer, "%02x", c);
      value += buffer;
    }
  } else {
    for (char c : cell.text) {
      if (c == '\\')
        value += "\\\\";
      else if (c == '\n')
        value += "\\n";
      else if (c == '\r')
        value += "\\r";
      else if (c == '\t')
        value += "\\t";
      else
        value += c;
    }
  }
  return std::to_string(cell.row) + "\t" + std::to_string(cell.column) + "\t" +
         (binary ? "Binary" : testing::KindName(cell.kind)) + "\t" + value + "\n";
}

class Lines : public CellSink {
 public:
  explicit Lines(const DbfTable& table, size_t stopAfter = SIZE_MAX)
      : table_(table), stopAfter_(stopAfter) {}
  bool OnCell(const Cell& cell) override {
    text += Line(cell, KindOf(table_.Fields().at(cell.column)) == DbfKind::Binary);
    numbers.push_back(cell.number);
    return ++count < stopAfter_;
  }
  void OnSize(uint32_t rows, uint32_t columns) override {
    size = std::to_string(rows) + "x" + std::to_string(columns);
  }
  void OnWarning(const std::string& message) override { warnings += message + "\n"; }
  std::string text, size, warnings;
  std::vector<double> numbers;
  size_t count = 0;

 private:
  const DbfTable& table_;
  size_t stopAfter_;
};

std::string ReadAll(DbfTable& table) {
  Lines lines(table);
  table.Read(lines);
  return lines.text;
}

TEST(Dbf, TablesOfEveryWriterReadAsTheyWereWritten) {
  for (const char* name : {"dbase3", "foxpro", "visualfoxpro", "many", "plain", "cp437", "cp850",
                           "cp852", "cp866", "cp1250", "cp1251", "cp1253"}) {
    SCOPED_TRACE(name);
    auto table = DbfTable::Open(Tables(std::string(name) + ".dbf"));
    EXPECT_EQ(ReadAll(*table), Contents(Tables(std::string(name) + ".expect")));
  }
}

TEST(Dbf, FieldsKeepTheirNamesTypesAndNullBits) {
  auto dbase = DbfTable::Open(Tables("dbase3.dbf"));
  EXPECT_EQ(dbase->Version(), 0x83);
  EXPECT_EQ(dbase->CodePage(), "CP1252");
  EXPECT_EQ(dbase->RecordCount(), 5u);  // the deleted record counted
  std::string layout;
  for (const auto& f : dbase->Fields())
    layout += f.name + " " + f.type + std::to_string(f.length) + "." + std::to_string(f.decimals) +
              " " + std::to_string(static_cast<int>(KindOf(f))) + ";";
  EXPECT_EQ(layout,
            "NAME C12.0 6;QTY N5.0 1;PRICE N9.2 0;RATIO F12.4 0;BORN D8.0 3;"
            "OK L1.0 5;NOTE M10.0 6;");

  auto fox = DbfTable::Open(Tables("visualfoxpro.dbf"));
  EXPECT_EQ(fox->Version(), 0x30);
  EXPECT_EQ(fox->CodePage(), "CP1251");
  ASSERT_EQ(fox->Fields().size(), 10u);  // _NullFlags hidden
  std::string bits;
  for (const auto& f : fox->Fields()) bits += f.name + "=" + std::to_string(f.nullBit) + " ";
  EXPECT_EQ(bits, "NAME=0 COUNT=1 RATIO=2 PRICE=3 SEEN=4 DAY=5 NOTE=6 BLOB=7 FLAG=8 AMOUNT=9 ");
  EXPECT_EQ(KindOf(fox->Fields()[3]), DbfKind::Currency);
  EXPECT_EQ(KindOf(fox->Fields()[4]), DbfKind::DateTime);
  EXPECT_EQ(KindOf(fox->Fields()[7]), DbfKind::Binary);
}

TEST(Dbf, CurrencyKeepsItsFourDecimals) {
  auto fox = DbfTable::Open(Tables("visualfoxpro.dbf"));
  Lines lines(*fox);
  fox->Read(lines);
  // Row 2's PRICE, the 3rd value of that row (NAME, COUNT, RATIO, PRICE).
  ASSERT_GT(lines.numbers.size(), 17u);
  EXPECT_DOUBLE_EQ(lines.numbers[16], 922337203685.4775);
  EXPECT_EQ(lines.numbers[3], 12.3456);
}

TEST(Dbf, AStreamStopsWhenTheSinkSaysSo) {
  auto table = DbfTable::Open(Tables("many.dbf"));
  Lines lines(*table, 5);
  table->Read(lines);
  EXPECT_EQ(lines.count, 5u);
}

// Hand-written tables.
struct Field {
  std::string name;
  char type;
  uint8_t length;
  uint8_t decimals = 0;
  uint8_t flags = 0;
};

std::string Le16(unsigned v) {
  return {static_cast<char>(v & 255), static_cast<char>(v >> 8 & 255)};
}
std::string Le32(uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }
std::string Be32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16 & 255),
          static_cast<char>(v >> 8 & 255), static_cast<char>(v & 255)};
}

// A table of `records` (each with its deletion mark); `claimed` overrides the record count.
std::string Table(uint8_t version, const std::vector<Field>& fields,
                  const std::vector<std::string>& records, int64_t claimed = -1, uint8_t mark = 0) {
  const bool vfp = version >= 0x30 && version <= 0x32;
  unsigned recordLength = 1;
  for (const auto& f : fields) recordLength += f.length;
  const unsigned headerLength =
      32 + 32 * static_cast<unsigned>(fields.size()) + 1 + (vfp ? 263 : 0);
  std::string out(32, '\0');
  out[0] = static_cast<char>(version);
  out[1] = 126, out[2] = 12, out[3] = 9;
  out.replace(
      4, 4,
      Le32(claimed < 0 ? static_cast<uint32_t>(records.size()) : static_cast<uint32_t>(claimed)));
  out.replace(8, 2, Le16(headerLength));
  out.replace(10, 2, Le16(recordLength));
  out[29] = static_cast<char>(mark);
  unsigned offset = 1;
  for (const auto& f : fields) {
    std::string d(32, '\0');
    d.replace(0, f.name.size(), f.name);
    d[11] = f.type;
    d.replace(12, 4, Le32(offset));
    d[16] = static_cast<char>(f.length);
    d[17] = static_cast<char>(f.decimals);
    d[18] = static_cast<char>(f.flags);
    out += d;
    offset += f.length;
  }
  out += '\r';
  if (vfp) out += std::string(263, '\0');
  for (const auto& r : records) out += r;
  return out;
}

class DbfFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/tabrix-dbf-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::string ErrorReading(const std::string& name, const std::string& bytes) {
    const std::string path = Write(name, bytes);
    return ErrorOf([&] { ReadAll(*DbfTable::Open(path)); });
  }
  std::string dir_;
};

TEST_F(DbfFiles, DamagedHeadersAreRefusedNamingWhatIsWrong) {
  const std::vector<Field> one = {{"N", 'N', 3}};
  std::string path = dir_ + "/t.dbf";
  EXPECT_EQ(ErrorReading("t.dbf", ""), path + ": not a dBase table (the file is empty)");
  EXPECT_EQ(ErrorReading("t.dbf", "\x03\x01"),
            path + ": not a dBase table (too short for a header)");
  EXPECT_EQ(ErrorReading("t.dbf", "0,1,2\n3,4,5\n6,7,8\n9,10,11\n12,13,14\n15,16,17\n"),
            path + ": not a dBase table (its first byte is 0x30)");
  EXPECT_EQ(ErrorReading("t.dbf", "name,value\n" + std::string(40, 'x')),
            path + ": not a dBase table (its first byte is 0x6E)");
  std::string table = Table(0x03, one, {" 12"});
  table.replace(10, 2, Le16(0));
  EXPECT_EQ(ErrorReading("t.dbf", table), path + ": damaged (a record length of 0)");
  table = Table(0x03, one, {" 12"});
  table.replace(10, 2, Le16(3));
  EXPECT_EQ(ErrorReading("t.dbf", table),
            path + ": damaged (field 1 (N) ends at byte 4, past the record's 3)");
  table = Table(0x03, one, {});
  table.replace(8, 2, Le16(4000));
  EXPECT_EQ(
      ErrorReading("t.dbf", table),
      path + ": damaged or truncated (its header of 4000 bytes is longer than the file, 65 bytes)");
  table = Table(0x03, one, {" 12"});
  table[64] = ' ';  // the end mark gone, the header's length not a whole descriptor further
  table.replace(8, 2, Le16(80));
  EXPECT_EQ(ErrorReading("t.dbf", table + std::string(20, ' ')),
            path + ": damaged (its field descriptors run past its header)");
  EXPECT_EQ(ErrorReading("t.dbf", Table(0x03, {{"X", 'Z', 3}}, {})),
            path + ": field 1 (X) has the type 'Z', which this driver does not read");
  EXPECT_EQ(ErrorReading("t.dbf", Table(0x03, {{"D", 'D', 6}}, {})),
            path + ": damaged (field 1 (D) of type D is 6 bytes long, not 8)");
  EXPECT_EQ(ErrorReading("t.dbf", Table(0x03, {{"N", 'N', 0}}, {})),
            path + ": damaged (field 1 (N) has a length of 0)");
  EXPECT_EQ(ErrorReading("t.dbf", Table(0x03, {}, {})),
            path + ": damaged (a table without fields)");
  EXPECT_EQ(ErrorReading("t.dbf", Table(0x04, one, {})),
            path + ": a dBase 7 table, which this driver does not read");
}

TEST_F(DbfFiles, ATableCutShortIsReadAsFarAsItGoesAndTold) {
  const std::string path =
      Write("cut.dbf", Table(0x03, {{"N", 'N', 3}}, {"  12", "*  1", "    "}, 10));
  auto table = DbfTable::Open(path);
  Lines lines(*table);
  table->Read(lines);
  EXPECT_EQ(lines.text, "0\t0\tNumber\t12\n");
  EXPECT_EQ(lines.size, "2x1");  // a record with no value is still a row
  EXPECT_EQ(lines.warnings, path +
                                ": its header counts 10 records, the file holds 3 (damaged or "
                                "truncated): those are read\n");
}

TEST_F(DbfFiles, BadValuesNameTheRecordAndTheField) {
  const std::string path = dir_ + "/t.dbf";
  EXPECT_EQ(ErrorReading("t.dbf", Table(0x03, {{"QTY", 'N', 4}}, {"    1", "  1,5"})),
            path + ": record 2, field QTY: not a number (\"1,5\")");
  EXPECT_EQ(ErrorReading("t.dbf", Table(0x03, {{"DAY", 'D', 8}}, {" 20240230"})),
            path + ": record 1, field DAY: not a date (\"20240230\")");
  EXPECT_EQ(ErrorReading("t.dbf", Table(0x03, {{"DAY", 'D', 8}}, {" 2024-1-1"})),
            path + ": record 1, field DAY: not a date (\"2024-1-1\")");
  EXPECT_EQ(ErrorReading("t.dbf", Table(0x03, {{"DAY", 'D', 8}}, {" 18500101"})),
            path +
                ": record 1, field DAY: the date 18500101 is before 1900, which this driver does "
                "not return");
  EXPECT_EQ(ErrorReading("t.dbf", Table(0x03, {{"OK", 'L', 1}}, {" T", " x"})),
            path + ": record 2, field OK: not a logical value (0x78)");
  EXPECT_EQ(ErrorReading("t.dbf",
                         Table(0x30, {{"AT", 'T', 8}}, {" " + Le32(2460000) + Le32(90'000'000)})),
            path + ": record 1, field AT: a time of 90000000 ms, past the day's end");
  // Blank values, stars where a number overflowed and '?' are no value; deleted records are
  // left out, and rows count the others.
  auto table = DbfTable::Open(
      Write("ok.dbf", Table(0x03, {{"N", 'N', 4}, {"D", 'D', 8}, {"L", 'L', 1}},
                            {" ****        ?", "*   1        T", "   -220001231F"})));
  EXPECT_EQ(ReadAll(*table),
            "1\t0\tNumber\t-2\n1\t1\tDateTime\t2000-12-31 00:00:00.000\n"
            "1\t2\tBoolean\t0\n");
}

TEST_F(DbfFiles, VisualFoxProVarcharsAndNullsFollowTheirBits) {
  // V (nullable): its length bit, then its null bit; Q: its length bit; C (nullable): null bit.
  const std::vector<Field> fields = {{"V", 'V', 6, 0, 0x02},
                                     {"Q", 'Q', 4},
                                     {"C", 'C', 3, 0, 0x02},
                                     {"_NullFlags", '0', 1, 0, 0x05}};
  const std::string rows[] = {
      " ab\0\0\0\x02"s + "xy\0\x02"s + "abc" + "\x05",  // V "ab", Q "xy"
      " abcdef"s + "wxyz" + "   " + "\x0A",             // V NULL, C NULL
      " ab\0\0\0\x09"s + "1234" + "z  " + "\x01",       // a length past the field
  };
  auto table = DbfTable::Open(Write("v.dbf", Table(0x32, fields, {rows[0], rows[1]})));
  EXPECT_EQ(ReadAll(*table),
            "0\t0\tText\tab\n0\t1\tBinary\t7879\n0\t2\tText\tabc\n"
            "1\t1\tBinary\t7778797a\n");
  EXPECT_EQ(ErrorReading("w.dbf", Table(0x32, fields, {rows[2]})),
            dir_ + "/w.dbf: record 1, field V: a length of 9 in a field of 6 bytes");
  // Null bits beyond what _NullFlags holds.
  EXPECT_EQ(ErrorReading("x.dbf", Table(0x30,
                                        {{"A", 'C', 1, 0, 2},
                                         {"B", 'C', 1, 0, 2},
                                         {"C", 'C', 1, 0, 2},
                                         {"D", 'C', 1, 0, 2},
                                         {"E", 'C', 1, 0, 2},
                                         {"F", 'C', 1, 0, 2},
                                         {"G", 'C', 1, 0, 2},
                                         {"H", 'C', 1, 0, 2},
                                         {"I", 'C', 1, 0, 2},
                                         {"_NullFlags", '0', 1, 0, 5}},
                                        {})),
            dir_ + "/x.dbf: damaged (its _NullFlags field holds 8 bits, its fields need 9)");
}

TEST_F(DbfFiles, MemosOfEveryLayoutAndTheirDamage) {
  // dBase IV: blocks of the header's size, each led by FF FF 08 00 and its length.
  std::string dbt(512, '\0');
  dbt.replace(0, 4, Le32(3));
  dbt.replace(20, 2, Le16(256));
  dbt += std::string("\xFF\xFF\x08\x00", 4) + Le32(8 + 11) + "dBase IV me" + std::string(237, '\0');
  Write("four.dbt", dbt);
  const std::vector<Field> memo = {{"NOTE", 'M', 10}};
  auto table = DbfTable::Open(Write("four.dbf", Table(0x8B, memo, {"          2", "           "})));
  EXPECT_EQ(ReadAll(*table), "0\t0\tText\tdBase IV me\n1\t0\tText\t\n");

  std::string path = Write("bad4.dbf", Table(0x8B, memo, {"         99"}));
  Write("bad4.dbt", dbt);
  EXPECT_EQ(
      ErrorOf([&] { ReadAll(*DbfTable::Open(path)); }),
      path + ": record 1, field NOTE: " + dir_ +
          "/bad4.dbt: block 99: past the end of the memo file (768 bytes; damaged or truncated)");
  std::string longer = dbt;
  longer.replace(512 + 4, 4, Le32(5000));
  Write("bad4.dbt", longer);
  path = Write("bad4.dbf", Table(0x8B, memo, {"          2"}));
  EXPECT_EQ(ErrorOf([&] { ReadAll(*DbfTable::Open(path)); }),
            path + ": record 1, field NOTE: " + dir_ +
                "/bad4.dbt: block 2: a memo of 4992 bytes runs past the end of the memo file "
                "(damaged or truncated)");

  // FoxPro: big-endian, the header's block size; found whatever the case of its name.
  std::string fpt(512, '\0');
  fpt.replace(0, 4, Be32(9));
  fpt[6] = 0, fpt[7] = 64;
  fpt += Be32(1) + Be32(5) + "hello" + std::string(64 - 13, '\0');
  Write("FOX.FPT", fpt);
  table = DbfTable::Open(
      Write("FOX.DBF", Table(0x30, {{"M", 'M', 4}}, {" " + Le32(8), " " + Le32(0)})));
  EXPECT_EQ(ReadAll(*table), "0\t0\tText\thello\n1\t0\tText\t\n");
  path = Write("FOX.DBF", Table(0x30, {{"M", 'M', 4}}, {" " + Le32(3)}));
  EXPECT_EQ(ErrorOf([&] { ReadAll(*DbfTable::Open(path)); }),
            path + ": record 1, field M: " + dir_ +
                "/FOX.FPT: block 3: not a memo block (damaged memo file)");
  std::string zero = fpt;
  zero[7] = 0;
  Write("FOX.FPT", zero);
  EXPECT_EQ(ErrorOf([&] { DbfTable::Open(path); }),
            dir_ + "/FOX.FPT: damaged memo file (a block size of 0)");
  Write("FOX.FPT", fpt.substr(0, 20));
  EXPECT_EQ(ErrorOf([&] { DbfTable::Open(path); }),
            dir_ + "/FOX.FPT: damaged memo file (shorter than its header)");

  // Missing, or no file.
  std::filesystem::remove(dir_ + "/FOX.FPT");
  EXPECT_EQ(ErrorOf([&] { DbfTable::Open(path); }),
            path + ": its memo file " + dir_ + "/FOX.fpt is missing");
  ASSERT_EQ(mkfifo((dir_ + "/FOX.fpt").c_str(), 0600), 0);
  EXPECT_EQ(ErrorOf([&] { DbfTable::Open(path); }), dir_ + "/FOX.fpt: a FIFO, not a memo file");
  // A table without memo fields needs no memo file, whatever its version says.
  EXPECT_EQ(ReadAll(*DbfTable::Open(Write("nomemo.dbf", Table(0x83, {{"C", 'C', 2}}, {" hi"})))),
            "0\t0\tText\thi\n");
}

TEST_F(DbfFiles, ATableWhoseMemoFileIsGoneOrCutIsAnErrorNamingIt) {
  const std::string dbfPath = dir_ + "/dbase3.dbf";
  std::filesystem::copy_file(Tables("dbase3.dbf"), dbfPath);
  EXPECT_EQ(ErrorOf([&] { DbfTable::Open(dbfPath); }),
            dbfPath + ": its memo file " + dir_ + "/dbase3.dbt is missing");
  const std::string memo = Contents(Tables("dbase3.dbt"));
  Write("dbase3.dbt", memo.substr(0, 600));
  const std::string error = ErrorOf([&] { ReadAll(*DbfTable::Open(dbfPath)); });
  EXPECT_NE(error.find(dbfPath + ": record "), std::string::npos) << error;
  EXPECT_NE(error.find(dir_ + "/dbase3.dbt: block "), std::string::npos) << error;
}

TEST_F(DbfFiles, OnlyRegularFilesAreOpenedAndNothingBlocks) {
  const std::string fifo = dir_ + "/fifo.dbf";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(ErrorOf([&] { DbfTable::Open(fifo); }), fifo + ": a FIFO, not a dBase table");
  EXPECT_EQ(ErrorOf([&] { DbfTable::Open(dir_); }), dir_ + ": a folder, not a dBase table");
  const std::string link = dir_ + "/zero.dbf";
  ASSERT_EQ(symlink("/dev/zero", link.c_str()), 0);
  EXPECT_EQ(ErrorOf([&] { DbfTable::Open(link); }),
            link + ": a character device, not a dBase table");
  EXPECT_EQ(ErrorOf([&] { DbfTable::Open(dir_ + "/none.dbf"); }), dir_ + "/none.dbf: no such file");
  if (geteuid() != 0) {
    const std::string locked = Write("locked.dbf", Table(0x03, {{"C", 'C', 1}}, {}));
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    EXPECT_EQ(ErrorOf([&] { DbfTable::Open(locked); }),
              locked + ": cannot be opened (Permission denied)");
  }
}

TEST(Dbf, CutOrChangedTablesAreReadOrRefused) {
  // Each test table and its memo file cut at many lengths and with bytes changed: cells or a
  // FormatError, never a crash or a hang (the sanitizer build checks the memory).
  size_t read = 0, refused = 0;
  for (const char* name : {"dbase3", "foxpro", "visualfoxpro"}) {
    const std::string whole = Contents(Tables(std::string(name) + ".dbf"));
    const std::string memo =
        Contents(Tables(std::string(name) + (name[0] == 'd' ? ".dbt" : ".fpt")));
    const std::string memoName = name[0] == 'd' ? "t.dbt" : "t.fpt";
    for (size_t at = 0; at < whole.size() + memo.size(); at += 11) {
      std::string table = whole, memos = memo;
      if (at < whole.size())
        table[at] = static_cast<char>(table[at] ^ 0x5A);
      else
        memos[at - whole.size()] = static_cast<char>(memos[at - whole.size()] ^ 0x5A);
      for (const std::string& bytes : {table, whole.substr(0, at % whole.size())}) {
        fuzzing::MemoryFile file(bytes.data(), bytes.size()), memoFile(memos.data(), memos.size());
        try {
          auto opened = DbfTable::Open(::dup(file.fd()), "t.dbf", ::dup(memoFile.fd()), memoName);
          ReadAll(*opened);
          ++read;
        } catch (const FormatError&) {
          ++refused;
        }
      }
    }
  }
  EXPECT_GT(read, 100u);
  EXPECT_GT(refused, 100u);
}

}  // namespace
}  // namespace tabrix::formats

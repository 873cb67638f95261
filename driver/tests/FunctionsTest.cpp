// The scalar functions of the ODBC escapes and of the desktop dialect over date, time and number
// cells, and what they refuse.
#include <gtest/gtest.h>

#include "FakeWorkbook.h"
#include "sql/Engine.h"

namespace tabrix::sql {
namespace {

using testing::Date;
using testing::FakeWorkbook;
using testing::Num;
using testing::Str;

class Functions : public ::testing::Test {
 protected:
  void SetUp() override {
    auto* book = new FakeWorkbook;
    // 2026-01-31 10:30 (a Saturday), 2024-02-29, a time of day alone (18:00), 1.5, "12".
    book->Sheet("S", {Str("A1", "d"), Str("B1", "t"), Str("C1", "n"), Str("D1", "s"),
                      Date("A2", 46053.4375), Date("B2", 0.75), Num("C2", 1.5), Str("D2", "12"),
                      Date("A3", 45351), Date("B3", 0.5), Num("C3", -2.75), Str("D3", "abc")});
    ConnectOptions connect;
    connect.path = "/data/book.xlsx";
    db_ = Database::Open(connect, std::unique_ptr<formats::Workbook>(book));
  }
  // The first row's first value as text, or the failure's state and message.
  std::string One(const std::string& sql) {
    try {
      std::vector<Warning> warnings;
      auto q = db_->Prepare(sql);
      q->Execute(warnings);
      if (!q->HasRow()) return "no row";
      switch (q->Type(0)) {
        case ValueType::Null:
          return "NULL";
        case ValueType::Integer:
          return std::to_string(q->Integer(0));
        case ValueType::Real:
          return "real " + std::to_string(q->Real(0));
        case ValueType::Text:
          return std::string(q->Text(0));
      }
    } catch (const EngineError& e) {
      return e.State() + " " + e.what();
    }
    return "?";
  }
  std::string Row2(const std::string& expression) {
    return One("SELECT " + expression + " FROM [S$] WHERE n = 1.5");
  }
  std::unique_ptr<Database> db_;
};

TEST_F(Functions, ConvertGivesEachTypeOrSaysWhyNot) {
  EXPECT_EQ(Row2("{fn CONVERT(n, SQL_INTEGER)}"), "1");
  EXPECT_EQ(One("SELECT {fn CONVERT(n, SQL_BIGINT)} FROM [S$] WHERE n < 0"), "-2");
  EXPECT_EQ(Row2("{fn CONVERT(s, SQL_SMALLINT)}"), "12");
  EXPECT_EQ(Row2("{fn CONVERT(s, SQL_DOUBLE)}"), "real 12.000000");
  EXPECT_EQ(Row2("{fn CONVERT(n, SQL_VARCHAR)}"), "1.5");
  EXPECT_EQ(Row2("{fn CONVERT(n, SQL_BIT)}"), "1");
  EXPECT_EQ(Row2("{fn CONVERT(d, SQL_DATE)}"), "2026-01-31 00:00:00");
  EXPECT_EQ(Row2("{fn CONVERT(d, SQL_TYPE_TIME)}"), "1899-12-30 10:30:00");
  EXPECT_EQ(Row2("{fn CONVERT('2026-02-01', SQL_TIMESTAMP)}"), "2026-02-01 00:00:00");
  EXPECT_EQ(Row2("{fn CONVERT(NULL, SQL_INTEGER)}"), "NULL");
  EXPECT_EQ(One("SELECT {fn CONVERT(s, SQL_INTEGER)} FROM [S$] WHERE s = 'abc'"),
            "22018 [Tabrix] CONVERT: 'abc' is not a number, so it is not an SQL_INTEGER");
  EXPECT_EQ(Row2("{fn CONVERT(100000, SQL_SMALLINT)}"),
            "22003 [Tabrix] CONVERT: '100000' is out of the range of SQL_SMALLINT");
  EXPECT_EQ(Row2("{fn CONVERT(n, SQL_DATE)}"),
            "22018 [Tabrix] CONVERT: '1.5' is not a date or time, so it is not a SQL_DATE");
  EXPECT_EQ(Row2("{fn CONVERT(n, SQL_GUID)}").substr(0, 36),
            "HY000 [Tabrix] CONVERT: SQL_GUID is ");
}

TEST_F(Functions, TimestampAddAndDateAddCountInEveryInterval) {
  EXPECT_EQ(Row2("{fn TIMESTAMPADD(SQL_TSI_DAY, 1, d)}"), "2026-02-01 10:30:00");
  EXPECT_EQ(Row2("{fn TIMESTAMPADD(SQL_TSI_MONTH, 1, d)}"),
            "2026-02-28 10:30:00");  // the month's last
  EXPECT_EQ(Row2("{fn TIMESTAMPADD(SQL_TSI_YEAR, -2, {d '2024-02-29'})}"), "2022-02-28 00:00:00");
  EXPECT_EQ(Row2("{fn TIMESTAMPADD(SQL_TSI_HOUR, 14, d)}"), "2026-02-01 00:30:00");
  EXPECT_EQ(Row2("{fn TIMESTAMPADD(SQL_TSI_MINUTE, -31, {t '00:00:00'})}"), "1899-12-29 23:29:00");
  EXPECT_EQ(Row2("{fn TIMESTAMPADD(SQL_TSI_SECOND, 1, {ts '2026-12-31 23:59:59.5'})}"),
            "2027-01-01 00:00:00.500");
  EXPECT_EQ(Row2("{fn TIMESTAMPADD(SQL_TSI_WEEK, 1, d)}"), "2026-02-07 10:30:00");
  EXPECT_EQ(Row2("{fn TIMESTAMPADD(SQL_TSI_QUARTER, 1, d)}"), "2026-04-30 10:30:00");
  EXPECT_EQ(Row2("{fn TIMESTAMPADD(SQL_TSI_FRAC_SECOND, 250000000, d)}"),
            "2026-01-31 10:30:00.250");
  EXPECT_EQ(Row2("DateAdd('d', 30, d)"), "2026-03-02 10:30:00");
  EXPECT_EQ(Row2("DateAdd('m', -1, d)"), "2025-12-31 10:30:00");
  EXPECT_EQ(Row2("DateAdd('yyyy', 1, d)"), "2027-01-31 10:30:00");
  EXPECT_EQ(Row2("DateAdd('q', 4, d)"), "2027-01-31 10:30:00");
  EXPECT_EQ(Row2("DateAdd('ww', 2, d)"), "2026-02-14 10:30:00");
  EXPECT_EQ(Row2("DateAdd('h', 1, t)"), "1899-12-30 19:00:00");
  EXPECT_EQ(Row2("DateAdd('n', 90, t)"), "1899-12-30 19:30:00");
  EXPECT_EQ(Row2("DateAdd('s', -1, {d '2026-01-01'})"), "2025-12-31 23:59:59");
  EXPECT_EQ(Row2("DateAdd('d', NULL, d)"), "NULL");
  EXPECT_EQ(Row2("DateAdd('yyyy', 9000, d)"),
            "22008 [Tabrix] DateAdd: the date falls outside the years 1 to 9999");
  EXPECT_EQ(Row2("DateAdd('x', 1, d)"),
            "HY000 [Tabrix] DateAdd: the interval 'x' is not one of 'yyyy', 'q', 'm', 'y', 'd', "
            "'w', 'ww', 'h', 'n' or 's'");
  EXPECT_EQ(
      Row2("{fn TIMESTAMPADD(SQL_TSI_DAY, 1, s)}"),
      "22018 [Tabrix] TIMESTAMPADD: '12' is not a date or time (a date cell, {d 'YYYY-MM-DD'}, "
      "{ts ...} or {t ...})");
  EXPECT_EQ(Row2("{fn TIMESTAMPADD(SQL_TSI_DAY, 'x', d)}"),
            "22018 [Tabrix] TIMESTAMPADD: the count 'x' is not a number");
}

TEST_F(Functions, DifferencesCountTheBoundariesCrossed) {
  EXPECT_EQ(Row2("{fn TIMESTAMPDIFF(SQL_TSI_DAY, {d '2026-01-01'}, d)}"), "30");
  EXPECT_EQ(Row2("{fn TIMESTAMPDIFF(SQL_TSI_YEAR, {ts '2025-12-31 23:59:59'}, {d '2026-01-01'})}"),
            "1");
  EXPECT_EQ(Row2("{fn TIMESTAMPDIFF(SQL_TSI_MONTH, d, {d '2025-11-30'})}"), "-2");
  EXPECT_EQ(Row2("{fn TIMESTAMPDIFF(SQL_TSI_QUARTER, {d '2026-03-31'}, {d '2026-04-01'})}"), "1");
  EXPECT_EQ(Row2("{fn TIMESTAMPDIFF(SQL_TSI_HOUR, t, {t '20:59:59'})}"), "2");
  EXPECT_EQ(Row2("{fn TIMESTAMPDIFF(SQL_TSI_MINUTE, {t '10:00:59'}, {t '10:01:00'})}"), "1");
  EXPECT_EQ(Row2("{fn TIMESTAMPDIFF(SQL_TSI_SECOND, {t '10:00:00'}, {t '09:59:58.5'})}"), "-2");
  // 2026-01-31 is a Saturday: the next day starts a week.
  EXPECT_EQ(Row2("{fn TIMESTAMPDIFF(SQL_TSI_WEEK, d, {d '2026-02-01'})}"), "1");
  EXPECT_EQ(Row2("DateDiff('ww', d, {d '2026-02-01'})"), "1");
  EXPECT_EQ(Row2("DateDiff('w', d, {d '2026-02-06'})"), "0");  // whole weeks
  EXPECT_EQ(Row2("DateDiff('d', d, {d '2024-02-28'})"), "-703");
  EXPECT_EQ(Row2("DateDiff('yyyy', {d '2024-02-29'}, d)"), "2");
  EXPECT_EQ(Row2("DateDiff('m', {d '2024-02-29'}, d)"), "23");
  EXPECT_EQ(Row2("DateDiff('s', t, {t '18:01:00'})"), "60");
}

TEST_F(Functions, PartsOfADate) {
  EXPECT_EQ(Row2("{fn DAYOFWEEK(d)}"), "7");  // Saturday
  EXPECT_EQ(Row2("{fn DAYOFWEEK({d '2026-02-01'})}"), "1");
  EXPECT_EQ(Row2("{fn DAYOFYEAR({d '2024-12-31'})}"), "366");
  EXPECT_EQ(Row2("{fn QUARTER(d)}"), "1");
  EXPECT_EQ(Row2("{fn WEEK({d '2026-01-04'})}"), "2");  // the first Sunday of 2026
  EXPECT_EQ(Row2("{fn DAYNAME(d)}"), "Saturday");
  EXPECT_EQ(Row2("{fn MONTHNAME(d)}"), "January");
  EXPECT_EQ(Row2("DatePart('yyyy', d)"), "2026");
  EXPECT_EQ(Row2("DatePart('q', {d '2026-10-01'})"), "4");
  EXPECT_EQ(Row2("DatePart('m', d)"), "1");
  EXPECT_EQ(Row2("DatePart('y', {d '2026-02-01'})"), "32");
  EXPECT_EQ(Row2("DatePart('d', d)"), "31");
  EXPECT_EQ(Row2("DatePart('w', d)"), "7");
  EXPECT_EQ(Row2("DatePart('ww', d)"), "5");
  EXPECT_EQ(Row2("DatePart('h', d)"), "10");
  EXPECT_EQ(Row2("DatePart('n', d)"), "30");
  EXPECT_EQ(Row2("DatePart('s', {t '10:30:45'})"), "45");
  EXPECT_EQ(Row2("DatePart('h', t)"), "18");
  EXPECT_EQ(Row2("DatePart('d', NULL)"), "NULL");
  EXPECT_EQ(Row2("{fn DAYOFWEEK('2026-02-30')}").substr(0, 5), "22018");
}

TEST_F(Functions, TimeLiteralsEqualTimeOnlyCells) {
  EXPECT_EQ(One("SELECT COUNT(*) FROM [S$] WHERE t = {t '18:00:00'}"), "1");
  EXPECT_EQ(One("SELECT COUNT(*) FROM [S$] WHERE t = #12:00:00#"), "1");
  EXPECT_EQ(One("SELECT COUNT(*) FROM [S$] WHERE t > {t '11:59:59'}"), "2");
  EXPECT_EQ(One("SELECT COUNT(*) FROM [S$] WHERE d = {d '2024-02-29'}"), "1");
}

TEST_F(Functions, TopOfEachArmAndTopPercentRunInTheEngine) {
  EXPECT_EQ(One("SELECT SUM(n) FROM (SELECT TOP 1 n FROM [S$] ORDER BY n UNION ALL "
                "SELECT TOP 1 n FROM [S$] ORDER BY n DESC)"),
            "real -1.250000");
  EXPECT_EQ(
      One("(SELECT TOP 1 s FROM [S$] ORDER BY s) UNION (SELECT TOP 1 s FROM [S$] ORDER BY s DESC) "
          "ORDER BY 1 DESC"),
      "abc");
  EXPECT_EQ(One("SELECT COUNT(*) FROM (SELECT TOP 50 PERCENT n FROM [S$])"), "1");
  EXPECT_EQ(One("SELECT COUNT(*) FROM (SELECT TOP 51 PERCENT n FROM [S$])"), "2");  // rounded up
  EXPECT_EQ(One("SELECT COUNT(*) FROM (SELECT TOP 0 PERCENT n FROM [S$])"), "0");
}

}  // namespace
}  // namespace tabrix::sql

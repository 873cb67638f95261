// The desktop dialect and the ODBC escapes as the engine is given them (SQLNativeSql shows the
// same text).
#include <gtest/gtest.h>

#include "sql/Engine.h"

namespace tabrix::sql {
namespace {

std::string T(const std::string& sql) { return Database::Translate(sql); }

std::string Refusal(const std::string& sql) {
  try {
    T(sql);
  } catch (const EngineError& e) {
    return e.State() + " " + e.what();
  }
  return "translated";
}

TEST(Dialect, TopBecomesALimitAtTheEndOfItsOwnSelect) {
  EXPECT_EQ(T("SELECT TOP 5 * FROM [S$] ORDER BY a;"), "SELECT * FROM [S$] ORDER BY a LIMIT 5;");
  EXPECT_EQ(T("select distinct top 2 a from t"), "select distinct a from t LIMIT 2");
  EXPECT_EQ(T("SELECT a FROM t WHERE a IN (SELECT TOP 1 b FROM u ORDER BY b) AND c = 1"),
            "SELECT a FROM t WHERE a IN (SELECT b FROM u ORDER BY b LIMIT 1) AND c = 1");
  // A column called top is left alone.
  EXPECT_EQ(T("SELECT top FROM t"), "SELECT top FROM t");
}

TEST(Dialect, TopInTheArmsOfACompoundSelectLimitsEachArm) {
  EXPECT_EQ(
      T("SELECT TOP 1 a FROM t UNION SELECT TOP 1 b FROM u"),
      "SELECT * FROM (SELECT a FROM t LIMIT 1) UNION SELECT * FROM (SELECT b FROM u LIMIT 1)");
  // An arm's ORDER BY goes with its TOP; a closing one after a TOP orders both the rows that
  // TOP takes and the compound.
  EXPECT_EQ(T("SELECT TOP 2 a FROM t ORDER BY a DESC UNION ALL SELECT TOP 3 b FROM u ORDER BY 1;"),
            "SELECT * FROM (SELECT a FROM t ORDER BY a DESC LIMIT 2) UNION ALL "
            "SELECT * FROM (SELECT b FROM u ORDER BY 1 LIMIT 3) ORDER BY 1;");
  EXPECT_EQ(T("SELECT TOP 2 a FROM t UNION SELECT b FROM u ORDER BY 1"),
            "SELECT * FROM (SELECT a FROM t LIMIT 2) UNION SELECT b FROM u ORDER BY 1");
  EXPECT_EQ(T("SELECT a FROM t EXCEPT SELECT TOP 1 b FROM u"),
            "SELECT a FROM t EXCEPT SELECT * FROM (SELECT b FROM u LIMIT 1)");
  // Parenthesised arms, which SQLite does not parse, become subqueries.
  EXPECT_EQ(T("(SELECT TOP 1 a FROM t ORDER BY a) UNION (SELECT TOP 1 b FROM u) ORDER BY 1"),
            "SELECT * FROM (SELECT a FROM t ORDER BY a LIMIT 1) UNION SELECT * FROM (SELECT b FROM "
            "u LIMIT 1) ORDER BY 1");
  EXPECT_EQ(T("SELECT x FROM (SELECT TOP 1 a AS x FROM t UNION SELECT TOP 1 b FROM u) WHERE x > 0"),
            "SELECT x FROM (SELECT * FROM (SELECT a AS x FROM t LIMIT 1) UNION SELECT * FROM "
            "(SELECT b FROM u LIMIT 1)) WHERE x > 0");
  // ALL before a scalar subquery is not a compound's.
  EXPECT_EQ(T("SELECT ALL (SELECT TOP 1 b FROM u) FROM t"),
            "SELECT ALL (SELECT b FROM u LIMIT 1) FROM t");
  EXPECT_EQ(Refusal("SELECT a FROM t)").substr(0, 5), "42000");
}

TEST(Dialect, TopPercentCountsTheRowsOfItsOwnSelect) {
  EXPECT_EQ(T("SELECT TOP 10 PERCENT a FROM t ORDER BY a"),
            "SELECT a FROM t ORDER BY a LIMIT (SELECT (COUNT(*) * 10 + 99) / 100 FROM (SELECT a "
            "FROM t ORDER BY a))");
  EXPECT_EQ(T("SELECT TOP 50 PERCENT a FROM t UNION SELECT b FROM u"),
            "SELECT * FROM (SELECT a FROM t LIMIT (SELECT (COUNT(*) * 50 + 99) / 100 FROM (SELECT "
            "a FROM t))) "
            "UNION SELECT b FROM u");
  EXPECT_EQ(Refusal("SELECT TOP 101 PERCENT a FROM t"),
            "42000 [Tabrix] TOP 101 PERCENT: the percentage is 0 to 100");
  EXPECT_EQ(Refusal("SELECT TOP 5 PERCENT a FROM t WHERE b = ?"),
            "HYC00 [Tabrix] SELECT TOP n PERCENT is not offered with parameters (?) in the same "
            "SELECT: use TOP n");
}

TEST(Dialect, DateLiteralsAndTheDateEscapes) {
  EXPECT_EQ(T("SELECT * FROM t WHERE d >= #2026-01-31# AND d < #2/1/2026#"),
            "SELECT * FROM t WHERE d >= '2026-01-31 00:00:00' AND d < '2026-02-01 00:00:00'");
  EXPECT_EQ(T("WHERE d = #2026-01-31 10:30:00# OR d = #1/31/2026 1:05 PM#"),
            "WHERE d = '2026-01-31 10:30:00' OR d = '2026-01-31 13:05:00'");
  EXPECT_EQ(
      T("WHERE d = {d '2026-01-31'} OR t = { t '10:30:00' } OR s = {ts '2026-01-31 10:30:00'}"),
      "WHERE d = '2026-01-31 00:00:00' OR t = '1899-12-30 10:30:00' OR s = '2026-01-31 10:30:00'");
  // A time alone is that time on the day time-only cells are kept on.
  EXPECT_EQ(
      T("WHERE t = {t '9:05:00'} OR t = #10:30# OR t = #1:05:30 PM#"),
      "WHERE t = '1899-12-30 09:05:00' OR t = '1899-12-30 10:30:00' OR t = '1899-12-30 13:05:30'");
  EXPECT_EQ(Refusal("WHERE d = #31.01.2026#"),
            "42000 [Tabrix] cannot read the date literal at '#31.01.2026#' (write #YYYY-MM-DD# or #M/D/YYYY#)");
  EXPECT_EQ(Refusal("WHERE d = #2026-13-01#").substr(0, 5), "42000");
}

TEST(Dialect, FunctionAndOuterJoinEscapesLoseOnlyTheirBraces) {
  EXPECT_EQ(T("SELECT {fn UCASE({fn LTRIM(a)})} FROM t"), "SELECT UCASE(LTRIM(a)) FROM t");
  EXPECT_EQ(T("SELECT * FROM {oj [A$] a LEFT OUTER JOIN [B$] b ON a.k = b.k}"),
            "SELECT * FROM [A$] a LEFT OUTER JOIN [B$] b ON a.k = b.k");
  EXPECT_EQ(T("SELECT {fn LEFT(a, 2)}, Right(a, 1) FROM t LEFT JOIN u ON 1"),
            "SELECT tabrix_left(a, 2), tabrix_right(a, 1) FROM t LEFT JOIN u ON 1");
  EXPECT_EQ(T("WHERE a LIKE 'x\\_%' {escape '\\'}"), "WHERE a LIKE 'x\\_%' ESCAPE '\\'");
  EXPECT_EQ(Refusal("{call proc}"),
            "HYC00 [Tabrix] procedure calls are not offered: a workbook has no procedures");
  EXPECT_EQ(Refusal("SELECT {fn UCASE(a) FROM t").substr(0, 5), "42000");
  EXPECT_EQ(Refusal("SELECT {x 1}"), "42000 [Tabrix] unknown escape '{x' (the escapes read are {d}, {t}, {ts}, {fn}, {oj} and {escape})");
}

TEST(Dialect, TheTypesAndIntervalsOfConversionsAndDateArithmeticAreTexts) {
  EXPECT_EQ(T("SELECT {fn CONVERT(a, SQL_INTEGER)}, {fn TIMESTAMPADD(SQL_TSI_DAY, 1, {fn "
              "CONVERT(b, sql_date)})} FROM t"),
            "SELECT CONVERT(a, 'SQL_INTEGER'), TIMESTAMPADD('SQL_TSI_DAY', 1, CONVERT(b, "
            "'SQL_DATE')) FROM t");
  EXPECT_EQ(T("SELECT {fn TIMESTAMPDIFF(SQL_TSI_MONTH, d, {fn NOW()})} FROM t WHERE sql_x = 1"),
            "SELECT TIMESTAMPDIFF('SQL_TSI_MONTH', d, NOW()) FROM t WHERE sql_x = 1");
  // Columns that only start like them are columns.
  EXPECT_EQ(T("SELECT {fn CONVERT(sql_x, SQL_VARCHAR)} FROM t"),
            "SELECT CONVERT(sql_x, 'SQL_VARCHAR') FROM t");
  // The desktop dialect writes its intervals in double quotes.
  EXPECT_EQ(
      T("SELECT DateAdd(\"d\", 1, d), DATEPART( \"ww\", d), DateDiff(\"d\", \"d\", d) FROM t"),
      "SELECT DateAdd('d', 1, d), DATEPART( 'ww', d), DateDiff('d', \"d\", d) FROM t");
}

TEST(Dialect, QuotedTextAndNamesAreNeverTouched) {
  const std::string sql =
      "SELECT 'TOP 5 #x# {fn a} & b', [Sheet #1$], `a&b`, \"it''s {d\" FROM t -- TOP 1 #\n"
      "/* {oj & } */ WHERE a = 'it''s #1#'";
  EXPECT_EQ(T(sql), sql);
  EXPECT_EQ(T("SELECT a & ' ' & b FROM t"), "SELECT a || ' ' || b FROM t");
  EXPECT_EQ(T("SELECT ? FROM t WHERE a = ?"), "SELECT ? FROM t WHERE a = ?");
}

}  // namespace
}  // namespace tabrix::sql

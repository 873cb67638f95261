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
  EXPECT_EQ(Refusal("SELECT TOP 5 PERCENT * FROM t"),
            "HYC00 [Tabrix] SELECT TOP n PERCENT is not offered: use TOP n");
}

TEST(Dialect, DateLiteralsAndTheDateEscapes) {
  EXPECT_EQ(T("SELECT * FROM t WHERE d >= #2026-01-31# AND d < #2/1/2026#"),
            "SELECT * FROM t WHERE d >= '2026-01-31 00:00:00' AND d < '2026-02-01 00:00:00'");
  EXPECT_EQ(T("WHERE d = #2026-01-31 10:30:00# OR d = #1/31/2026 1:05 PM#"),
            "WHERE d = '2026-01-31 10:30:00' OR d = '2026-01-31 13:05:00'");
  EXPECT_EQ(T("WHERE d = {d '2026-01-31'} OR t = { t '10:30:00' } OR s = {ts '2026-01-31 10:30:00'}"),
            "WHERE d = '2026-01-31 00:00:00' OR t = '10:30:00' OR s = '2026-01-31 10:30:00'");
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

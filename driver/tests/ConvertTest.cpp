// Result values into the application's C types, by the ODBC rules for cutting texts and for
// values out of range.
#include <gtest/gtest.h>

#include <cstring>

#include "odbc/Handles.h"

namespace tabrix::odbc {
namespace {

Value TextValue(std::string_view s) {
  Value v;
  v.type = sql::ValueType::Text;
  v.text = s;
  return v;
}
Value RealValue(double d) {
  Value v;
  v.type = sql::ValueType::Real;
  v.real = d;
  return v;
}

ColumnMeta Meta(SQLSMALLINT type) {
  ColumnMeta m;
  m.sqlType = type;
  return m;
}

struct Converted {
  SQLRETURN rc;
  std::string state;
  SQLLEN indicator;
};

Converted Convert(const Value& value, SQLSMALLINT cType, void* target, SQLLEN length,
                  SQLSMALLINT sqlType = SQL_VARCHAR) {
  Handle handle(SQL_HANDLE_STMT);
  SQLLEN indicator = -99;
  SQLRETURN rc = ConvertValue(value, Meta(sqlType), cType, target, length, &indicator, nullptr,
                              handle, 1, 1);
  return {rc, handle.diags.empty() ? "" : handle.diags.back().state, indicator};
}

TEST(Convert, TextIsCutAtAWholeCharacterWithItsFullLengthAnd01004) {
  char buffer[6];
  Converted c = Convert(TextValue("Zürich"), SQL_C_CHAR, buffer, sizeof buffer);
  EXPECT_EQ(c.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(c.state, "01004");
  EXPECT_EQ(c.indicator, 7);            // the bytes there are
  EXPECT_STREQ(buffer, "Züri");
  c = Convert(TextValue("Zürich"), SQL_C_CHAR, buffer, 3);
  EXPECT_STREQ(buffer, "Z");  // room for 2 bytes: never half of ü
  char exact[8];
  c = Convert(TextValue("Zürich"), SQL_C_CHAR, exact, sizeof exact);
  EXPECT_EQ(c.rc, SQL_SUCCESS);
  EXPECT_STREQ(exact, "Zürich");
}

TEST(Convert, WideTextIsUtf16AndKeepsSurrogatePairsWhole) {
  SQLWCHAR buffer[8];
  Converted c = Convert(TextValue("a😀b"), SQL_C_WCHAR, buffer, sizeof buffer);
  EXPECT_EQ(c.rc, SQL_SUCCESS);
  EXPECT_EQ(c.indicator, 8);  // 4 code units
  EXPECT_EQ(buffer[0], 'a');
  EXPECT_EQ(buffer[1], 0xD83D);
  EXPECT_EQ(buffer[2], 0xDE00);
  EXPECT_EQ(buffer[3], 'b');
  EXPECT_EQ(buffer[4], 0);
  c = Convert(TextValue("a😀b"), SQL_C_WCHAR, buffer, 3 * sizeof(SQLWCHAR));
  EXPECT_EQ(c.state, "01004");
  EXPECT_EQ(buffer[0], 'a');
  EXPECT_EQ(buffer[1], 0);  // half a pair is never given
  EXPECT_EQ(FromWide(buffer, SQL_NTS), "a");
}

TEST(Convert, GetDataInPiecesGivesEveryByteOnceThenNoData) {
  Handle handle(SQL_HANDLE_STMT);
  Stmt pieces(nullptr);
  const std::string text = std::string(25, 'x') + "é" + std::string(10, 'y');
  std::string got;
  std::vector<SQLLEN> lengths;
  SQLRETURN rc;
  char buffer[10];
  do {
    SQLLEN indicator = 0;
    rc = ConvertValue(TextValue(text), Meta(SQL_VARCHAR), SQL_C_CHAR, buffer, sizeof buffer,
                      &indicator, &pieces, handle, 0, 1);
    if (rc == SQL_NO_DATA) break;
    ASSERT_TRUE(SQL_SUCCEEDED(rc));
    lengths.push_back(indicator);
    got += buffer;
  } while (true);
  EXPECT_EQ(got, text);
  EXPECT_EQ(lengths, (std::vector<SQLLEN>{37, 28, 19, 10, 1}));  // what is left each time
  EXPECT_EQ(handle.diags.size(), 4u);  // 01004 for every piece but the last
}

TEST(Convert, NumbersOutOfRangeFractionsAndTextsThatAreNoNumbers) {
  int16_t small = 0;
  EXPECT_EQ(Convert(RealValue(40000), SQL_C_SSHORT, &small, 0).state, "22003");
  int32_t whole = 0;
  Converted c = Convert(RealValue(12.75), SQL_C_SLONG, &whole, 0);
  EXPECT_EQ(c.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(c.state, "01S07");
  EXPECT_EQ(whole, 12);
  EXPECT_EQ(Convert(RealValue(-1), SQL_C_ULONG, &whole, 0).state, "22003");
  EXPECT_EQ(Convert(TextValue("abc"), SQL_C_DOUBLE, &whole, 0).state, "22018");
  double d = 0;
  EXPECT_EQ(Convert(TextValue(" 2.5 "), SQL_C_DOUBLE, &d, 0).rc, SQL_SUCCESS);
  EXPECT_EQ(d, 2.5);
  unsigned char bit = 9;
  EXPECT_EQ(Convert(RealValue(2), SQL_C_BIT, &bit, 0).state, "22003");
  EXPECT_EQ(Convert(RealValue(1), SQL_C_BIT, &bit, 0).rc, SQL_SUCCESS);
  EXPECT_EQ(bit, 1);
  SQL_NUMERIC_STRUCT numeric{};
  EXPECT_EQ(Convert(RealValue(-300), SQL_C_NUMERIC, &numeric, 0).rc, SQL_SUCCESS);
  EXPECT_EQ(numeric.sign, 0);
  EXPECT_EQ(numeric.val[0], 44);  // 300 = 1 * 256 + 44
  EXPECT_EQ(numeric.val[1], 1);
}

TEST(Convert, TimestampsDatesTimesAndDefaults) {
  SQL_TIMESTAMP_STRUCT ts{};
  Converted c = Convert(TextValue("2026-01-31 10:30:15.250"), SQL_C_DEFAULT, &ts, 0, SQL_TYPE_TIMESTAMP);
  EXPECT_EQ(c.rc, SQL_SUCCESS);
  EXPECT_EQ(c.indicator, static_cast<SQLLEN>(sizeof ts));
  EXPECT_EQ(ts.year, 2026);
  EXPECT_EQ(ts.day, 31);
  EXPECT_EQ(ts.second, 15);
  EXPECT_EQ(ts.fraction, 250000000u);
  SQL_DATE_STRUCT date{};
  c = Convert(TextValue("2026-01-31 10:30:15"), SQL_C_TYPE_DATE, &date, 0);
  EXPECT_EQ(c.state, "01S07");  // the time of day is cut
  EXPECT_EQ(date.month, 1);
  EXPECT_EQ(Convert(TextValue("soon"), SQL_C_TYPE_TIMESTAMP, &ts, 0).state, "22018");
  double d = 0;
  EXPECT_EQ(Convert(RealValue(1.5), SQL_C_DEFAULT, &d, 0, SQL_DOUBLE).rc, SQL_SUCCESS);
  EXPECT_EQ(d, 1.5);
}

TEST(Convert, NullNeedsAnIndicator) {
  Handle handle(SQL_HANDLE_STMT);
  char buffer[4];
  EXPECT_EQ(ConvertValue(Value{}, Meta(SQL_VARCHAR), SQL_C_CHAR, buffer, 4, nullptr, nullptr, handle, 1, 1),
            SQL_ERROR);
  EXPECT_EQ(handle.diags.back().state, "22002");
  SQLLEN indicator = 0;
  EXPECT_EQ(ConvertValue(Value{}, Meta(SQL_VARCHAR), SQL_C_CHAR, buffer, 4, &indicator, nullptr, handle, 1, 1),
            SQL_SUCCESS);
  EXPECT_EQ(indicator, SQL_NULL_DATA);
}

TEST(Convert, NumbersAsTextReadBackAsTheSameNumber) {
  char buffer[32];
  for (double v : {0.1, 1e21, -123456.789, 5.0, 1.0 / 3}) {
    Convert(RealValue(v), SQL_C_CHAR, buffer, sizeof buffer);
    EXPECT_EQ(std::strtod(buffer, nullptr), v) << buffer;
  }
  Convert(RealValue(42), SQL_C_CHAR, buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "42");
}

TEST(Convert, OutputStringsAreCutAndCountedInTheirOwnUnits) {
  char narrow[4];
  SQLLEN length = 0;
  EXPECT_TRUE(PutString("abcdef", narrow, sizeof narrow, &length, false, false));
  EXPECT_STREQ(narrow, "abc");
  EXPECT_EQ(length, 6);
  SQLWCHAR wide[4];
  EXPECT_FALSE(PutString("äb", wide, 4, &length, true, false));
  EXPECT_EQ(length, 2);  // characters
  EXPECT_FALSE(PutString("äb", wide, sizeof wide, &length, true, true));
  EXPECT_EQ(length, 4);  // bytes
  EXPECT_FALSE(PutString("anything", nullptr, 0, &length, false, false));  // only the length asked
  EXPECT_EQ(length, 8);
}

}  // namespace
}  // namespace tabrix::odbc

#include "driver/formats/Dates.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace tabrix::formats {
namespace {

std::string Show(double serial, bool date1904) {
  const auto d = SerialToDateTime(serial, date1904);
  if (!d) return "none";
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%09u", d->year, d->month, d->day,
                d->hour, d->minute, d->second, d->nanosecond);
  return text;
}

TEST(Dates, The1900SystemCountsItsFictitiousLeapDay) {
  EXPECT_EQ(Show(1, false), "1900-01-01 00:00:00.000000000");
  EXPECT_EQ(Show(59, false), "1900-02-28 00:00:00.000000000");
  EXPECT_EQ(Show(60, false), "1900-02-28 00:00:00.000000000");  // 29 February 1900, never was
  EXPECT_EQ(Show(61, false), "1900-03-01 00:00:00.000000000");
  EXPECT_EQ(Show(46053, false), "2026-01-31 00:00:00.000000000");
  EXPECT_EQ(Show(2958465.999988426, false), "9999-12-31 23:59:59.000000000");
  EXPECT_EQ(Show(2958466, false), "none");
}

TEST(Dates, The1904SystemStartsAtSerialZero) {
  EXPECT_EQ(Show(0, true), "1904-01-01 00:00:00.000000000");
  EXPECT_EQ(Show(44591, true), "2026-01-31 00:00:00.000000000");
  EXPECT_EQ(Show(44591.25, true), "2026-01-31 06:00:00.000000000");
}

TEST(Dates, SerialsBelowOneAreTimesOfDay) {
  EXPECT_EQ(Show(0, false), "1899-12-31 00:00:00.000000000");
  EXPECT_EQ(Show(0.5, false), "1899-12-31 12:00:00.000000000");
  EXPECT_EQ(Show(0.75, true), "1904-01-01 18:00:00.000000000");
  // Times are kept to the millisecond; one that rounds up to midnight is the next day.
  EXPECT_EQ(Show(1.0 / 3, false), "1899-12-31 08:00:00.000000000");
  EXPECT_EQ(Show(45001 - 1e-10, false), "2023-03-16 00:00:00.000000000");
  EXPECT_EQ(Show(45000 - 0.0000001, false), "2023-03-14 23:59:59.991000000");
  EXPECT_EQ(Show(0.0000115740740740, false), "1899-12-31 00:00:01.000000000");
  EXPECT_EQ(Show(12.5 / 86400000 + 0.25, false), "1899-12-31 06:00:00.013000000");
}

TEST(Dates, OutOfRangeSerialsAreNone) {
  EXPECT_EQ(Show(-1, false), "none");
  EXPECT_EQ(Show(1e300, false), "none");
  EXPECT_EQ(Show(std::numeric_limits<double>::quiet_NaN(), false), "none");
  EXPECT_EQ(Show(std::numeric_limits<double>::infinity(), true), "none");
}

TEST(Dates, TheInverseGivesTheSerialBack) {
  for (bool date1904 : {false, true}) {
    for (double serial :
         {0.0, 1.0, 59.0, 61.0, 1000.5, 46053.75, date1904 ? 2957003.0 : 2958465.0}) {
      const auto parts = SerialToDateTime(serial, date1904);
      ASSERT_TRUE(parts) << serial;
      const auto back = DateTimeToSerial(*parts, date1904);
      ASSERT_TRUE(back) << serial;
      EXPECT_NEAR(*back, serial, 1e-9) << serial << " " << date1904;
    }
  }
  EXPECT_EQ(DateTimeToSerial({1900, 2, 28, 0, 0, 0, 0}, false), 59.0);
  EXPECT_EQ(DateTimeToSerial({1900, 3, 1, 0, 0, 0, 0}, false), 61.0);
  EXPECT_EQ(DateTimeToSerial({1900, 2, 29, 0, 0, 0, 0}, false), std::nullopt);  // not a date
  EXPECT_EQ(DateTimeToSerial({1903, 12, 31, 0, 0, 0, 0}, true), std::nullopt);  // before 0
  EXPECT_EQ(DateTimeToSerial({1899, 12, 30, 0, 0, 0, 0}, false), std::nullopt);
  EXPECT_EQ(DateTimeToSerial({2026, 2, 30, 0, 0, 0, 0}, false), std::nullopt);
  EXPECT_EQ(DateTimeToSerial({2026, 1, 1, 24, 0, 0, 0}, false), std::nullopt);
  EXPECT_EQ(DateTimeToSerial({2024, 2, 29, 12, 0, 0, 0}, false), 45351.5);
}

TEST(Dates, IsoTextAsSerials) {
  EXPECT_EQ(IsoToSerial("2026-01-31", false), 46053.0);
  EXPECT_EQ(IsoToSerial("2026-01-31T18:00:00", false), 46053.75);
  EXPECT_EQ(IsoToSerial("2026-01-31 18:00:00Z", false), 46053.75);
  EXPECT_EQ(IsoToSerial("2026-01-31T18:00", true), 44591.75);
  EXPECT_EQ(IsoToSerial("12:00:00", false), 0.5);
  EXPECT_EQ(IsoToSerial("T06:00:00.5", true), (6 * 3600 + 0.5) / 86400);
  for (const char* bad : {"", "2026", "2026-1-31", "2026-01-31T", "2026-01-31x", "31/01/2026",
                          "2026-13-01", "25:00:00", "2026-01-31T10:00:00."})
    EXPECT_EQ(IsoToSerial(bad, false), std::nullopt) << bad;
}

}  // namespace
}  // namespace tabrix::formats

// Workbook date serials: days counted from the workbook's epoch, the time of day as the
// fraction. The 1900 system counts a 29 February 1900 that never was (serial 60); here it reads
// as 1900-02-28, so that every real date keeps its serial. Serials below 1 are times of day,
// with the date the system gives day 0 (1899-12-31 in the 1900 system, 1904-01-01 in the 1904).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tabrix::formats {

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day);
void CivilFromDays(int64_t days, int64_t& year, int64_t& month, int64_t& day);

struct DateTime {
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0;
  uint32_t nanosecond = 0;  // times are kept to the millisecond, as workbooks show them
};

// The serial's date and time; nothing for a serial outside 0 to 9999-12-31 (or not a number).
std::optional<DateTime> SerialToDateTime(double serial, bool date1904);

// The serial of a date and time; nothing for a date before the system's day 0, after
// 9999-12-31, or not a date (2026-02-30, 25:00).
std::optional<double> DateTimeToSerial(const DateTime& when, bool date1904);

// "2026-01-31", "2026-01-31T10:20:30.5", "2026-01-31 10:20:30", "10:20:30" (a time of day),
// with an optional trailing "Z": the serial, or nothing when the text is not such a date.
std::optional<double> IsoToSerial(std::string_view text, bool date1904);

}  // namespace tabrix::formats

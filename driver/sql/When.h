// Dates and times as the engine holds them: 'YYYY-MM-DD HH:MM:SS[.fff]' texts, read, written
// and counted in the units of both dialects' date functions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tabrix::sql {

// A time of day alone is kept on 1899-12-30, as ODBC reads a time as a timestamp.
struct When {
  int64_t days = 0;  // since 1970-01-01
  int64_t ms = 0;    // of the day
};

int64_t DaysInMonth(int64_t year, int64_t month);

// 'YYYY-MM-DD', 'YYYY-MM-DD HH:MM[:SS[.fff]]' (or with a 'T'), 'HH:MM[:SS[.fff]]'.
bool ParseWhen(std::string_view s, When& when);
std::string FormatWhen(const When& when);

// The units date arithmetic counts in, named by ODBC (SQL_TSI_DAY) or the desktop dialect ('d').
enum class Unit {
  FracSecond,
  Second,
  Minute,
  Hour,
  Day,
  Week,
  CalendarWeek,
  Month,
  Quarter,
  Year,
  DayOfYear,
  Weekday,
  None
};

Unit OdbcUnit(std::string_view name);
Unit DesktopUnit(std::string_view name);
// The names each takes, for the messages that refuse another.
extern const char* const kOdbcUnits;
extern const char* const kDesktopUnits;

// Adds `n` units; false when the result overflows.
bool AddUnits(When& when, Unit unit, int64_t n);
// How many unit boundaries lie between a and b (b later gives a positive count), as both
// dialects count: a year from 31 December to 1 January.
int64_t UnitsBetween(const When& a, const When& b, Unit unit);
// The unit's part of a date: its year, its month, its day of the week (1 for Sunday), ...
int64_t PartIn(const When& when, Unit unit);

}  // namespace tabrix::sql

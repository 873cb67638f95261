// The date functions of both dialects: ODBC's ({fn TIMESTAMPADD(SQL_TSI_DAY, 1, d)}, YEAR,
// DAYNAME, ...) and the desktop's (DateAdd('d', 1, d), DatePart, ...), over the engine's date
// texts.
#include <ctime>
#include <string>

#include "formats/Ascii.h"
#include "sql/FunctionArgs.h"

namespace tabrix::sql {
namespace {

// A part of a 'YYYY-MM-DD HH:MM:SS' text: the timestamps the engine gives and the ODBC escapes.
void DatePart(sqlite3_context* context, sqlite3_value** argv, size_t at, size_t width) {
  if (sqlite3_value_type(argv[0]) != SQLITE_TEXT) return;
  const unsigned char* s = sqlite3_value_text(argv[0]);
  size_t n = static_cast<size_t>(sqlite3_value_bytes(argv[0]));
  // A time alone ('10:30:00') has its parts where a timestamp's time begins.
  bool timeOnly = n >= 8 && s[2] == ':';
  if (timeOnly) {
    if (at < 11) return;
    at -= 11;
  }
  if (at + width > n) return;
  int value = 0;
  for (size_t i = at; i < at + width; ++i) {
    if (!formats::IsAsciiDigit(s[i])) return;
    value = value * 10 + (s[i] - '0');
  }
  sqlite3_result_int(context, value);
}
void Year(sqlite3_context* c, int, sqlite3_value** v) { DatePart(c, v, 0, 4); }
void Month(sqlite3_context* c, int, sqlite3_value** v) { DatePart(c, v, 5, 2); }
void Day(sqlite3_context* c, int, sqlite3_value** v) { DatePart(c, v, 8, 2); }
void Hour(sqlite3_context* c, int, sqlite3_value** v) { DatePart(c, v, 11, 2); }
void Minute(sqlite3_context* c, int, sqlite3_value** v) { DatePart(c, v, 14, 2); }
void Second(sqlite3_context* c, int, sqlite3_value** v) { DatePart(c, v, 17, 2); }

// The interval argument in the dialect's names: Unit::None, with the error set, when it is not one.
Unit IntervalOf(sqlite3_context* context, sqlite3_value* v, const char* function, bool odbc) {
  const Unit unit = odbc ? OdbcUnit(TextOf(v)) : DesktopUnit(TextOf(v));
  if (unit == Unit::None) {
    Fail(context, std::string("HY000: ") + function + ": the interval " + Shown(v) +
                      " is not one of " + (odbc ? kOdbcUnits : kDesktopUnits));
  }
  return unit;
}

// TIMESTAMPADD(SQL_TSI_x, n, ts) and DateAdd('x', n, date).
void AddCall(sqlite3_context* context, sqlite3_value** argv, bool odbc) {
  const char* function = odbc ? "TIMESTAMPADD" : "DateAdd";
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
  const Unit unit = IntervalOf(context, argv[0], function, odbc);
  if (unit == Unit::None) return;
  if (AnyNull(3, argv)) return;
  When when;
  if (!WhenOf(context, argv[2], function, when)) return;
  const int type = sqlite3_value_numeric_type(argv[1]);
  if (type != SQLITE_INTEGER && type != SQLITE_FLOAT) {
    Fail(context,
         std::string("22018: ") + function + ": the count " + Shown(argv[1]) + " is not a number");
    return;
  }
  if (!AddUnits(when, unit, static_cast<int64_t>(sqlite3_value_double(argv[1])))) {
    Fail(context,
         std::string("22008: ") + function + ": the date falls outside the years 1 to 9999");
    return;
  }
  ResultWhen(context, when, function);
}
void TimestampAdd(sqlite3_context* c, int, sqlite3_value** v) { AddCall(c, v, true); }
void DateAdd(sqlite3_context* c, int, sqlite3_value** v) { AddCall(c, v, false); }

// TIMESTAMPDIFF(SQL_TSI_x, from, to) and DateDiff('x', from, to).
void DiffCall(sqlite3_context* context, sqlite3_value** argv, bool odbc) {
  const char* function = odbc ? "TIMESTAMPDIFF" : "DateDiff";
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
  const Unit unit = IntervalOf(context, argv[0], function, odbc);
  if (unit == Unit::None) return;
  if (AnyNull(3, argv)) return;
  When a, b;
  if (!WhenOf(context, argv[1], function, a) || !WhenOf(context, argv[2], function, b)) return;
  sqlite3_result_int64(context, UnitsBetween(a, b, unit));
}
void TimestampDiff(sqlite3_context* c, int, sqlite3_value** v) { DiffCall(c, v, true); }
void DateDiff(sqlite3_context* c, int, sqlite3_value** v) { DiffCall(c, v, false); }

// DatePart('x', date).
void DatePartCall(sqlite3_context* context, int, sqlite3_value** argv) {
  if (AnyNull(2, argv)) return;
  const Unit unit = IntervalOf(context, argv[0], "DatePart", false);
  if (unit == Unit::None) return;
  When when;
  if (!WhenOf(context, argv[1], "DatePart", when)) return;
  sqlite3_result_int64(context, PartIn(when, unit));
}

template <Unit U>
void PartCall(sqlite3_context* context, int, sqlite3_value** argv) {
  if (AnyNull(1, argv)) return;
  When when;
  if (!WhenOf(context, argv[0],
              U == Unit::Weekday     ? "DAYOFWEEK"
              : U == Unit::DayOfYear ? "DAYOFYEAR"
              : U == Unit::Quarter   ? "QUARTER"
                                     : "WEEK",
              when)) {
    return;
  }
  sqlite3_result_int64(context, PartIn(when, U));
}

void NameOf(sqlite3_context* context, sqlite3_value** argv, bool day) {
  static const char* const kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                      "Thursday", "Friday", "Saturday"};
  static const char* const kMonths[] = {"January",   "February", "March",    "April",
                                        "May",       "June",     "July",     "August",
                                        "September", "October",  "November", "December"};
  if (AnyNull(1, argv)) return;
  When when;
  if (!WhenOf(context, argv[0], day ? "DAYNAME" : "MONTHNAME", when)) return;
  const char* name =
      day ? kDays[PartIn(when, Unit::Weekday) - 1] : kMonths[PartIn(when, Unit::Month) - 1];
  sqlite3_result_text(context, name, -1, SQLITE_STATIC);
}
void DayName(sqlite3_context* c, int, sqlite3_value** v) { NameOf(c, v, true); }
void MonthName(sqlite3_context* c, int, sqlite3_value** v) { NameOf(c, v, false); }

void Clock(sqlite3_context* context, const char* format) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[32];
  size_t n = std::strftime(buffer, sizeof buffer, format, &local);
  sqlite3_result_text(context, buffer, static_cast<int>(n), SQLITE_TRANSIENT);
}
void Now(sqlite3_context* c, int, sqlite3_value**) { Clock(c, "%Y-%m-%d %H:%M:%S"); }
void Curdate(sqlite3_context* c, int, sqlite3_value**) { Clock(c, "%Y-%m-%d"); }
void Curtime(sqlite3_context* c, int, sqlite3_value**) { Clock(c, "%H:%M:%S"); }

const Function kDateFunctions[] = {
    {"year", 1, Year},
    {"month", 1, Month},
    {"day", 1, Day},
    {"dayofmonth", 1, Day},
    {"hour", 1, Hour},
    {"minute", 1, Minute},
    {"second", 1, Second},
    {"now", 0, Now, false},
    {"curdate", 0, Curdate, false},
    {"curtime", 0, Curtime, false},
    {"current_date", 0, Curdate, false},
    {"timestampadd", 3, TimestampAdd},
    {"timestampdiff", 3, TimestampDiff},
    {"dateadd", 3, DateAdd},
    {"datediff", 3, DateDiff},
    {"datepart", 2, DatePartCall},
    {"dayofweek", 1, PartCall<Unit::Weekday>},
    {"dayofyear", 1, PartCall<Unit::DayOfYear>},
    {"quarter", 1, PartCall<Unit::Quarter>},
    {"week", 1, PartCall<Unit::CalendarWeek>},
    {"dayname", 1, DayName},
    {"monthname", 1, MonthName},
};

}  // namespace

void RegisterDateFunctions(sqlite3* db) { RegisterEach(db, kDateFunctions); }

}  // namespace tabrix::sql

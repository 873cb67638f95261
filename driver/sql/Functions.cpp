#include "sql/Functions.h"

#include "formats/Dates.h"
#include "sql/Sheet.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace tabrix::sql {
namespace {

// UTF-8 aware positions: SQL counts characters, not bytes.
size_t CharCount(const unsigned char* s, size_t n) {
  size_t count = 0;
  for (size_t i = 0; i < n; ++i) count += (s[i] & 0xC0) != 0x80;
  return count;
}

size_t ByteOffset(const unsigned char* s, size_t n, size_t chars) {
  size_t i = 0;
  while (i < n && chars > 0) {
    ++i;
    while (i < n && (s[i] & 0xC0) == 0x80) ++i;
    --chars;
  }
  return i;
}

void CaseMap(sqlite3_context* context, sqlite3_value** argv, bool upper) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
  const unsigned char* s = sqlite3_value_text(argv[0]);
  int n = sqlite3_value_bytes(argv[0]);
  std::string out(reinterpret_cast<const char*>(s), static_cast<size_t>(n));
  for (char& c : out) {
    if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  sqlite3_result_text(context, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

void Ucase(sqlite3_context* c, int, sqlite3_value** v) { CaseMap(c, v, true); }
void Lcase(sqlite3_context* c, int, sqlite3_value** v) { CaseMap(c, v, false); }

void Len(sqlite3_context* context, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
  const unsigned char* s = sqlite3_value_text(argv[0]);
  sqlite3_result_int64(context, static_cast<sqlite3_int64>(
                                    CharCount(s, static_cast<size_t>(sqlite3_value_bytes(argv[0])))));
}

// Left(s, n) and Right(s, n): the first or last n characters.
void Side(sqlite3_context* context, sqlite3_value** argv, bool left) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) return;
  const unsigned char* s = sqlite3_value_text(argv[0]);
  size_t n = static_cast<size_t>(sqlite3_value_bytes(argv[0]));
  sqlite3_int64 want = sqlite3_value_int64(argv[1]);
  if (want < 0) {
    sqlite3_result_error(context, "Left and Right need a count of 0 or more", -1);
    return;
  }
  size_t chars = CharCount(s, n);
  size_t take = std::min<size_t>(chars, static_cast<size_t>(want));
  size_t from = left ? 0 : ByteOffset(s, n, chars - take);
  size_t to = left ? ByteOffset(s, n, take) : n;
  sqlite3_result_text(context, reinterpret_cast<const char*>(s) + from, static_cast<int>(to - from),
                      SQLITE_TRANSIENT);
}
void Left(sqlite3_context* c, int, sqlite3_value** v) { Side(c, v, true); }
void Right(sqlite3_context* c, int, sqlite3_value** v) { Side(c, v, false); }

void Concat(sqlite3_context* context, int argc, sqlite3_value** argv) {
  std::string out;
  for (int i = 0; i < argc; ++i) {
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return;  // NULL, as || gives
    out.append(reinterpret_cast<const char*>(sqlite3_value_text(argv[i])),
               static_cast<size_t>(sqlite3_value_bytes(argv[i])));
  }
  sqlite3_result_text(context, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

// LOCATE(needle, haystack[, start]): the 1-based character position, 0 when absent.
void Locate(sqlite3_context* context, int argc, sqlite3_value** argv) {
  for (int i = 0; i < argc; ++i) {
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return;
  }
  std::string needle(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])));
  const unsigned char* hay = sqlite3_value_text(argv[1]);
  size_t n = static_cast<size_t>(sqlite3_value_bytes(argv[1]));
  sqlite3_int64 start = argc > 2 ? sqlite3_value_int64(argv[2]) : 1;
  if (start < 1) start = 1;
  size_t from = ByteOffset(hay, n, static_cast<size_t>(start - 1));
  std::string_view h(reinterpret_cast<const char*>(hay), n);
  size_t at = h.find(needle, from);
  sqlite3_result_int64(context, at == std::string_view::npos
                                    ? 0
                                    : static_cast<sqlite3_int64>(CharCount(hay, at) + 1));
}

void Mod(sqlite3_context* context, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) return;
  if (sqlite3_value_numeric_type(argv[0]) == SQLITE_INTEGER &&
      sqlite3_value_numeric_type(argv[1]) == SQLITE_INTEGER) {
    sqlite3_int64 b = sqlite3_value_int64(argv[1]);
    if (b == 0) return;
    if (b == -1) {
      sqlite3_result_int64(context, 0);
      return;
    }
    sqlite3_result_int64(context, sqlite3_value_int64(argv[0]) % b);
    return;
  }
  double b = sqlite3_value_double(argv[1]);
  if (b == 0) return;
  sqlite3_result_double(context, std::fmod(sqlite3_value_double(argv[0]), b));
}

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
    if (!std::isdigit(s[i])) return;
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

// Dates and times as the engine holds them: 'YYYY-MM-DD HH:MM:SS[.fff]' texts. A time of day
// alone is kept on 1899-12-30, as ODBC reads a time as a timestamp.
struct When {
  int64_t days = 0;  // since 1970-01-01
  int64_t ms = 0;    // of the day
};

using formats::CivilFromDays;
using formats::DaysFromCivil;

int64_t DaysInMonth(int64_t y, int64_t m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

// Reads `digits` digits at s[at]; false if they are not there.
bool Digits(std::string_view s, size_t at, size_t digits, int64_t& value) {
  if (at + digits > s.size()) return false;
  value = 0;
  for (size_t i = at; i < at + digits; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    value = value * 10 + (s[i] - '0');
  }
  return true;
}

// 'YYYY-MM-DD', 'YYYY-MM-DD HH:MM[:SS[.fff]]' (or with a 'T'), 'HH:MM[:SS[.fff]]'.
bool ParseWhen(std::string_view s, When& when) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  int64_t y = 1899, mo = 12, d = 30, h = 0, mi = 0, sec = 0, ms = 0;
  size_t at = 0;
  if (s.size() >= 10 && s[4] == '-' && s[7] == '-') {
    if (!Digits(s, 0, 4, y) || !Digits(s, 5, 2, mo) || !Digits(s, 8, 2, d)) return false;
    if (mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo)) return false;
    at = 10;
    if (at == s.size()) {
      when = {DaysFromCivil(y, mo, d), 0};
      return true;
    }
    if (s[at] != ' ' && s[at] != 'T') return false;
    ++at;
  }
  size_t hourDigits = at + 1 < s.size() && s[at + 1] == ':' ? 1 : 2;
  if (!Digits(s, at, hourDigits, h) || at + hourDigits >= s.size() || s[at + hourDigits] != ':' ||
      !Digits(s, at + hourDigits + 1, 2, mi)) {
    return false;
  }
  at += hourDigits + 3;
  if (at < s.size()) {
    if (s[at] != ':' || !Digits(s, at + 1, 2, sec)) return false;
    at += 3;
    if (at < s.size()) {
      if (s[at] != '.') return false;
      size_t n = 0;
      int64_t scale = 100;
      for (++at; at < s.size(); ++at, ++n) {
        if (!std::isdigit(static_cast<unsigned char>(s[at]))) return false;
        ms += (s[at] - '0') * scale;
        scale /= 10;
      }
      if (n == 0) return false;
    }
  }
  if (h > 23 || mi > 59 || sec > 59) return false;
  when = {DaysFromCivil(y, mo, d), ((h * 60 + mi) * 60 + sec) * 1000 + ms};
  return true;
}

std::string FormatWhen(const When& when) {
  int64_t y, m, d;
  CivilFromDays(when.days, y, m, d);
  const int64_t ms = when.ms;
  char out[48];
  int n = ms % 1000
              ? std::snprintf(
                    out, sizeof out, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld.%03lld",
                    static_cast<long long>(y), static_cast<long long>(m), static_cast<long long>(d),
                    static_cast<long long>(ms / 3600000), static_cast<long long>(ms / 60000 % 60),
                    static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000))
              : std::snprintf(out, sizeof out, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld",
                              static_cast<long long>(y), static_cast<long long>(m),
                              static_cast<long long>(d), static_cast<long long>(ms / 3600000),
                              static_cast<long long>(ms / 60000 % 60),
                              static_cast<long long>(ms / 1000 % 60));
  return std::string(out, static_cast<size_t>(n));
}

std::string_view TextOf(sqlite3_value* v) {
  const char* s = reinterpret_cast<const char*>(sqlite3_value_text(v));
  return s ? std::string_view(s, static_cast<size_t>(sqlite3_value_bytes(v))) : std::string_view();
}

// Errors carry their SQLSTATE before the message, for the engine to report.
void Fail(sqlite3_context* context, const std::string& message) {
  sqlite3_result_error(context, message.c_str(), static_cast<int>(message.size()));
}

std::string Shown(sqlite3_value* v) {
  std::string text(TextOf(v));
  if (text.size() > 40) text = text.substr(0, 40) + "...";
  return "'" + text + "'";
}

// A date argument: false (with the error set) when it is not one; NULL is left to the caller.
bool WhenOf(sqlite3_context* context, sqlite3_value* v, const char* function, When& when) {
  if (sqlite3_value_type(v) == SQLITE_TEXT && ParseWhen(TextOf(v), when)) return true;
  Fail(context, std::string("22018: ") + function + ": " + Shown(v) +
                    " is not a date or time (a date cell, {d 'YYYY-MM-DD'}, {ts ...} or {t ...})");
  return false;
}

bool AnyNull(int argc, sqlite3_value** argv) {
  for (int i = 0; i < argc; ++i) {
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return true;
  }
  return false;
}

void ResultWhen(sqlite3_context* context, const When& when, const char* function) {
  int64_t y, m, d;
  CivilFromDays(when.days, y, m, d);
  if (y < 1 || y > 9999) {
    Fail(context,
         std::string("22008: ") + function + ": the date falls outside the years 1 to 9999");
    return;
  }
  std::string text = FormatWhen(when);
  sqlite3_result_text(context, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

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

Unit OdbcUnit(std::string_view name) {
  std::string n(name);
  for (char& c : n) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (n == "SQL_TSI_FRAC_SECOND") return Unit::FracSecond;
  if (n == "SQL_TSI_SECOND") return Unit::Second;
  if (n == "SQL_TSI_MINUTE") return Unit::Minute;
  if (n == "SQL_TSI_HOUR") return Unit::Hour;
  if (n == "SQL_TSI_DAY") return Unit::Day;
  if (n == "SQL_TSI_WEEK") return Unit::CalendarWeek;
  if (n == "SQL_TSI_MONTH") return Unit::Month;
  if (n == "SQL_TSI_QUARTER") return Unit::Quarter;
  if (n == "SQL_TSI_YEAR") return Unit::Year;
  return Unit::None;
}

Unit DesktopUnit(std::string_view name) {
  std::string n(name);
  for (char& c : n) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (n == "s") return Unit::Second;
  if (n == "n") return Unit::Minute;
  if (n == "h") return Unit::Hour;
  if (n == "d") return Unit::Day;
  if (n == "y") return Unit::DayOfYear;
  if (n == "w") return Unit::Weekday;
  if (n == "ww") return Unit::CalendarWeek;
  if (n == "m") return Unit::Month;
  if (n == "q") return Unit::Quarter;
  if (n == "yyyy") return Unit::Year;
  return Unit::None;
}

constexpr const char* kOdbcUnits =
    "SQL_TSI_FRAC_SECOND, SQL_TSI_SECOND, SQL_TSI_MINUTE, SQL_TSI_HOUR, SQL_TSI_DAY, "
    "SQL_TSI_WEEK, SQL_TSI_MONTH, SQL_TSI_QUARTER or SQL_TSI_YEAR";
constexpr const char* kDesktopUnits = "'yyyy', 'q', 'm', 'y', 'd', 'w', 'ww', 'h', 'n' or 's'";

// Adds `n` units; false when the result overflows.
bool Add(When& when, Unit unit, int64_t n) {
  constexpr int64_t kDay = 86400000, kLimit = int64_t{1} << 40;
  if (n > kLimit || n < -kLimit) return false;
  int64_t ms = 0;
  switch (unit) {
    case Unit::FracSecond:
      ms = n / 1000000;
      break;  // billionths, kept to the millisecond
    case Unit::Second:
      ms = n * 1000;
      break;
    case Unit::Minute:
      ms = n * 60000;
      break;
    case Unit::Hour:
      ms = n * 3600000;
      break;
    case Unit::Day:
    case Unit::DayOfYear:
    case Unit::Weekday:
      when.days += n;
      return true;
    case Unit::Week:
    case Unit::CalendarWeek:
      when.days += 7 * n;
      return true;
    case Unit::Month:
    case Unit::Quarter:
    case Unit::Year: {
      const int64_t months = unit == Unit::Month ? n : unit == Unit::Quarter ? 3 * n : 12 * n;
      int64_t y, m, d;
      CivilFromDays(when.days, y, m, d);
      int64_t total = y * 12 + (m - 1) + months;
      y = total >= 0 ? total / 12 : (total - 11) / 12;
      m = total - y * 12 + 1;
      if (y < 1 || y > 9999) return false;
      d = std::min(d, DaysInMonth(y, m));  // 31 January plus a month is the last of February
      when.days = DaysFromCivil(y, m, d);
      return true;
    }
    case Unit::None:
      return false;
  }
  int64_t total = when.ms + ms;
  int64_t days = total >= 0 ? total / kDay : -((-total + kDay - 1) / kDay);
  when.days += days;
  when.ms = total - days * kDay;
  return true;
}

int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// How many unit boundaries lie between a and b (b later gives a positive count), as both
// dialects count: a year from 31 December to 1 January.
int64_t Diff(const When& a, const When& b, Unit unit) {
  auto total = [](const When& w) { return w.days * 86400000 + w.ms; };
  int64_t ya, ma, da, yb, mb, db;
  CivilFromDays(a.days, ya, ma, da);
  CivilFromDays(b.days, yb, mb, db);
  switch (unit) {
    case Unit::FracSecond:
      return (total(b) - total(a)) * 1000000;
    case Unit::Second:
      return FloorDiv(total(b), 1000) - FloorDiv(total(a), 1000);
    case Unit::Minute:
      return FloorDiv(total(b), 60000) - FloorDiv(total(a), 60000);
    case Unit::Hour:
      return FloorDiv(total(b), 3600000) - FloorDiv(total(a), 3600000);
    case Unit::Day:
    case Unit::DayOfYear:
      return b.days - a.days;
    case Unit::Week:
    case Unit::Weekday:
      return (b.days - a.days) / 7;  // whole weeks
    case Unit::CalendarWeek:         // Sundays crossed; 1970-01-04 was a Sunday
      return FloorDiv(b.days - 3, 7) - FloorDiv(a.days - 3, 7);
    case Unit::Month:
      return (yb * 12 + mb) - (ya * 12 + ma);
    case Unit::Quarter:
      return (yb * 4 + (mb - 1) / 3) - (ya * 4 + (ma - 1) / 3);
    case Unit::Year:
      return yb - ya;
    case Unit::None:
      return 0;
  }
  return 0;
}

// 1 for Sunday to 7 for Saturday; 1970-01-01 was a Thursday.
int64_t Weekday(const When& w) { return ((w.days + 4) % 7 + 7) % 7 + 1; }
int64_t DayOfYear(const When& w) {
  int64_t y, m, d;
  CivilFromDays(w.days, y, m, d);
  return w.days - DaysFromCivil(y, 1, 1) + 1;
}
// The week of the year, the week of 1 January being the first, weeks starting on Sunday.
int64_t WeekOfYear(const When& w) {
  int64_t y, m, d;
  CivilFromDays(w.days, y, m, d);
  When first{DaysFromCivil(y, 1, 1), 0};
  return Diff(first, w, Unit::CalendarWeek) + 1;
}

int64_t Part(const When& w, Unit unit) {
  int64_t y, m, d;
  CivilFromDays(w.days, y, m, d);
  switch (unit) {
    case Unit::Year:
      return y;
    case Unit::Quarter:
      return (m - 1) / 3 + 1;
    case Unit::Month:
      return m;
    case Unit::DayOfYear:
      return DayOfYear(w);
    case Unit::Day:
      return d;
    case Unit::Weekday:
      return Weekday(w);
    case Unit::CalendarWeek:
    case Unit::Week:
      return WeekOfYear(w);
    case Unit::Hour:
      return w.ms / 3600000;
    case Unit::Minute:
      return w.ms / 60000 % 60;
    case Unit::Second:
      return w.ms / 1000 % 60;
    case Unit::FracSecond:
      return w.ms % 1000 * 1000000;
    case Unit::None:
      return 0;
  }
  return 0;
}

// TIMESTAMPADD(SQL_TSI_x, n, ts) and DateAdd('x', n, date).
void AddCall(sqlite3_context* context, sqlite3_value** argv, bool odbc) {
  const char* function = odbc ? "TIMESTAMPADD" : "DateAdd";
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
  Unit unit = odbc ? OdbcUnit(TextOf(argv[0])) : DesktopUnit(TextOf(argv[0]));
  if (unit == Unit::None) {
    Fail(context, std::string("HY000: ") + function + ": the interval " + Shown(argv[0]) +
                      " is not one of " + (odbc ? kOdbcUnits : kDesktopUnits));
    return;
  }
  if (AnyNull(3, argv)) return;
  When when;
  if (!WhenOf(context, argv[2], function, when)) return;
  const int type = sqlite3_value_numeric_type(argv[1]);
  if (type != SQLITE_INTEGER && type != SQLITE_FLOAT) {
    Fail(context,
         std::string("22018: ") + function + ": the count " + Shown(argv[1]) + " is not a number");
    return;
  }
  if (!Add(when, unit, static_cast<int64_t>(sqlite3_value_double(argv[1])))) {
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
  Unit unit = odbc ? OdbcUnit(TextOf(argv[0])) : DesktopUnit(TextOf(argv[0]));
  if (unit == Unit::None) {
    Fail(context, std::string("HY000: ") + function + ": the interval " + Shown(argv[0]) +
                      " is not one of " + (odbc ? kOdbcUnits : kDesktopUnits));
    return;
  }
  if (AnyNull(3, argv)) return;
  When a, b;
  if (!WhenOf(context, argv[1], function, a) || !WhenOf(context, argv[2], function, b)) return;
  sqlite3_result_int64(context, Diff(a, b, unit));
}
void TimestampDiff(sqlite3_context* c, int, sqlite3_value** v) { DiffCall(c, v, true); }
void DateDiff(sqlite3_context* c, int, sqlite3_value** v) { DiffCall(c, v, false); }

// DatePart('x', date).
void DatePartCall(sqlite3_context* context, int, sqlite3_value** argv) {
  if (AnyNull(2, argv)) return;
  Unit unit = DesktopUnit(TextOf(argv[0]));
  if (unit == Unit::None) {
    Fail(context, std::string("HY000: DatePart: the interval ") + Shown(argv[0]) +
                      " is not one of " + kDesktopUnits);
    return;
  }
  When when;
  if (!WhenOf(context, argv[1], "DatePart", when)) return;
  sqlite3_result_int64(context, Part(when, unit));
}

template <Unit U>
void PartOf(sqlite3_context* context, int, sqlite3_value** argv) {
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
  sqlite3_result_int64(context, Part(when, U));
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
      day ? kDays[Part(when, Unit::Weekday) - 1] : kMonths[Part(when, Unit::Month) - 1];
  sqlite3_result_text(context, name, -1, SQLITE_STATIC);
}
void DayName(sqlite3_context* c, int, sqlite3_value** v) { NameOf(c, v, true); }
void MonthName(sqlite3_context* c, int, sqlite3_value** v) { NameOf(c, v, false); }

// A text read as a number, blanks around it allowed; false if it is not one.
bool NumberOf(std::string_view text, double& value) {
  std::string s(text);
  const char* begin = s.c_str();
  while (*begin == ' ') ++begin;
  if (!*begin) return false;
  char* end = nullptr;
  value = std::strtod(begin, &end);
  while (*end == ' ') ++end;
  return *end == 0 && std::isfinite(value);
}

// CONVERT(x, SQL_type): the value as the type, or an error naming what would not convert.
void Convert(sqlite3_context* context, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
  std::string type(TextOf(argv[1]));
  for (char& c : type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (type.rfind("SQL_TYPE_", 0) == 0) type = "SQL_" + type.substr(9);
  const int kind = sqlite3_value_type(argv[0]);
  auto cannot = [&](const char* state, const char* why) {
    Fail(context, std::string(state) + ": CONVERT: " + Shown(argv[0]) + " " + why + " " + type);
  };
  auto number = [&](double& value) {
    if (kind == SQLITE_INTEGER || kind == SQLITE_FLOAT) {
      value = sqlite3_value_double(argv[0]);
      return true;
    }
    if (NumberOf(TextOf(argv[0]), value)) return true;
    cannot("22018", "is not a number, so it is not an");
    return false;
  };
  if (type == "SQL_CHAR" || type == "SQL_VARCHAR" || type == "SQL_LONGVARCHAR" ||
      type == "SQL_WCHAR" || type == "SQL_WVARCHAR" || type == "SQL_WLONGVARCHAR") {
    if (kind == SQLITE_FLOAT) {
      char buffer[32];
      sqlite3_result_text(context, buffer,
                          static_cast<int>(FormatNumber(sqlite3_value_double(argv[0]), buffer)),
                          SQLITE_TRANSIENT);
      return;
    }
    std::string_view text = TextOf(argv[0]);
    sqlite3_result_text(context, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return;
  }
  struct Range {
    const char* type;
    double low, high;
  };
  static const Range kIntegers[] = {{"SQL_TINYINT", -128, 127},
                                    {"SQL_SMALLINT", -32768, 32767},
                                    {"SQL_INTEGER", -2147483648.0, 2147483647.0},
                                    {"SQL_BIGINT", -9223372036854775808.0, 9223372036854775807.0}};
  for (const Range& r : kIntegers) {
    if (type != r.type) continue;
    if (kind == SQLITE_INTEGER && type == "SQL_BIGINT") {
      sqlite3_result_int64(context, sqlite3_value_int64(argv[0]));
      return;
    }
    double value;
    if (!number(value)) return;
    value = std::trunc(value);  // as CAST does: the fraction is dropped
    if (value < r.low || value >= r.high + 1) {
      cannot("22003", "is out of the range of");
      return;
    }
    sqlite3_result_int64(context, static_cast<sqlite3_int64>(value));
    return;
  }
  if (type == "SQL_DOUBLE" || type == "SQL_FLOAT" || type == "SQL_REAL" || type == "SQL_NUMERIC" ||
      type == "SQL_DECIMAL") {
    double value;
    if (number(value)) sqlite3_result_double(context, value);
    return;
  }
  if (type == "SQL_BIT") {
    double value;
    if (number(value)) sqlite3_result_int(context, value != 0);
    return;
  }
  if (type == "SQL_DATE" || type == "SQL_TIME" || type == "SQL_TIMESTAMP") {
    When when;
    if (kind != SQLITE_TEXT || !ParseWhen(TextOf(argv[0]), when)) {
      cannot("22018", "is not a date or time, so it is not a");
      return;
    }
    if (type == "SQL_DATE") when.ms = 0;  // a date is its midnight, as date cells are kept
    if (type == "SQL_TIME") when.days = DaysFromCivil(1899, 12, 30);
    ResultWhen(context, when, "CONVERT");
    return;
  }
  Fail(context, "HY000: CONVERT: " + type +
                    " is not a type CONVERT gives (SQL_CHAR, SQL_VARCHAR, "
                    "SQL_LONGVARCHAR, SQL_WCHAR, SQL_WVARCHAR, SQL_WLONGVARCHAR, SQL_TINYINT, "
                    "SQL_SMALLINT, SQL_INTEGER, SQL_BIGINT, SQL_REAL, SQL_FLOAT, SQL_DOUBLE, "
                    "SQL_NUMERIC, SQL_DECIMAL, SQL_BIT, SQL_DATE, SQL_TIME, SQL_TIMESTAMP)");
}

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

void Iif(sqlite3_context* context, int, sqlite3_value** argv) {
  bool truth = sqlite3_value_type(argv[0]) != SQLITE_NULL && sqlite3_value_double(argv[0]) != 0;
  sqlite3_result_value(context, argv[truth ? 1 : 2]);
}

void Nz(sqlite3_context* context, int argc, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) != SQLITE_NULL) {
    sqlite3_result_value(context, argv[0]);
  } else if (argc > 1) {
    sqlite3_result_value(context, argv[1]);
  } else {
    sqlite3_result_text(context, "", 0, SQLITE_STATIC);
  }
}

void Cstr(sqlite3_context* context, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
  sqlite3_result_text(context, reinterpret_cast<const char*>(sqlite3_value_text(argv[0])),
                      sqlite3_value_bytes(argv[0]), SQLITE_TRANSIENT);
}

void Val(sqlite3_context* context, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
  const char* s = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  sqlite3_result_double(context, std::strtod(s, nullptr));
}

using Math = double (*)(double);
template <Math F>
void Unary(sqlite3_context* context, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
  double r = F(sqlite3_value_double(argv[0]));
  if (std::isnan(r)) return;
  sqlite3_result_double(context, r);
}
double Sign(double x) { return x > 0 ? 1 : x < 0 ? -1 : 0; }

void Power(sqlite3_context* context, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) return;
  double r = std::pow(sqlite3_value_double(argv[0]), sqlite3_value_double(argv[1]));
  if (!std::isnan(r)) sqlite3_result_double(context, r);
}

void Pi(sqlite3_context* context, int, sqlite3_value**) { sqlite3_result_double(context, M_PI); }

struct Function {
  const char* name;
  int args;
  void (*call)(sqlite3_context*, int, sqlite3_value**);
};

const Function kFunctions[] = {
    {"ucase", 1, Ucase},
    {"lcase", 1, Lcase},
    {"len", 1, Len},
    {"char_length", 1, Len},
    {"character_length", 1, Len},
    {"tabrix_left", 2, Left},
    {"tabrix_right", 2, Right},
    {"concat", -1, Concat},
    {"locate", 2, Locate},
    {"locate", 3, Locate},
    {"mod", 2, Mod},
    {"year", 1, Year},
    {"month", 1, Month},
    {"day", 1, Day},
    {"dayofmonth", 1, Day},
    {"hour", 1, Hour},
    {"minute", 1, Minute},
    {"second", 1, Second},
    {"now", 0, Now},
    {"curdate", 0, Curdate},
    {"curtime", 0, Curtime},
    {"current_date", 0, Curdate},
    {"iif", 3, Iif},
    {"nz", 1, Nz},
    {"nz", 2, Nz},
    {"cstr", 1, Cstr},
    {"val", 1, Val},
    {"floor", 1, Unary<std::floor>},
    {"ceiling", 1, Unary<std::ceil>},
    {"ceil", 1, Unary<std::ceil>},
    {"sqrt", 1, Unary<std::sqrt>},
    {"exp", 1, Unary<std::exp>},
    {"log", 1, Unary<std::log>},
    {"log10", 1, Unary<std::log10>},
    {"sign", 1, Unary<Sign>},
    {"power", 2, Power},
    {"pi", 0, Pi},
    {"convert", 2, Convert},
    {"timestampadd", 3, TimestampAdd},
    {"timestampdiff", 3, TimestampDiff},
    {"dateadd", 3, DateAdd},
    {"datediff", 3, DateDiff},
    {"datepart", 2, DatePartCall},
    {"dayofweek", 1, PartOf<Unit::Weekday>},
    {"dayofyear", 1, PartOf<Unit::DayOfYear>},
    {"quarter", 1, PartOf<Unit::Quarter>},
    {"week", 1, PartOf<Unit::CalendarWeek>},
    {"dayname", 1, DayName},
    {"monthname", 1, MonthName},
};

// MID(s, start, length): `length` characters of s from the `start`-th (1-based), in UTF-8.
void Mid(sqlite3_context* c, int, sqlite3_value** v) {
  if (sqlite3_value_type(v[0]) == SQLITE_NULL) return;
  const unsigned char* s = sqlite3_value_text(v[0]);
  size_t n = static_cast<size_t>(sqlite3_value_bytes(v[0]));
  sqlite3_int64 start = std::max<sqlite3_int64>(1, sqlite3_value_int64(v[1]));
  sqlite3_int64 len = std::max<sqlite3_int64>(0, sqlite3_value_int64(v[2]));
  size_t from = ByteOffset(s, n, static_cast<size_t>(start - 1));
  size_t to = from + ByteOffset(s + from, n - from, static_cast<size_t>(len));
  sqlite3_result_text(c, reinterpret_cast<const char*>(s) + from, static_cast<int>(to - from),
                      SQLITE_TRANSIENT);
}

}  // namespace

void RegisterFunctions(sqlite3* db) {
  for (const Function& f : kFunctions) {
    int flags = SQLITE_UTF8 | SQLITE_INNOCUOUS;
    if (f.call != Now && f.call != Curdate && f.call != Curtime) flags |= SQLITE_DETERMINISTIC;
    sqlite3_create_function_v2(db, f.name, f.args, flags, nullptr, f.call, nullptr, nullptr,
                               nullptr);
  }
  // MID(s, start, length), and SUBSTRING as ODBC spells it: counted in characters.
  for (const char* name : {"mid", "substring"})
    sqlite3_create_function_v2(db, name, 3, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
                               nullptr, Mid, nullptr, nullptr, nullptr);
}

}  // namespace tabrix::sql

#include "sql/When.h"

#include <algorithm>
#include <cstdio>

#include "formats/Ascii.h"
#include "formats/Dates.h"

namespace tabrix::sql {

using formats::CivilFromDays;
using formats::DaysFromCivil;

int64_t DaysInMonth(int64_t y, int64_t m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

namespace {

// Reads `digits` digits at s[at]; false if they are not there.
bool Digits(std::string_view s, size_t at, size_t digits, int64_t& value) {
  if (at + digits > s.size()) return false;
  value = 0;
  for (size_t i = at; i < at + digits; ++i) {
    if (!formats::IsAsciiDigit(s[i])) return false;
    value = value * 10 + (s[i] - '0');
  }
  return true;
}

}  // namespace

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
        if (!formats::IsAsciiDigit(s[at])) return false;
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

Unit OdbcUnit(std::string_view name) {
  std::string n(name);
  formats::ToAsciiUpper(n);
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
  formats::ToAsciiLower(n);
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

const char* const kOdbcUnits =
    "SQL_TSI_FRAC_SECOND, SQL_TSI_SECOND, SQL_TSI_MINUTE, SQL_TSI_HOUR, SQL_TSI_DAY, "
    "SQL_TSI_WEEK, SQL_TSI_MONTH, SQL_TSI_QUARTER or SQL_TSI_YEAR";
const char* const kDesktopUnits = "'yyyy', 'q', 'm', 'y', 'd', 'w', 'ww', 'h', 'n' or 's'";

bool AddUnits(When& when, Unit unit, int64_t n) {
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

namespace {

int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

}  // namespace

int64_t UnitsBetween(const When& a, const When& b, Unit unit) {
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

namespace {

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
  return UnitsBetween(first, w, Unit::CalendarWeek) + 1;
}

}  // namespace

int64_t PartIn(const When& w, Unit unit) {
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

}  // namespace tabrix::sql

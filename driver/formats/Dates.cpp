#include "driver/formats/Dates.h"

#include <charconv>
#include <cmath>

namespace tabrix::formats {
namespace {

constexpr int64_t kMsPerDay = 86'400'000;

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Day 0 of each system, and the last serial either can hold (9999-12-31).
const int64_t kEpoch1900 = DaysFromCivil(1899, 12, 31);
const int64_t kEpoch1904 = DaysFromCivil(1904, 1, 1);
const int64_t kLastDay = DaysFromCivil(9999, 12, 31);
constexpr int64_t kSerial60 = 60;  // the 1900 system's 29 February 1900

}  // namespace

std::optional<DateTime> SerialToDateTime(double serial, bool date1904) {
  if (!std::isfinite(serial) || serial < 0) return std::nullopt;
  const double ms = std::round(serial * static_cast<double>(kMsPerDay));
  if (ms > 4e14) return std::nullopt;  // far beyond 9999, and beyond int64 arithmetic's care
  const int64_t total = static_cast<int64_t>(ms);
  int64_t serialDay = total / kMsPerDay;
  int64_t msOfDay = total % kMsPerDay;
  int64_t days;
  if (date1904) {
    days = kEpoch1904 + serialDay;
  } else if (serialDay < kSerial60) {
    days = kEpoch1900 + serialDay;
  } else {
    days = kEpoch1900 + serialDay - 1;  // 60 and 59 are both 28 February; 61 is 1 March
  }
  if (days > kLastDay) return std::nullopt;
  DateTime out;
  int64_t year, month, day;
  CivilFromDays(days, year, month, day);
  out.year = static_cast<int>(year);
  out.month = static_cast<int>(month);
  out.day = static_cast<int>(day);
  out.hour = static_cast<int>(msOfDay / 3'600'000);
  out.minute = static_cast<int>(msOfDay / 60'000 % 60);
  out.second = static_cast<int>(msOfDay / 1000 % 60);
  out.nanosecond = static_cast<uint32_t>(msOfDay % 1000) * 1'000'000;
  return out;
}

std::optional<double> DateTimeToSerial(const DateTime& when, bool date1904) {
  if (when.year < 1 || when.year > 9999 || when.month < 1 || when.month > 12 || when.day < 1 ||
      when.day > DaysInMonth(when.year, when.month) || when.hour < 0 || when.hour > 23 ||
      when.minute < 0 || when.minute > 59 || when.second < 0 || when.second > 59 ||
      when.nanosecond >= 1'000'000'000)
    return std::nullopt;
  const int64_t days = DaysFromCivil(when.year, when.month, when.day);
  int64_t serialDay;
  if (date1904) {
    serialDay = days - kEpoch1904;
  } else {
    serialDay = days - kEpoch1900;
    if (serialDay >= kSerial60) ++serialDay;  // after the day the system counts and never was
  }
  if (serialDay < 0) return std::nullopt;
  const double fraction =
      (when.hour * 3600.0 + when.minute * 60.0 + when.second + when.nanosecond / 1e9) / 86400.0;
  return static_cast<double>(serialDay) + fraction;
}

namespace {

// Reads exactly `digits` digits at `pos`.
bool Digits(std::string_view text, size_t& pos, size_t digits, int& value) {
  if (pos + digits > text.size()) return false;
  value = 0;
  for (size_t i = 0; i < digits; ++i) {
    const char c = text[pos + i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  pos += digits;
  return true;
}

bool Expect(std::string_view text, size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

bool ReadTime(std::string_view text, size_t& pos, DateTime& when) {
  if (!Digits(text, pos, 2, when.hour) || !Expect(text, pos, ':') ||
      !Digits(text, pos, 2, when.minute))
    return false;
  if (pos < text.size() && text[pos] == ':') {
    ++pos;
    if (!Digits(text, pos, 2, when.second)) return false;
    if (pos < text.size() && text[pos] == '.') {
      ++pos;
      uint32_t scale = 100'000'000;
      size_t start = pos;
      while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        when.nanosecond += static_cast<uint32_t>(text[pos] - '0') * scale;
        scale /= 10;
        ++pos;
      }
      if (pos == start) return false;
    }
  }
  return true;
}

}  // namespace

std::optional<double> IsoToSerial(std::string_view text, bool date1904) {
  DateTime when;
  size_t pos = 0;
  const bool timeOnly = text.size() >= 3 && (text[2] == ':' || text[0] == 'T');
  if (timeOnly) {
    if (text[0] == 'T') ++pos;
    if (!ReadTime(text, pos, when)) return std::nullopt;
  } else {
    if (!Digits(text, pos, 4, when.year) || !Expect(text, pos, '-') ||
        !Digits(text, pos, 2, when.month) || !Expect(text, pos, '-') ||
        !Digits(text, pos, 2, when.day))
      return std::nullopt;
    if (pos < text.size() && (text[pos] == 'T' || text[pos] == ' ')) {
      ++pos;
      if (!ReadTime(text, pos, when)) return std::nullopt;
    }
  }
  if (pos < text.size() && text[pos] == 'Z') ++pos;
  if (pos != text.size()) return std::nullopt;
  if (timeOnly) {
    when.year = date1904 ? 1904 : 1899;
    when.month = date1904 ? 1 : 12;
    when.day = date1904 ? 1 : 31;
  }
  return DateTimeToSerial(when, date1904);
}

// H. Hinnant's algorithms.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, int64_t& m, int64_t& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = yoe + era * 400 + (m <= 2);
}

}  // namespace tabrix::formats

#include "driver/formats/TextValues.h"

#include <charconv>
#include <cmath>

#include "driver/formats/Dates.h"
#include "driver/formats/Text.h"

namespace tabrix::formats {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char LowerChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Up to `most` digits (at least one) at `pos`; the value.
bool Digits(std::string_view s, size_t& pos, size_t least, size_t most, int& out) {
  size_t n = 0;
  int v = 0;
  while (pos + n < s.size() && n < most && IsDigit(s[pos + n])) v = v * 10 + (s[pos + n++] - '0');
  if (n < least) return false;
  pos += n;
  out = v;
  return true;
}

const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                               "jul", "aug", "sep", "oct", "nov", "dec"};


// A text read part by part as a date format says: where the reading stands, and the date and
// time its parts gave so far.
struct DateReader {
  std::string_view text;
  size_t at = 0;
  DateTime when;
  bool pm = false, ampm = false, afterHour = false;

  bool Part(char c, size_t run);
  bool AmPm();
  bool Year(size_t run);
  bool Month(size_t run);
  bool Seconds(size_t run);
  bool Literal(char c, size_t run);
  bool Serial(double& serial);
};

// The format's run of `run` letters `c` (lowered) at the text's `at`.
bool DateReader::Part(char c, size_t run) {
  switch (c) {
    case 'y':
      return Year(run);
    case 'd':
      return run <= 2 && Digits(text, at, run, 2, when.day);
    case 'm':
      return Month(run);
    case 'h':
      afterHour = true;
      return run <= 2 && Digits(text, at, run, 2, when.hour);
    case 'n':
      return run <= 2 && Digits(text, at, run, 2, when.minute);
    case 's':
      return Seconds(run);
    default:
      return Literal(c, run);
  }
}

bool DateReader::AmPm() {
  const std::string_view word = text.substr(at, 2);
  if (word.size() < 2) return false;
  const char a = LowerChar(word[0]), m = LowerChar(word[1]);
  if (m != 'm' || (a != 'a' && a != 'p')) return false;
  ampm = true;
  pm = a == 'p';
  at += 2;
  return true;
}

bool DateReader::Year(size_t run) {
  if (run == 4) return Digits(text, at, 4, 4, when.year);
  int v = 0;
  if (run != 2 || !Digits(text, at, 2, 2, v)) return false;
  when.year = v < 30 ? 2000 + v : 1900 + v;
  return true;
}

bool DateReader::Month(size_t run) {
  if (run == 3) {
    const std::string_view word = text.substr(at, 3);
    int month = 0;
    for (int i = 0; i < 12 && word.size() == 3; ++i) {
      if (LowerChar(word[0]) == kMonths[i][0] && LowerChar(word[1]) == kMonths[i][1] &&
          LowerChar(word[2]) == kMonths[i][2])
        month = i + 1;
    }
    if (month == 0) return false;
    when.month = month;
    at += 3;
    return true;
  }
  if (run > 2) return false;
  // m after h is the minute, as the formats have it.
  return Digits(text, at, run, 2, afterHour ? when.minute : when.month);
}

bool DateReader::Seconds(size_t run) {
  if (run > 2 || !Digits(text, at, run, 2, when.second)) return false;
  if (at < text.size() && (text[at] == '.' || text[at] == ',') && at + 1 < text.size() &&
      IsDigit(text[at + 1])) {
    // A fraction of a second the format does not show is kept to the millisecond.
    ++at;
    uint32_t scale = 100000000, ns = 0;
    while (at < text.size() && IsDigit(text[at])) {
      ns += static_cast<uint32_t>(text[at++] - '0') * scale;
      scale /= 10;
    }
    when.nanosecond = ns;
  }
  return true;
}

// Other characters of the format stand for themselves.
bool DateReader::Literal(char c, size_t run) {
  for (size_t i = 0; i < run; ++i) {
    if (at >= text.size() || LowerChar(text[at]) != c) return false;
    ++at;
  }
  return true;
}

bool DateReader::Serial(double& serial) {
  if (ampm) {
    if (when.hour < 1 || when.hour > 12) return false;
    if (when.hour == 12) when.hour = 0;
    if (pm) when.hour += 12;
  }
  if (when.year == 0 && when.month == 0 && when.day == 0) {  // a time of day alone
    if (when.hour > 23 || when.minute > 59 || when.second > 59) return false;
    serial = (when.hour * 3600 + when.minute * 60 + when.second + when.nanosecond / 1e9) / 86400.0;
    return true;
  }
  const auto result = DateTimeToSerial(when, false);
  if (!result) return false;
  serial = *result;
  return true;
}

}  // namespace

bool ParseTextNumber(std::string_view text, char decimal, std::string_view currency, bool strict,
                     double& out) {
  std::string_view s = Trim(text);
  if (!currency.empty()) {
    if (s.substr(0, currency.size()) == currency) {
      s = Trim(s.substr(currency.size()));
    } else if (s.size() >= currency.size() && s.substr(s.size() - currency.size()) == currency) {
      s = Trim(s.substr(0, s.size() - currency.size()));
    }
  }
  if (s.empty() || s.size() > 64) return false;
  // The grammar by hand: from_chars alone would take "inf", "nan" and hexadecimal.
  char buffer[72];
  size_t n = 0, i = 0, digits = 0, significant = 0;
  bool leadingZero = false;
  if (s[i] == '+' || s[i] == '-') {
    if (s[i] == '-') buffer[n++] = '-';
    ++i;
  }
  const size_t intStart = i;
  while (i < s.size() && IsDigit(s[i])) {
    if (significant > 0 || s[i] != '0') ++significant;
    buffer[n++] = s[i++];
    ++digits;
  }
  if (i - intStart > 1 && s[intStart] == '0') leadingZero = true;
  if (i < s.size() && s[i] == decimal) {
    buffer[n++] = '.';
    ++i;
    while (i < s.size() && IsDigit(s[i])) {
      if (significant > 0 || s[i] != '0') ++significant;
      buffer[n++] = s[i++];
      ++digits;
    }
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    buffer[n++] = 'e';
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) buffer[n++] = s[i++];
    size_t expDigits = 0;
    while (i < s.size() && IsDigit(s[i]) && expDigits < 4) buffer[n++] = s[i++], ++expDigits;
    if (expDigits == 0) return false;
  }
  if (i != s.size()) return false;
  // Guessing keeps as text what a number would change: "007" (a code), and more digits than
  // a double holds (an account number).
  if (strict && (leadingZero || significant > 15)) return false;
  double value = 0;
  const auto [end, error] = std::from_chars(buffer, buffer + n, value);
  if (error != std::errc() || end != buffer + n || !std::isfinite(value)) return false;
  out = value == 0 ? 0.0 : value;
  return true;
}

bool ParseDateByFormat(std::string_view text, std::string_view format, double& serial) {
  DateReader reader;
  reader.text = Trim(text);
  size_t f = 0;
  while (f < format.size()) {
    if (reader.at == reader.text.size()) {
      // A date without its time: the rest of the format must be the time part.
      if (format.substr(f).find_first_of("dDyY") != std::string_view::npos) return false;
      break;
    }
    const std::string_view marker = format.substr(f, 5);
    if (marker == "AM/PM" || marker == "am/pm") {
      if (!reader.AmPm()) return false;
      f += 5;
      continue;
    }
    const char c = LowerChar(format[f]);
    size_t run = 1;
    while (f + run < format.size() && LowerChar(format[f + run]) == c) ++run;
    if (!reader.Part(c, run)) return false;
    f += run;
  }
  return reader.at == reader.text.size() && reader.Serial(serial);
}

Value Guess(std::string_view text, const TextFormat& format) {
  Value value;
  if (ParseTextNumber(text, format.decimalSymbol, format.currencySymbol, true, value.number)) {
    value.kind = ValueKind::Number;
    return value;
  }
  const std::string_view s = Trim(text);
  if (!s.empty() && (IsDigit(s.front()) || s.front() == 'T')) {
    if (!format.dateTimeFormat.empty()) {
      if (ParseDateByFormat(s, format.dateTimeFormat, value.number)) {
        value.kind = ValueKind::Date;
        return value;
      }
    }
    if (const auto serial = IsoToSerial(s, false)) {
      value.kind = ValueKind::Date;
      value.number = *serial;
      return value;
    }
  }
  return value;
}

Value Declared(std::string_view text, DeclaredType type, const TextFormat& format) {
  Value value;
  switch (type) {
    case DeclaredType::Number:
    case DeclaredType::Integer:
    case DeclaredType::Currency:
      if (ParseTextNumber(text, format.decimalSymbol, format.currencySymbol, false, value.number)) {
        value.kind = ValueKind::Number;
      }
      return value;
    case DeclaredType::Date:
    case DeclaredType::DateTime: {
      const std::string_view s = Trim(text);
      if (!format.dateTimeFormat.empty() && ParseDateByFormat(s, format.dateTimeFormat, value.number)) {
        value.kind = ValueKind::Date;
      } else if (const auto serial = IsoToSerial(s, false)) {
        value.kind = ValueKind::Date;
        value.number = *serial;
      }
      return value;
    }
    case DeclaredType::Boolean: {
      const std::string_view s = Trim(text);
      for (const char* yes : {"true", "yes", "1", "-1", "on", "t", "y"}) {
        if (EqualsIgnoreCase(s, yes)) return Value{ValueKind::Boolean, 1};
      }
      for (const char* no : {"false", "no", "0", "off", "f", "n"}) {
        if (EqualsIgnoreCase(s, no)) return Value{ValueKind::Boolean, 0};
      }
      return value;
    }
    default:
      return value;
  }
}

}  // namespace tabrix::formats

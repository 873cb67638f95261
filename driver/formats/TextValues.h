// The values of a text file's fields: what a field holds (a number, a date, text), by the
// rules of its format (decimal symbol, currency symbol, date and time format).
#pragma once

#include <string_view>

#include "driver/formats/SchemaIni.h"

namespace tabrix::formats {

enum class ValueKind : uint8_t { Number, Date, Boolean, Text };

struct Value {
  ValueKind kind = ValueKind::Text;
  double number = 0;  // Number: the value; Date: the serial (1900 system); Boolean: 0 or 1
};

// What a field holds when nothing is declared: a number (never one written with a leading
// zero, as codes and telephone numbers are, nor one with more digits than a double keeps),
// a date (ISO 8601, or the DateTimeFormat), else text. Booleans are only ever declared.
Value Guess(std::string_view text, const TextFormat& format);

// The field as the declared type reads it; Text when it is not such a value.
Value Declared(std::string_view text, DeclaredType type, const TextFormat& format);

// A number as written in the file: optional sign, digits with `decimal` as the point, an
// optional exponent; the currency symbol, if given, before or after. False when not one.
bool ParseTextNumber(std::string_view text, char decimal, std::string_view currency, bool strict,
                     double& out);

// A date and time by a format such as "dd.mm.yyyy hh:nn:ss" (d, dd, m, mm, mmm, yy, yyyy,
// h, hh, n, nn, s, ss, AM/PM, other characters as they stand; the time part may be left
// off); the serial in the 1900 system. False when the text does not match.
bool ParseDateByFormat(std::string_view text, std::string_view format, double& serial);

}  // namespace tabrix::formats

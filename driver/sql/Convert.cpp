// CONVERT(x, SQL_type): the ODBC escape's conversion, one step per family of target types.
#include <cmath>
#include <cstdlib>
#include <string>

#include "formats/Ascii.h"
#include "formats/Dates.h"
#include "sql/FunctionArgs.h"
#include "sql/Sheet.h"

namespace tabrix::sql {
namespace {

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

// One conversion: the value, the type it is to become, and the error that names both.
struct Conversion {
  sqlite3_context* context;
  sqlite3_value* value;
  int kind;          // the value's SQLite type
  std::string type;  // SQL_CHAR, ... as CONVERT names it, upper-cased

  void Cannot(const char* state, const char* why) const {
    Fail(context, std::string(state) + ": CONVERT: " + Shown(value) + " " + why + " " + type);
  }
  bool Number(double& out) const {
    if (kind == SQLITE_INTEGER || kind == SQLITE_FLOAT) {
      out = sqlite3_value_double(value);
      return true;
    }
    if (NumberOf(TextOf(value), out)) return true;
    Cannot("22018", "is not a number, so it is not an");
    return false;
  }
};

void ToText(const Conversion& c) {
  if (c.kind == SQLITE_FLOAT) {
    char buffer[32];
    sqlite3_result_text(c.context, buffer,
                        static_cast<int>(FormatNumber(sqlite3_value_double(c.value), buffer)),
                        SQLITE_TRANSIENT);
    return;
  }
  std::string_view text = TextOf(c.value);
  sqlite3_result_text(c.context, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void ToInteger(const Conversion& c) {
  struct Range {
    const char* type;
    double low, high;
  };
  static const Range kIntegers[] = {{"SQL_TINYINT", -128, 127},
                                    {"SQL_SMALLINT", -32768, 32767},
                                    {"SQL_INTEGER", -2147483648.0, 2147483647.0},
                                    {"SQL_BIGINT", -9223372036854775808.0, 9223372036854775807.0}};
  const Range* r = kIntegers;
  while (c.type != r->type) ++r;
  if (c.kind == SQLITE_INTEGER && c.type == "SQL_BIGINT") {
    sqlite3_result_int64(c.context, sqlite3_value_int64(c.value));
    return;
  }
  double value;
  if (!c.Number(value)) return;
  value = std::trunc(value);  // as CAST does: the fraction is dropped
  if (value < r->low || value >= r->high + 1) {
    c.Cannot("22003", "is out of the range of");
    return;
  }
  sqlite3_result_int64(c.context, static_cast<sqlite3_int64>(value));
}

void ToReal(const Conversion& c) {
  double value;
  if (c.Number(value)) sqlite3_result_double(c.context, value);
}

void ToBit(const Conversion& c) {
  double value;
  if (c.Number(value)) sqlite3_result_int(c.context, value != 0);
}

void ToWhen(const Conversion& c) {
  When when;
  if (c.kind != SQLITE_TEXT || !ParseWhen(TextOf(c.value), when)) {
    c.Cannot("22018", "is not a date or time, so it is not a");
    return;
  }
  if (c.type == "SQL_DATE") when.ms = 0;  // a date is its midnight, as date cells are kept
  if (c.type == "SQL_TIME") when.days = formats::DaysFromCivil(1899, 12, 30);
  ResultWhen(c.context, when, "CONVERT");
}

struct Target {
  const char* type;
  void (*convert)(const Conversion&);
};

// In the order the refusal lists them.
const Target kTargets[] = {
    {"SQL_CHAR", ToText},       {"SQL_VARCHAR", ToText},     {"SQL_LONGVARCHAR", ToText},
    {"SQL_WCHAR", ToText},      {"SQL_WVARCHAR", ToText},    {"SQL_WLONGVARCHAR", ToText},
    {"SQL_TINYINT", ToInteger}, {"SQL_SMALLINT", ToInteger}, {"SQL_INTEGER", ToInteger},
    {"SQL_BIGINT", ToInteger},  {"SQL_REAL", ToReal},        {"SQL_FLOAT", ToReal},
    {"SQL_DOUBLE", ToReal},     {"SQL_NUMERIC", ToReal},     {"SQL_DECIMAL", ToReal},
    {"SQL_BIT", ToBit},         {"SQL_DATE", ToWhen},        {"SQL_TIME", ToWhen},
    {"SQL_TIMESTAMP", ToWhen},
};

// SQL_TYPE_DATE and the other ODBC 3 spellings are the same types.
std::string TargetName(sqlite3_value* v) {
  std::string type(TextOf(v));
  formats::ToAsciiUpper(type);
  if (type.rfind("SQL_TYPE_", 0) == 0) type = "SQL_" + type.substr(9);
  return type;
}

// The value as the type, or an error naming what would not convert.
void Convert(sqlite3_context* context, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
  const Conversion conversion{context, argv[0], sqlite3_value_type(argv[0]), TargetName(argv[1])};
  for (const Target& target : kTargets) {
    if (conversion.type == target.type) return target.convert(conversion);
  }
  std::string known;
  for (const Target& target : kTargets)
    known += std::string(known.empty() ? "" : ", ") + target.type;
  Fail(context,
       "HY000: CONVERT: " + conversion.type + " is not a type CONVERT gives (" + known + ")");
}

const Function kConvert[] = {{"convert", 2, Convert}};

}  // namespace

void RegisterConvert(sqlite3* db) { RegisterEach(db, kConvert); }

}  // namespace tabrix::sql

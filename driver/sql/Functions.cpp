#include "sql/Functions.h"

#include <sqlite3.h>

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
    {"ucase", 1, Ucase},        {"lcase", 1, Lcase},        {"len", 1, Len},
    {"char_length", 1, Len},    {"character_length", 1, Len}, {"tabrix_left", 2, Left},
    {"tabrix_right", 2, Right}, {"concat", -1, Concat},    {"locate", 2, Locate},
    {"locate", 3, Locate},      {"mod", 2, Mod},            {"year", 1, Year},
    {"month", 1, Month},        {"day", 1, Day},            {"dayofmonth", 1, Day},
    {"hour", 1, Hour},          {"minute", 1, Minute},      {"second", 1, Second},
    {"now", 0, Now},            {"curdate", 0, Curdate},    {"curtime", 0, Curtime},
    {"current_date", 0, Curdate}, {"iif", 3, Iif},          {"nz", 1, Nz},
    {"nz", 2, Nz},              {"cstr", 1, Cstr},          {"val", 1, Val},
    {"floor", 1, Unary<std::floor>}, {"ceiling", 1, Unary<std::ceil>},
    {"ceil", 1, Unary<std::ceil>}, {"sqrt", 1, Unary<std::sqrt>}, {"exp", 1, Unary<std::exp>},
    {"log", 1, Unary<std::log>}, {"log10", 1, Unary<std::log10>}, {"sign", 1, Unary<Sign>},
    {"power", 2, Power},        {"pi", 0, Pi},
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

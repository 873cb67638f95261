#include "sql/Functions.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "sql/FunctionArgs.h"

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
  sqlite3_result_int64(context, static_cast<sqlite3_int64>(CharCount(
                                    s, static_cast<size_t>(sqlite3_value_bytes(argv[0])))));
}

// Left(s, n) and Right(s, n): the first or last n characters.
void Side(sqlite3_context* context, sqlite3_value** argv, bool left) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
    return;
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
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
    return;
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
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
    return;
  double r = std::pow(sqlite3_value_double(argv[0]), sqlite3_value_double(argv[1]));
  if (!std::isnan(r)) sqlite3_result_double(context, r);
}

void Pi(sqlite3_context* context, int, sqlite3_value**) { sqlite3_result_double(context, M_PI); }

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

const Function kFunctions[] = {
    {"ucase", 1, Ucase},
    {"lcase", 1, Lcase},
    {"len", 1, Len},
    {"char_length", 1, Len},
    {"character_length", 1, Len},
    {"tabrix_left", 2, Left},
    {"tabrix_right", 2, Right},
    // MID(s, start, length), and SUBSTRING as ODBC spells it: counted in characters.
    {"mid", 3, Mid},
    {"substring", 3, Mid},
    {"concat", -1, Concat},
    {"locate", 2, Locate},
    {"locate", 3, Locate},
    {"mod", 2, Mod},
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
};

}  // namespace

void RegisterFunctions(sqlite3* db) {
  RegisterEach(db, kFunctions);
  RegisterDateFunctions(db);
  RegisterConvert(db);
}

}  // namespace tabrix::sql

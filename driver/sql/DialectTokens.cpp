#include "sql/DialectTokens.h"
#include "formats/Ascii.h"

#include <cstdio>

namespace tabrix::sql {

bool IsWordChar(char c) {
  return formats::IsAsciiAlnum(c) || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

std::string LowerWord(std::string_view s) {
  std::string out(s);
  formats::ToAsciiLower(out);
  return out;
}

bool IsTypeName(const std::string& word) {
  static const char* const kTypes[] = {"sql_char",          "sql_varchar",
                                       "sql_longvarchar",   "sql_wchar",
                                       "sql_wvarchar",      "sql_wlongvarchar",
                                       "sql_tinyint",       "sql_smallint",
                                       "sql_integer",       "sql_bigint",
                                       "sql_real",          "sql_float",
                                       "sql_double",        "sql_numeric",
                                       "sql_decimal",       "sql_bit",
                                       "sql_date",          "sql_time",
                                       "sql_timestamp",     "sql_type_date",
                                       "sql_type_time",     "sql_type_timestamp",
                                       "sql_binary",        "sql_varbinary",
                                       "sql_longvarbinary", "sql_guid"};
  for (const char* type : kTypes) {
    if (word == type) return true;
  }
  return false;
}

bool DateLiteral(std::string_view text, std::string& out) {
  unsigned y = 0, m = 0, d = 0, hh = 0, mi = 0, ss = 0;
  int used = 0;
  std::string s(text);
  int fields = std::sscanf(s.c_str(), "%4u-%2u-%2u%n", &y, &m, &d, &used);
  if (fields != 3) {
    used = 0;
    if (std::sscanf(s.c_str(), "%2u/%2u/%4u%n", &m, &d, &y, &used) != 3) {
      // A time alone (#10:30#) is that time on the day time-only cells are kept on.
      unsigned probe = 0;
      int n = 0;
      if (std::sscanf(s.c_str(), "%2u:%n", &probe, &n) != 1 || n == 0) return false;
      y = 1899, m = 12, d = 30;
      used = 0;
      s = " " + s;
    }
  }
  std::string rest = s.substr(static_cast<size_t>(used));
  bool time = false;
  if (!rest.empty()) {
    int tail = 0;
    if (std::sscanf(rest.c_str(), " %2u:%2u%n", &hh, &mi, &tail) != 2) return false;
    time = true;
    rest = rest.substr(static_cast<size_t>(tail));
    if (!rest.empty() && rest[0] == ':') {
      if (std::sscanf(rest.c_str(), ":%2u%n", &ss, &tail) != 1) return false;
      rest = rest.substr(static_cast<size_t>(tail));
    }
    while (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    std::string ampm = LowerWord(rest);
    if (ampm == "pm" && hh < 12)
      hh += 12;
    else if (ampm == "am" && hh == 12)
      hh = 0;
    else if (!ampm.empty() && ampm != "am" && ampm != "pm")
      return false;
  }
  if (m < 1 || m > 12 || d < 1 || d > 31 || hh > 23 || mi > 59 || ss > 59) return false;
  char buffer[48];
  if (time) {
    std::snprintf(buffer, sizeof buffer, "'%04u-%02u-%02u %02u:%02u:%02u'", y, m, d, hh, mi, ss);
  } else {
    // A date is its midnight, as date cells are kept, so that it equals them.
    std::snprintf(buffer, sizeof buffer, "'%04u-%02u-%02u 00:00:00'", y, m, d);
  }
  out += buffer;
  return true;
}

}  // namespace tabrix::sql

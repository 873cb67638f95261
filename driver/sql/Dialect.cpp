// The statements users paste from the desktop driver, made SQLite's: SELECT TOP n, #date#
// literals, & for joining texts, and the ODBC escapes ({d}, {t}, {ts}, {fn}, {oj}, {escape}).
// Everything else is left as written: SQLite reads [Sheet$], `Sheet$` and "Sheet$" itself.
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "sql/Engine.h"

namespace tabrix::sql {
namespace {

bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

std::string LowerWord(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// #2026-01-31#, #2026-01-31 10:30:00#, #1/31/2026#, #1/31/2026 10:30#: as 'YYYY-MM-DD[ HH:MM:SS]'.
bool DateLiteral(std::string_view text, std::string& out) {
  unsigned y = 0, m = 0, d = 0, hh = 0, mi = 0, ss = 0;
  int used = 0;
  std::string s(text);
  char sep = 0;
  int fields = std::sscanf(s.c_str(), "%4u-%2u-%2u%n", &y, &m, &d, &used);
  if (fields != 3) {
    used = 0;
    if (std::sscanf(s.c_str(), "%2u/%2u/%4u%n", &m, &d, &y, &used) != 3) return false;
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
    if (ampm == "pm" && hh < 12) hh += 12;
    else if (ampm == "am" && hh == 12) hh = 0;
    else if (!ampm.empty() && ampm != "am" && ampm != "pm") return false;
  }
  (void)sep;
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

}  // namespace

std::string Database::Translate(std::string_view sql) {
  std::string out;
  out.reserve(sql.size() + 16);
  struct Limit {
    int depth;
    std::string count;
  };
  std::vector<Limit> limits;  // TOP n waiting for the end of its SELECT
  std::vector<int> braces;    // the depth of each open {fn or {oj, whose } is dropped
  int depth = 0;
  std::string lastWord, wordBefore;
  size_t i = 0;
  auto skipBlanks = [&](size_t at) {
    while (at < sql.size() && std::isspace(static_cast<unsigned char>(sql[at]))) ++at;
    return at;
  };
  auto copyQuoted = [&](char close) {
    size_t start = i++;
    while (i < sql.size()) {
      if (sql[i] == close) {
        if (close != ']' && i + 1 < sql.size() && sql[i + 1] == close) {
          i += 2;
          continue;
        }
        ++i;
        break;
      }
      ++i;
    }
    out.append(sql.substr(start, i - start));
  };
  auto closeLimits = [&](int atDepth) {
    while (!limits.empty() && limits.back().depth == atDepth) {
      // Before any blanks and semicolons that end the text.
      size_t end = out.size();
      while (end > 0 && (std::isspace(static_cast<unsigned char>(out[end - 1])) || out[end - 1] == ';')) --end;
      out.insert(end, " LIMIT " + limits.back().count);
      limits.pop_back();
    }
  };

  while (i < sql.size()) {
    char c = sql[i];
    if (c == '\'' || c == '"' || c == '`') {
      copyQuoted(c);
      lastWord.clear();
      continue;
    }
    if (c == '[') {
      copyQuoted(']');
      lastWord.clear();
      continue;
    }
    if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      size_t end = sql.find('\n', i);
      end = end == std::string_view::npos ? sql.size() : end;
      out.append(sql.substr(i, end - i));
      i = end;
      continue;
    }
    if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
      size_t end = sql.find("*/", i + 2);
      end = end == std::string_view::npos ? sql.size() : end + 2;
      out.append(sql.substr(i, end - i));
      i = end;
      continue;
    }
    if (c == '#') {
      size_t end = sql.find('#', i + 1);
      if (end == std::string_view::npos || !DateLiteral(sql.substr(i + 1, end - i - 1), out)) {
        throw EngineError("42000", "cannot read the date literal at '" +
                                       std::string(sql.substr(i, end == std::string_view::npos ? 20 : end - i + 1)) +
                                       "' (write #YYYY-MM-DD# or #M/D/YYYY#)");
      }
      i = end + 1;
      lastWord.clear();
      continue;
    }
    if (c == '{') {
      size_t at = skipBlanks(i + 1);
      size_t wordEnd = at;
      while (wordEnd < sql.size() && IsWordChar(sql[wordEnd])) ++wordEnd;
      std::string word = LowerWord(sql.substr(at, wordEnd - at));
      if (word == "d" || word == "t" || word == "ts") {
        size_t literal = skipBlanks(wordEnd);
        if (literal >= sql.size() || sql[literal] != '\'') {
          throw EngineError("42000", "the escape {" + word + " ...} needs a quoted value");
        }
        i = literal;
        const size_t from = out.size();
        copyQuoted('\'');
        // {d 'YYYY-MM-DD'} is that day's midnight, as date cells are kept.
        if (word == "d" && out.size() - from == 12 && out.back() == '\'') {
          out.insert(out.size() - 1, " 00:00:00");
        }
        size_t close = skipBlanks(i);
        if (close >= sql.size() || sql[close] != '}') {
          throw EngineError("42000", "the escape {" + word + " ...} is not closed with '}'");
        }
        i = close + 1;
      } else if (word == "fn" || word == "oj") {
        braces.push_back(depth);
        i = skipBlanks(wordEnd);
      } else if (word == "escape") {
        out += "ESCAPE ";
        braces.push_back(depth);
        i = skipBlanks(wordEnd);
      } else if (word == "call" || word == "?") {
        throw EngineError("HYC00", "procedure calls are not offered: a workbook has no procedures");
      } else {
        throw EngineError("42000", "unknown escape '{" + word + "' (the escapes read are {d}, "
                                   "{t}, {ts}, {fn}, {oj} and {escape})");
      }
      lastWord.clear();
      continue;
    }
    if (c == '}' && !braces.empty()) {
      braces.pop_back();
      ++i;
      continue;
    }
    if (c == '(') {
      ++depth;
      out += c;
      ++i;
      lastWord.clear();
      continue;
    }
    if (c == ')') {
      closeLimits(depth);
      --depth;
      out += c;
      ++i;
      lastWord.clear();
      continue;
    }
    if (c == '&') {
      out += "||";
      ++i;
      lastWord.clear();
      continue;
    }
    if (IsWordChar(c) && !std::isdigit(static_cast<unsigned char>(c))) {
      size_t end = i;
      while (end < sql.size() && IsWordChar(sql[end])) ++end;
      // A text file's table, sales#csv: one name, which SQLite reads only quoted.
      if (end + 1 < sql.size() && sql[end] == '#' && IsWordChar(sql[end + 1])) {
        while (end + 1 < sql.size() && sql[end] == '#' && IsWordChar(sql[end + 1])) {
          ++end;
          while (end < sql.size() && IsWordChar(sql[end])) ++end;
        }
        out += '"';
        out.append(sql.substr(i, end - i));
        out += '"';
        i = end;
        lastWord.clear();
        continue;
      }
      std::string_view word = sql.substr(i, end - i);
      std::string lower = LowerWord(word);
      if (lower == "top" && (lastWord == "select" || lastWord == "distinct" || lastWord == "all")) {
        size_t number = skipBlanks(end);
        size_t numberEnd = number;
        while (numberEnd < sql.size() && std::isdigit(static_cast<unsigned char>(sql[numberEnd]))) ++numberEnd;
        if (numberEnd > number) {
          size_t after = skipBlanks(numberEnd);
          size_t afterEnd = after;
          while (afterEnd < sql.size() && IsWordChar(sql[afterEnd])) ++afterEnd;
          if (LowerWord(sql.substr(after, afterEnd - after)) == "percent") {
            throw EngineError("HYC00", "SELECT TOP n PERCENT is not offered: use TOP n");
          }
          limits.push_back({depth, std::string(sql.substr(number, numberEnd - number))});
          i = skipBlanks(numberEnd);
          lastWord = "top";
          continue;
        }
      }
      if ((lower == "left" || lower == "right") && skipBlanks(end) < sql.size() &&
          sql[skipBlanks(end)] == '(') {
        out += "tabrix_" + lower;
      } else {
        out.append(word);
      }
      wordBefore = lastWord;
      lastWord = lower;
      i = end;
      continue;
    }
    if (std::isdigit(static_cast<unsigned char>(c))) {
      size_t end = i;
      while (end < sql.size() && (IsWordChar(sql[end]) || sql[end] == '.')) ++end;
      out.append(sql.substr(i, end - i));
      i = end;
      lastWord.clear();
      continue;
    }
    if (!std::isspace(static_cast<unsigned char>(c))) lastWord.clear();
    out += c;
    ++i;
  }
  closeLimits(0);
  if (!braces.empty()) throw EngineError("42000", "an escape '{' is not closed with '}'");
  return out;
}

}  // namespace tabrix::sql

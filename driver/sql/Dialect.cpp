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

// The day a time of day alone is kept on, as ODBC has it for a time read as a timestamp.
constexpr const char* kTimeDay = "1899-12-30 ";

bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

std::string LowerWord(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The SQL type names CONVERT takes (lower-cased), told from columns that happen to start so.
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

// #2026-01-31#, #2026-01-31 10:30:00#, #1/31/2026#, #1/31/2026 10:30#: as 'YYYY-MM-DD[ HH:MM:SS]'.
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
    if (ampm == "pm" && hh < 12) hh += 12;
    else if (ampm == "am" && hh == 12) hh = 0;
    else if (!ampm.empty() && ampm != "am" && ampm != "pm") return false;
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

}  // namespace

std::string Database::Translate(std::string_view sql) {
  std::string out;
  out.reserve(sql.size() + 16);
  // What is known of the SELECT being read at each depth of parentheses.
  struct Level {
    size_t selectAt = 0;                 // where its SELECT starts in `out`
    size_t orderAt = std::string::npos;  // where an ORDER BY of its own starts
    bool compound = false;               // an arm of a UNION, INTERSECT or EXCEPT
    bool hasParameter = false;           // a ? in it (TOP n PERCENT repeats the SELECT)
    std::string top;                     // TOP's count, empty when it has none
    bool percent = false;
  };
  std::vector<Level> levels(1);
  std::vector<std::string> calls;  // the function (or "") each open parenthesis belongs to
  std::string pendingCall;         // a word just read that a '(' may follow
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
  auto level = [&]() -> Level& {
    if (depth < 0) throw EngineError("42000", "a ')' closes no '('");
    if (static_cast<size_t>(depth) >= levels.size()) levels.resize(static_cast<size_t>(depth) + 1);
    return levels[static_cast<size_t>(depth)];
  };
  // The end of the current SELECT at this depth, before blanks and semicolons that end the text.
  auto armEnd = [&]() {
    size_t end = out.size();
    while (end > 0 &&
           (std::isspace(static_cast<unsigned char>(out[end - 1])) || out[end - 1] == ';'))
      --end;
    return end;
  };
  // TOP n becomes LIMIT n at the end of its own SELECT. An arm of a compound SELECT is made a
  // subquery, since SQLite takes a LIMIT only at the end of the whole. TOP n PERCENT counts the
  // SELECT's rows first.
  auto closeTop = [&](bool lastArm) {
    Level& l = level();
    if (l.top.empty()) return;
    size_t end = armEnd();
    // A closing ORDER BY after a TOP orders the rows TOP takes, and the compound's too.
    std::string compoundOrder;
    if (lastArm && l.compound && l.orderAt != std::string::npos && l.orderAt < end) {
      compoundOrder = " " + out.substr(l.orderAt, end - l.orderAt);
    }
    std::string limit = l.top;
    if (l.percent) {
      if (l.hasParameter) {
        throw EngineError("HYC00",
                          "SELECT TOP n PERCENT is not offered with parameters (?) in the "
                          "same SELECT: use TOP n");
      }
      limit = "(SELECT (COUNT(*) * " + l.top + " + 99) / 100 FROM (" +
              out.substr(l.selectAt, end - l.selectAt) + "))";
    }
    const bool wrap = l.compound;
    out.insert(end, " LIMIT " + limit + (wrap ? ")" : "") + compoundOrder);
    if (wrap) out.insert(l.selectAt, "SELECT * FROM (");
    l.top.clear();
    l.percent = false;
  };

  while (i < sql.size()) {
    char c = sql[i];
    if (c == '"' && !calls.empty() &&
        (calls.back() == "dateadd" || calls.back() == "datediff" || calls.back() == "datepart") &&
        out.find_last_not_of(" \t\r\n") != std::string::npos &&
        out[out.find_last_not_of(" \t\r\n")] == '(') {
      // DateAdd("d", ...): the interval is a text in the desktop dialect, never a column.
      const size_t from = out.size();
      copyQuoted(c);
      if (out.size() - from >= 2 && out.back() == '"' &&
          out.find('\'', from) == std::string::npos) {
        out[from] = out.back() = '\'';
      }
      lastWord.clear();
      continue;
    }
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
        // {d 'YYYY-MM-DD'} is that day's midnight, as date cells are kept; {t 'hh:mm:ss'} is
        // that time on the day time-only cells are kept on.
        if (word == "d" && out.size() - from == 12 && out.back() == '\'') {
          out.insert(out.size() - 1, " 00:00:00");
        } else if (word == "t" && out.size() - from >= 7 && out[from + 3] == ':' &&
                   out.back() == '\'') {
          out.insert(from + 1, kTimeDay);
        } else if (word == "t" && out.size() - from >= 6 && out[from + 2] == ':' &&
                   out.back() == '\'') {
          out.insert(from + 1, std::string(kTimeDay) + "0");  // {t '9:05:00'}
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
      // A parenthesised arm of a compound SELECT, which SQLite does not parse, is a subquery.
      size_t next = skipBlanks(i + 1), nextEnd = next;
      while (nextEnd < sql.size() && IsWordChar(sql[nextEnd])) ++nextEnd;
      const bool armStart = LowerWord(sql.substr(next, nextEnd - next)) == "select" &&
                            (lastWord == "union" || (lastWord == "all" && wordBefore == "union") ||
                             lastWord == "intersect" || lastWord == "except" ||
                             (depth == 0 && out.find_first_not_of(" \t\r\n") == std::string::npos));
      if (armStart) {
        Level& l = level();
        l.compound = true;
        l.selectAt = out.size();
        out += "SELECT * FROM ";
      }
      ++depth;
      level() = Level{};
      calls.push_back(pendingCall);
      pendingCall.clear();
      out += c;
      ++i;
      lastWord.clear();
      continue;
    }
    if (c == ')') {
      closeTop(true);
      --depth;
      if (!calls.empty()) calls.pop_back();
      out += c;
      ++i;
      lastWord.clear();
      continue;
    }
    if (c == '?') {
      for (int d = 0; d <= depth && static_cast<size_t>(d) < levels.size(); ++d) {
        levels[static_cast<size_t>(d)].hasParameter = true;
      }
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
          Level& l = level();
          l.top = std::string(sql.substr(number, numberEnd - number));
          size_t after = skipBlanks(numberEnd);
          size_t afterEnd = after;
          while (afterEnd < sql.size() && IsWordChar(sql[afterEnd])) ++afterEnd;
          l.percent = LowerWord(sql.substr(after, afterEnd - after)) == "percent";
          if (l.percent && (l.top.size() > 3 || std::stoi(l.top) > 100)) {
            throw EngineError("42000", "TOP " + l.top + " PERCENT: the percentage is 0 to 100");
          }
          i = skipBlanks(l.percent ? afterEnd : numberEnd);
          lastWord = "top";
          continue;
        }
      }
      if (lower == "select") {
        Level& l = level();
        l.selectAt = out.size();
        l.orderAt = std::string::npos;
      } else if (lower == "union" || lower == "intersect" || lower == "except") {
        level().compound = true;
        closeTop(false);
      } else if (lower == "order") {
        level().orderAt = out.size();
      }
      const size_t next = skipBlanks(end);
      pendingCall = next < sql.size() && sql[next] == '(' ? lower : std::string();
      const bool constantArgument =
          !calls.empty() && ((calls.back() == "convert" && IsTypeName(lower)) ||
                             ((calls.back() == "timestampadd" || calls.back() == "timestampdiff") &&
                              lower.rfind("sql_tsi_", 0) == 0));
      if ((lower == "left" || lower == "right") && !pendingCall.empty()) {
        out += "tabrix_" + lower;
      } else if (constantArgument) {
        // CONVERT's type and TIMESTAMPADD's interval are words of ODBC's, given as texts.
        out += '\'';
        for (char ch : word) out += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        out += '\'';
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
  if (depth != 0) {
    throw EngineError("42000", "the parentheses of the statement do not pair up");
  }
  closeTop(true);
  if (!braces.empty()) throw EngineError("42000", "an escape '{' is not closed with '}'");
  return out;
}

}  // namespace tabrix::sql

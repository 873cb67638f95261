// The statements users paste from the desktop driver, made SQLite's: SELECT TOP n, #date#
// literals, & for joining texts, and the ODBC escapes ({d}, {t}, {ts}, {fn}, {oj}, {escape}).
// Everything else is left as written: SQLite reads [Sheet$], `Sheet$` and "Sheet$" itself.
#include <string>
#include <vector>

#include "formats/Ascii.h"
#include "sql/DialectTokens.h"
#include "sql/Engine.h"

namespace tabrix::sql {
namespace {

// What is known of the SELECT being read at one depth of parentheses.
struct Level {
  size_t selectAt = 0;                 // where its SELECT starts in the output
  size_t orderAt = std::string::npos;  // where an ORDER BY of its own starts
  bool compound = false;               // an arm of a UNION, INTERSECT or EXCEPT
  bool hasParameter = false;           // a ? in it (TOP n PERCENT repeats the SELECT)
  std::string top;                     // TOP's count, empty when it has none
  bool percent = false;
};

// One pass over the statement, one step per token: most are copied as they are, the rest
// rewritten where they stand (TOP's LIMIT is placed when its SELECT ends).
class Translator {
 public:
  explicit Translator(std::string_view sql) : sql_(sql) { out_.reserve(sql.size() + 16); }

  std::string Run() {
    while (i_ < sql_.size()) Step();
    if (depth_ != 0) {
      throw EngineError("42000", "the parentheses of the statement do not pair up");
    }
    CloseTop(true);
    if (!braces_.empty()) throw EngineError("42000", "an escape '{' is not closed with '}'");
    return std::move(out_);
  }

 private:
  void Step() {
    const char c = sql_[i_];
    if (c == '"' && InIntervalArgument()) return IntervalText();
    if (c == '\'' || c == '"' || c == '`' || c == '[') return Quoted(c == '[' ? ']' : c);
    if (StartsComment()) return Comment();
    if (c == '#') return HashDate();
    if (c == '{') return Escape();
    if (c == '}' && !braces_.empty()) return CloseBrace();
    if (c == '(') return Open();
    if (c == ')') return Close();
    if (c == '?') MarkParameter();
    if (c == '&') return Join();
    const bool digit = formats::IsAsciiDigit(c);
    if (IsWordChar(c) && !digit) return Word();
    if (digit) return Number();
    if (!formats::IsAsciiSpace(c)) lastWord_.clear();
    out_ += c;
    ++i_;
  }

  size_t SkipBlanks(size_t at) const {
    while (at < sql_.size() && formats::IsAsciiSpace(sql_[at])) ++at;
    return at;
  }
  size_t WordEnd(size_t at) const {
    while (at < sql_.size() && IsWordChar(sql_[at])) ++at;
    return at;
  }
  std::string LowerWordAt(size_t at) const { return LowerWord(sql_.substr(at, WordEnd(at) - at)); }

  // Copies a quoted text or name to its closing quote; a doubled quote is one inside it.
  void CopyQuoted(char close) {
    size_t start = i_++;
    while (i_ < sql_.size()) {
      if (sql_[i_] == close) {
        if (close != ']' && i_ + 1 < sql_.size() && sql_[i_ + 1] == close) {
          i_ += 2;
          continue;
        }
        ++i_;
        break;
      }
      ++i_;
    }
    out_.append(sql_.substr(start, i_ - start));
  }

  void Quoted(char close) {
    CopyQuoted(close);
    lastWord_.clear();
  }

  bool InIntervalArgument() const {
    if (calls_.empty()) return false;
    const std::string& call = calls_.back();
    if (call != "dateadd" && call != "datediff" && call != "datepart") return false;
    const size_t last = out_.find_last_not_of(" \t\r\n");
    return last != std::string::npos && out_[last] == '(';
  }

  // DateAdd("d", ...): the interval is a text in the desktop dialect, never a column.
  void IntervalText() {
    const size_t from = out_.size();
    CopyQuoted('"');
    if (out_.size() - from >= 2 && out_.back() == '"' &&
        out_.find('\'', from) == std::string::npos) {
      out_[from] = out_.back() = '\'';
    }
    lastWord_.clear();
  }

  bool StartsComment() const {
    if (i_ + 1 >= sql_.size()) return false;
    return (sql_[i_] == '-' && sql_[i_ + 1] == '-') || (sql_[i_] == '/' && sql_[i_ + 1] == '*');
  }

  void Comment() {
    size_t end;
    if (sql_[i_] == '-') {
      end = sql_.find('\n', i_);
      end = end == std::string_view::npos ? sql_.size() : end;
    } else {
      end = sql_.find("*/", i_ + 2);
      end = end == std::string_view::npos ? sql_.size() : end + 2;
    }
    out_.append(sql_.substr(i_, end - i_));
    i_ = end;
  }

  void HashDate() {
    size_t end = sql_.find('#', i_ + 1);
    if (end == std::string_view::npos || !DateLiteral(sql_.substr(i_ + 1, end - i_ - 1), out_)) {
      const size_t shown = end == std::string_view::npos ? 20 : end - i_ + 1;
      throw EngineError("42000", "cannot read the date literal at '" +
                                     std::string(sql_.substr(i_, shown)) +
                                     "' (write #YYYY-MM-DD# or #M/D/YYYY#)");
    }
    i_ = end + 1;
    lastWord_.clear();
  }

  void Escape() {
    const size_t at = SkipBlanks(i_ + 1), wordEnd = WordEnd(at);
    const std::string word = LowerWord(sql_.substr(at, wordEnd - at));
    if (word == "d" || word == "t" || word == "ts") {
      EscapeLiteral(word, wordEnd);
    } else if (word == "fn" || word == "oj" || word == "escape") {
      if (word == "escape") out_ += "ESCAPE ";
      braces_.push_back(depth_);  // its } is dropped
      i_ = SkipBlanks(wordEnd);
    } else if (word == "call" || word == "?") {
      throw EngineError("HYC00", "procedure calls are not offered: a workbook has no procedures");
    } else {
      throw EngineError("42000", "unknown escape '{" + word +
                                     "' (the escapes read are {d}, "
                                     "{t}, {ts}, {fn}, {oj} and {escape})");
    }
    lastWord_.clear();
  }

  // {d '...'}, {t '...'} and {ts '...'}: the quoted value alone, as the engine keeps such values.
  void EscapeLiteral(const std::string& word, size_t wordEnd) {
    const size_t literal = SkipBlanks(wordEnd);
    if (literal >= sql_.size() || sql_[literal] != '\'') {
      throw EngineError("42000", "the escape {" + word + " ...} needs a quoted value");
    }
    i_ = literal;
    const size_t from = out_.size();
    CopyQuoted('\'');
    // {d 'YYYY-MM-DD'} is that day's midnight, as date cells are kept; {t 'hh:mm:ss'} is
    // that time on the day time-only cells are kept on.
    if (word == "d" && out_.size() - from == 12 && out_.back() == '\'') {
      out_.insert(out_.size() - 1, " 00:00:00");
    } else if (word == "t" && out_.size() - from >= 7 && out_[from + 3] == ':' &&
               out_.back() == '\'') {
      out_.insert(from + 1, kTimeDay);
    } else if (word == "t" && out_.size() - from >= 6 && out_[from + 2] == ':' &&
               out_.back() == '\'') {
      out_.insert(from + 1, std::string(kTimeDay) + "0");  // {t '9:05:00'}
    }
    const size_t close = SkipBlanks(i_);
    if (close >= sql_.size() || sql_[close] != '}') {
      throw EngineError("42000", "the escape {" + word + " ...} is not closed with '}'");
    }
    i_ = close + 1;
  }

  void CloseBrace() {
    braces_.pop_back();
    ++i_;
  }

  Level& Current() {
    if (depth_ < 0) throw EngineError("42000", "a ')' closes no '('");
    const size_t depth = static_cast<size_t>(depth_);
    if (depth >= levels_.size()) levels_.resize(depth + 1);
    return levels_[depth];
  }

  // A '(' right after a set operator, or opening the statement, starts an arm of a compound.
  bool AfterSetOperator() const {
    return lastWord_ == "union" || (lastWord_ == "all" && wordBefore_ == "union") ||
           lastWord_ == "intersect" || lastWord_ == "except" ||
           (depth_ == 0 && out_.find_first_not_of(" \t\r\n") == std::string::npos);
  }

  void Open() {
    // A parenthesised arm of a compound SELECT, which SQLite does not parse, is a subquery.
    if (LowerWordAt(SkipBlanks(i_ + 1)) == "select" && AfterSetOperator()) {
      Level& l = Current();
      l.compound = true;
      l.selectAt = out_.size();
      out_ += "SELECT * FROM ";
    }
    ++depth_;
    Current() = Level{};
    calls_.push_back(pendingCall_);
    pendingCall_.clear();
    out_ += '(';
    ++i_;
    lastWord_.clear();
  }

  void Close() {
    CloseTop(true);
    --depth_;
    if (!calls_.empty()) calls_.pop_back();
    out_ += ')';
    ++i_;
    lastWord_.clear();
  }

  void MarkParameter() {
    for (int d = 0; d <= depth_ && static_cast<size_t>(d) < levels_.size(); ++d) {
      levels_[static_cast<size_t>(d)].hasParameter = true;
    }
  }

  void Join() {
    out_ += "||";
    ++i_;
    lastWord_.clear();
  }

  void Number() {
    size_t end = i_;
    while (end < sql_.size() && (IsWordChar(sql_[end]) || sql_[end] == '.')) ++end;
    out_.append(sql_.substr(i_, end - i_));
    i_ = end;
    lastWord_.clear();
  }

  void Word() {
    const size_t end = WordEnd(i_);
    if (FileTableName(end)) return;
    const std::string_view word = sql_.substr(i_, end - i_);
    const std::string lower = LowerWord(word);
    if (lower == "top" &&
        (lastWord_ == "select" || lastWord_ == "distinct" || lastWord_ == "all") && Top(end)) {
      return;
    }
    NoteClause(lower);
    const size_t next = SkipBlanks(end);
    pendingCall_ = next < sql_.size() && sql_[next] == '(' ? lower : std::string();
    WriteWord(word, lower);
    wordBefore_ = lastWord_;
    lastWord_ = lower;
    i_ = end;
  }

  // A text file's table, sales#csv: one name, which SQLite reads only quoted.
  bool FileTableName(size_t end) {
    if (end + 1 >= sql_.size() || sql_[end] != '#' || !IsWordChar(sql_[end + 1])) return false;
    while (end + 1 < sql_.size() && sql_[end] == '#' && IsWordChar(sql_[end + 1])) {
      end = WordEnd(end + 1);
    }
    out_ += '"';
    out_.append(sql_.substr(i_, end - i_));
    out_ += '"';
    i_ = end;
    lastWord_.clear();
    return true;
  }

  // TOP n [PERCENT] after SELECT: kept for the SELECT's end, where it becomes a LIMIT.
  bool Top(size_t end) {
    const size_t number = SkipBlanks(end);
    size_t numberEnd = number;
    while (numberEnd < sql_.size() && formats::IsAsciiDigit(sql_[numberEnd])) {
      ++numberEnd;
    }
    if (numberEnd == number) return false;  // a column named top
    Level& l = Current();
    l.top = std::string(sql_.substr(number, numberEnd - number));
    const size_t after = SkipBlanks(numberEnd);
    l.percent = LowerWordAt(after) == "percent";
    if (l.percent && (l.top.size() > 3 || std::stoi(l.top) > 100)) {
      throw EngineError("42000", "TOP " + l.top + " PERCENT: the percentage is 0 to 100");
    }
    i_ = SkipBlanks(l.percent ? WordEnd(after) : numberEnd);
    lastWord_ = "top";
    return true;
  }

  // Where the SELECTs, their set operators and their ORDER BYs stand, for CloseTop.
  void NoteClause(const std::string& lower) {
    if (lower == "select") {
      Level& l = Current();
      l.selectAt = out_.size();
      l.orderAt = std::string::npos;
    } else if (lower == "union" || lower == "intersect" || lower == "except") {
      Current().compound = true;
      CloseTop(false);
    } else if (lower == "order") {
      Current().orderAt = out_.size();
    }
  }

  void WriteWord(std::string_view word, const std::string& lower) {
    const bool constantArgument =
        !calls_.empty() &&
        ((calls_.back() == "convert" && IsTypeName(lower)) ||
         ((calls_.back() == "timestampadd" || calls_.back() == "timestampdiff") &&
          lower.rfind("sql_tsi_", 0) == 0));
    if ((lower == "left" || lower == "right") && !pendingCall_.empty()) {
      out_ += "tabrix_" + lower;
    } else if (constantArgument) {
      // CONVERT's type and TIMESTAMPADD's interval are words of ODBC's, given as texts.
      out_ += '\'';
      for (char ch : word) out_ += formats::AsciiUpper(ch);
      out_ += '\'';
    } else {
      out_.append(word);
    }
  }

  // The end of the current SELECT at this depth, before blanks and semicolons that end the text.
  size_t ArmEnd() const {
    size_t end = out_.size();
    while (end > 0 && (formats::IsAsciiSpace(out_[end - 1]) || out_[end - 1] == ';')) {
      --end;
    }
    return end;
  }

  // TOP n becomes LIMIT n at the end of its own SELECT. An arm of a compound SELECT is made a
  // subquery, since SQLite takes a LIMIT only at the end of the whole. TOP n PERCENT counts the
  // SELECT's rows first.
  void CloseTop(bool lastArm) {
    Level& l = Current();
    if (l.top.empty()) return;
    const size_t end = ArmEnd();
    // A closing ORDER BY after a TOP orders the rows TOP takes, and the compound's too.
    std::string compoundOrder;
    if (lastArm && l.compound && l.orderAt != std::string::npos && l.orderAt < end) {
      compoundOrder = " " + out_.substr(l.orderAt, end - l.orderAt);
    }
    std::string limit = l.top;
    if (l.percent) {
      if (l.hasParameter) {
        throw EngineError("HYC00",
                          "SELECT TOP n PERCENT is not offered with parameters (?) in the "
                          "same SELECT: use TOP n");
      }
      limit = "(SELECT (COUNT(*) * " + l.top + " + 99) / 100 FROM (" +
              out_.substr(l.selectAt, end - l.selectAt) + "))";
    }
    out_.insert(end, " LIMIT " + limit + (l.compound ? ")" : "") + compoundOrder);
    if (l.compound) out_.insert(l.selectAt, "SELECT * FROM (");
    l.top.clear();
    l.percent = false;
  }

  std::string_view sql_;
  std::string out_;
  size_t i_ = 0;
  std::vector<Level> levels_ = std::vector<Level>(1);
  std::vector<std::string> calls_;  // the function (or "") each open parenthesis belongs to
  std::string pendingCall_;         // a word just read that a '(' may follow
  std::vector<int> braces_;         // the depth of each open {fn, {oj or {escape
  int depth_ = 0;
  std::string lastWord_, wordBefore_;
};

}  // namespace

std::string Database::Translate(std::string_view sql) { return Translator(sql).Run(); }

}  // namespace tabrix::sql

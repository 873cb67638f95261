// The lexer and parser of text form files, which check the syntax alone.
#include "platform/framework/FormParser.h"

#include <optional>

#include "platform/framework/Component.h"
#include "platform/framework/FormFile.h"
#include "platform/text/Text.h"

namespace platform {

// Defined here, with the parser that raises most of them.
EReadError::EReadError(int32_t line, const std::string& message)
    : std::runtime_error("line " + std::to_string(line) + ": " + message), line_(line) {}

namespace formfile {
namespace {

constexpr int kMaxDepth = 64;  // of nested objects and values, so input cannot exhaust the stack

enum class Tok { End, Ident, Integer, Float, String, Binary, Symbol };

struct Token {
  Tok kind = Tok::End;
  std::string text;  // identifier, digits, or the string's bytes
  char symbol = 0;
  int32_t line = 1;
};

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

class Lexer {
 public:
  explicit Lexer(std::string_view text) : s_(text) {}

  const Token& Peek() {
    if (!peeked_) peeked_ = Scan();
    return *peeked_;
  }
  Token Next() {
    Token t = Peek();
    peeked_.reset();
    return t;
  }

 private:
  bool AtEnd() const { return pos_ >= s_.size(); }
  char Cur() const { return s_[pos_]; }

  void SkipBlanks() {
    while (!AtEnd() && (Cur() == ' ' || Cur() == '\t' || Cur() == '\r' || Cur() == '\n')) {
      if (Cur() == '\n') ++line_;
      ++pos_;
    }
  }

  Token Scan() {
    SkipBlanks();
    Token t;
    t.line = line_;
    if (AtEnd()) return t;
    const char c = Cur();
    if (IsLetter(c)) {
      const size_t start = pos_;
      while (!AtEnd() && (IsLetter(Cur()) || IsDigit(Cur()) || Cur() == '.')) ++pos_;
      t.kind = Tok::Ident;
      t.text = s_.substr(start, pos_ - start);
    } else if (IsDigit(c) || c == '-') {
      ScanNumber(t);
    } else if (c == '\'' || c == '#') {
      t.kind = Tok::String;
      t.text = ScanString();
    } else if (c == '{') {
      ScanBinary();
      t.kind = Tok::Binary;
    } else if (std::string_view("=:[](),<>").find(c) != std::string_view::npos) {
      ++pos_;
      t.kind = Tok::Symbol;
      t.symbol = c;
    } else {
      throw EReadError(line_,
                       "unexpected character #" + std::to_string(static_cast<unsigned char>(c)));
    }
    return t;
  }

  void ScanNumber(Token& t) {
    const size_t start = pos_;
    if (Cur() == '-') ++pos_;
    if (AtEnd() || !IsDigit(Cur())) throw EReadError(line_, "expected a digit after '-'");
    t.kind = Tok::Integer;
    while (!AtEnd() && IsDigit(Cur())) ++pos_;
    if (!AtEnd() && Cur() == '.') {
      t.kind = Tok::Float;
      ++pos_;
      while (!AtEnd() && IsDigit(Cur())) ++pos_;
    }
    if (!AtEnd() && (Cur() == 'e' || Cur() == 'E')) {
      t.kind = Tok::Float;
      ++pos_;
      if (!AtEnd() && (Cur() == '+' || Cur() == '-')) ++pos_;
      if (AtEnd() || !IsDigit(Cur())) throw EReadError(line_, "malformed number");
      while (!AtEnd() && IsDigit(Cur())) ++pos_;
    }
    t.text = s_.substr(start, pos_ - start);
  }

  // Quoted parts and #nn codes, adjacent, and further such runs joined by + across lines.
  std::string ScanString() {
    std::string out;
    for (;;) {
      if (AtEnd()) throw EReadError(line_, "expected a string after '+'");
      if (Cur() == '\'') {
        ScanQuoted(out);
      } else if (Cur() == '#') {
        ScanCode(out);
      } else {
        throw EReadError(line_, "expected a string after '+'");
      }
      if (!AtEnd() && (Cur() == '\'' || Cur() == '#')) continue;
      const size_t pos = pos_;
      const int32_t line = line_;
      SkipBlanks();
      if (!AtEnd() && Cur() == '+') {
        ++pos_;
        SkipBlanks();
        continue;
      }
      pos_ = pos;
      line_ = line;
      return out;
    }
  }

  void ScanQuoted(std::string& out) {
    ++pos_;
    for (;;) {
      if (AtEnd() || Cur() == '\n' || Cur() == '\r') throw EReadError(line_, "unterminated string");
      if (Cur() == '\'') {
        ++pos_;
        if (AtEnd() || Cur() != '\'') return;
      }
      out += Cur();
      ++pos_;
    }
  }

  void ScanCode(std::string& out) {
    ++pos_;
    unsigned value = 0;
    size_t digits = 0;
    for (; !AtEnd() && IsDigit(Cur()); ++pos_, ++digits)
      if (value <= 255) value = value * 10 + static_cast<unsigned>(Cur() - '0');
    if (digits == 0) throw EReadError(line_, "expected a character code after '#'");
    if (value > 255) throw EReadError(line_, "character code out of range (0 to 255)");
    out += static_cast<char>(value);
  }

  void ScanBinary() {
    ++pos_;
    for (;;) {
      SkipBlanks();
      if (AtEnd()) throw EReadError(line_, "unterminated binary data");
      if (Cur() == '}') break;
      if (!IsHexDigit(Cur()))
        throw EReadError(line_, "binary data holds a character that is not hexadecimal");
      ++pos_;
    }
    ++pos_;
  }

  std::string_view s_;
  size_t pos_ = 0;
  int32_t line_ = 1;
  std::optional<Token> peeked_;
};

bool IsSymbol(const Token& t, char symbol) { return t.kind == Tok::Symbol && t.symbol == symbol; }

class Parser {
 public:
  explicit Parser(std::string_view text) : lex_(text) {}

  ObjectNode ParseForm() {
    ObjectNode root = ParseObject(0);
    const Token t = lex_.Next();
    if (t.kind != Tok::End) throw EReadError(t.line, "text after the end of the outer object");
    return root;
  }

 private:
  static bool IsWord(const Token& t, std::string_view word) {
    return t.kind == Tok::Ident && text::EqualsIgnoreCase(t.text, word);
  }

  void Enter(int depth, int32_t line) {
    if (depth > kMaxDepth)
      throw EReadError(line, "nested deeper than " + std::to_string(kMaxDepth) + " levels");
  }

  Token Expect(Tok kind, char symbol, const std::string& what) {
    Token t = lex_.Next();
    if (t.kind != kind || t.symbol != symbol) throw EReadError(t.line, "expected " + what);
    return t;
  }

  std::string ExpectIdent(const std::string& what) {
    Token t = Expect(Tok::Ident, 0, what);
    if (!IsValidIdent(t.text)) throw EReadError(t.line, "'" + t.text + "' is not " + what);
    return t.text;
  }

  ObjectNode ParseObject(int depth) {
    Token t = lex_.Next();
    Enter(depth, t.line);
    if (!IsWord(t, "object")) throw EReadError(t.line, "expected 'object'");
    ObjectNode node;
    node.line = t.line;
    node.className = ExpectIdent("a name");
    if (IsSymbol(lex_.Peek(), ':')) {
      lex_.Next();
      node.name = node.className;
      node.className = ExpectIdent("a class name");
    }
    for (;;) {
      const Token& next = lex_.Peek();
      if (IsWord(next, "end")) {
        lex_.Next();
        return node;
      }
      if (IsWord(next, "object")) {
        node.objects.push_back(ParseObject(depth + 1));
      } else if (next.kind == Tok::Ident) {
        node.properties.push_back(ParseProperty(depth + 1));
      } else {
        throw EReadError(next.line, "expected a property, an object or 'end'");
      }
    }
  }

  PropertyNode ParseProperty(int depth) {
    Token name = lex_.Next();
    Expect(Tok::Symbol, '=', "'=' after " + name.text);
    return PropertyNode{name.text, ParseValue(depth), name.line};
  }

  Value ParseValue(int depth) {
    Token t = lex_.Next();
    Enter(depth, t.line);
    switch (t.kind) {
      case Tok::Ident:
        return Value{ValueKind::Ident, std::move(t.text)};
      case Tok::Integer:
        return Value{ValueKind::Integer, std::move(t.text)};
      case Tok::Float:
        return Value{ValueKind::Float, std::move(t.text)};
      case Tok::String:
        return Value{ValueKind::String, std::move(t.text)};
      case Tok::Binary:
        return Value{ValueKind::Binary};
      case Tok::Symbol:
        if (t.symbol == '[') return Value{ValueKind::Set, {}, ParseSet()};
        if (t.symbol == '(') {
          ParseList(depth);
          return Value{ValueKind::List};
        }
        if (t.symbol == '<') {
          ParseCollection(depth);
          return Value{ValueKind::Collection};
        }
        break;
      case Tok::End:
        break;
    }
    throw EReadError(t.line, "expected a value");
  }

  std::vector<std::string> ParseSet() {
    std::vector<std::string> elements;
    if (IsSymbol(lex_.Peek(), ']')) {
      lex_.Next();
      return elements;
    }
    for (;;) {
      Token element = lex_.Next();
      if (element.kind != Tok::Ident && element.kind != Tok::Integer)
        throw EReadError(element.line, "expected a set element");
      elements.push_back(std::move(element.text));
      Token t = lex_.Next();
      if (IsSymbol(t, ']')) return elements;
      if (!IsSymbol(t, ',')) throw EReadError(t.line, "expected ',' or ']'");
    }
  }

  void ParseList(int depth) {
    while (!IsSymbol(lex_.Peek(), ')')) ParseValue(depth + 1);
    lex_.Next();
  }

  void ParseCollection(int depth) {
    for (;;) {
      Token t = lex_.Next();
      if (IsSymbol(t, '>')) return;
      if (!IsWord(t, "item")) throw EReadError(t.line, "expected 'item' or '>'");
      while (!IsWord(lex_.Peek(), "end")) {
        if (lex_.Peek().kind != Tok::Ident)
          throw EReadError(lex_.Peek().line, "expected a property or 'end'");
        ParseProperty(depth + 1);
      }
      lex_.Next();
    }
  }

  Lexer lex_;
};

}  // namespace

ObjectNode ParseForm(std::string_view text) { return Parser(text).ParseForm(); }

}  // namespace formfile
}  // namespace platform

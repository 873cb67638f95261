#include "platform/framework/FormFile.h"

#include <charconv>
#include <optional>
#include <set>

#include "platform/text/Text.h"

namespace platform {

EReadError::EReadError(int32_t line, const std::string& message)
    : std::runtime_error("line " + std::to_string(line) + ": " + message), line_(line) {}

// ---------------------------------------------------------------------------------------
// Writer

namespace {

constexpr size_t kBytesPerLine = 64;  // of a string's value, before a + continuation
constexpr int kMaxDepth = 64;  // of nested objects and values, so input cannot exhaust the stack

bool Printable(unsigned char c) { return c >= 0x20 && c < 0x7f; }

std::string QuoteString(std::string_view value) {
  if (value.empty()) return "''";
  std::string out;
  bool quoted = false;
  for (unsigned char c : value) {
    if (Printable(c)) {
      if (!quoted) out += '\'';
      quoted = true;
      out += static_cast<char>(c);
      if (c == '\'') out += '\'';
    } else {
      if (quoted) out += '\'';
      quoted = false;
      out += '#' + std::to_string(c);
    }
  }
  if (quoted) out += '\'';
  return out;
}

void WriteString(std::string& out, const std::string& indent, std::string_view value) {
  if (value.size() <= kBytesPerLine) {
    out += ' ' + QuoteString(value) + '\n';
    return;
  }
  out += '\n';
  for (size_t at = 0; at < value.size(); at += kBytesPerLine) {
    out += indent + "  " + QuoteString(value.substr(at, kBytesPerLine));
    out += at + kBytesPerLine < value.size() ? " +\n" : "\n";
  }
}

void WriteProperty(std::string& out, const std::string& indent, const TPropInfo& prop,
                   const TComponent& instance) {
  out += indent + prop.Name + " =";
  if (prop.Kind == tkString) {
    WriteString(out, indent, prop.GetStr(instance));
    return;
  }
  if (prop.Kind == tkMethod) {
    out += ' ' + prop.GetMethodName(instance) + '\n';
    return;
  }
  const int64_t ord = prop.GetOrd(instance);
  if (prop.Kind == tkSet) {
    std::string members;
    for (size_t i = 0; i < prop.EnumNames.size(); ++i)
      if (ord & (int64_t{1} << i)) members += (members.empty() ? "" : ", ") + prop.EnumNames[i];
    out += " [" + members + "]\n";
    return;
  }
  for (const auto& [name, value] : prop.Idents)
    if (value == ord) {
      out += ' ' + name + '\n';
      return;
    }
  // An enumeration value outside its members is written as its ordinal, so it survives.
  if (prop.Kind == tkEnumeration && ord >= 0 && static_cast<uint64_t>(ord) < prop.EnumNames.size())
    out += ' ' + prop.EnumNames[ord] + '\n';
  else
    out += ' ' + std::to_string(ord) + '\n';
}

void WriteObject(std::string& out, const std::string& indent, const TComponent& c, bool withOwned) {
  const std::string name = c.GetName();
  out += indent + "object " + (name.empty() ? "" : name + ": ") + c.ClassName() + '\n';
  for (const TPropInfo* prop : GetPropList(c.ClassType()))
    if (prop->IsStored(c)) WriteProperty(out, indent + "  ", *prop, c);
  if (withOwned)
    for (int32_t i = 0; i < c.ComponentCount(); ++i)
      WriteObject(out, indent + "  ", *c.Components(i), false);
  out += indent + "end\n";
}

}  // namespace

std::string WriteComponent(const TComponent& root) {
  std::string out;
  WriteObject(out, "", root, true);
  return out;
}

// ---------------------------------------------------------------------------------------
// Reader: a lexer, a parser to a tree, a check of the tree against the classes, and only
// then the assignments.

namespace {

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

struct PropertyNode {
  std::string name;
  Token value;  // compound values (sets, lists, collections) are checked, then kept as a symbol
  int32_t line;
};

struct ObjectNode {
  std::string name;
  std::string className;
  int32_t line;
  std::vector<PropertyNode> properties;
  std::vector<ObjectNode> objects;
};

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
    if (lex_.Peek().kind == Tok::Symbol && lex_.Peek().symbol == ':') {
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

  Token ParseValue(int depth) {
    Token t = lex_.Next();
    Enter(depth, t.line);
    if (t.kind == Tok::Symbol) {
      switch (t.symbol) {
        case '[':
          t.text = ParseSet();
          return t;
        case '(':
          while (!(lex_.Peek().kind == Tok::Symbol && lex_.Peek().symbol == ')'))
            ParseValue(depth + 1);
          lex_.Next();
          return t;
        case '<':
          ParseCollection(depth);
          return t;
      }
    }
    if (t.kind == Tok::End || t.kind == Tok::Symbol) throw EReadError(t.line, "expected a value");
    return t;
  }

  // The elements, each followed by a comma.
  std::string ParseSet() {
    std::string elements;
    if (lex_.Peek().kind == Tok::Symbol && lex_.Peek().symbol == ']') {
      lex_.Next();
      return elements;
    }
    for (;;) {
      Token element = lex_.Next();
      if (element.kind != Tok::Ident && element.kind != Tok::Integer)
        throw EReadError(element.line, "expected a set element");
      elements += element.text + ',';
      Token t = lex_.Next();
      if (t.kind == Tok::Symbol && t.symbol == ']') return elements;
      if (t.kind != Tok::Symbol || t.symbol != ',') throw EReadError(t.line, "expected ',' or ']'");
    }
  }

  void ParseCollection(int depth) {
    for (;;) {
      Token t = lex_.Next();
      if (t.kind == Tok::Symbol && t.symbol == '>') return;
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

// One checked assignment, ready to be made.
struct Assignment {
  const TPropInfo* prop;
  int64_t ordinal = 0;
  std::string text{};
  const TMethodInfo* method = nullptr;  // of the root, which the handler is bound to
};

struct PlannedObject {
  const TClassInfo* cls;  // null for the root, which exists already
  std::string name;
  std::vector<Assignment> assignments;
};

std::optional<int64_t> ParseInteger(const std::string& digits) {
  int64_t value = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

// A component name as its owner compares it: ASCII case ignored.
std::string NameKey(std::string_view name) {
  std::string key(name);
  for (char& c : key) c = text::AsciiLower(c);
  return key;
}

class Planner {
 public:
  // Every object the plan creates is owned by `root`, whatever its depth in the file, so its
  // name must be free among the components root owns already and those planned before it.
  Planner(TComponent& root, const std::vector<const TClassInfo*>& classes)
      : root_(root), classes_(classes) {
    for (int32_t i = 0; i < root.ComponentCount(); ++i)
      if (const std::string name = root.Components(i)->GetName(); !name.empty())
        namesInRoot_.insert(NameKey(name));
  }

  // Every object of a known class, the outer one included, searching inside the others.
  std::vector<PlannedObject> PlanFound(const ObjectNode& form) {
    PlanNested(form, true);
    return std::move(plan_);
  }

  std::vector<PlannedObject> Plan(const ObjectNode& form) {
    if (!text::EqualsIgnoreCase(form.className, root_.ClassName()))
      throw EReadError(form.line,
                       "the form holds a " + form.className + ", not a " + root_.ClassName());
    // The root keeps its own owner, so its name is checked there and not among its children.
    TComponent* owner = root_.GetOwner();
    TComponent* holder = owner ? owner->FindComponent(form.name) : nullptr;
    if (holder && holder != &root_)
      throw EReadError(form.line, "a component named " + form.name + " already exists");
    plan_.push_back(PlannedObject{nullptr, form.name, Assignments(form, root_.ClassType())});
    for (const ObjectNode& child : form.objects) PlanNested(child, false);
    return std::move(plan_);
  }

 private:
  // An object of an unknown class is skipped, and what it holds too unless `searchSkipped`.
  void PlanNested(const ObjectNode& node, bool searchSkipped) {
    const TClassInfo* cls = FindClass(node.className);
    if (!cls || !cls->Create) {
      if (searchSkipped)
        for (const ObjectNode& child : node.objects) PlanNested(child, searchSkipped);
      return;
    }
    if (!node.name.empty() && !namesInRoot_.insert(NameKey(node.name)).second)
      throw EReadError(node.line, "a component named " + node.name + " already exists");
    plan_.push_back(PlannedObject{cls, node.name, Assignments(node, *cls)});
    for (const ObjectNode& child : node.objects) PlanNested(child, searchSkipped);
  }

  const TClassInfo* FindClass(const std::string& name) const {
    for (const TClassInfo* cls : classes_)
      if (text::EqualsIgnoreCase(cls->Name, name)) return cls;
    return nullptr;
  }

  std::vector<Assignment> Assignments(const ObjectNode& node, const TClassInfo& cls) const {
    std::vector<Assignment> list;
    for (const PropertyNode& p : node.properties) list.push_back(Convert(p, cls));
    return list;
  }

  Assignment Convert(const PropertyNode& p, const TClassInfo& cls) const {
    const TPropInfo* prop = GetPropInfo(cls, p.name);
    if (!prop) throw EReadError(p.line, "unknown property " + p.name + " of " + cls.Name);
    if (!prop->Streamed)
      throw EReadError(
          p.line, "property " + prop->Name + " of " + cls.Name + " is not read from a form file");
    Assignment a{prop};
    const Token& v = p.value;
    auto mismatch = [&] {
      return EReadError(p.line, prop->Name + " takes a value of type " + prop->TypeName);
    };
    if (prop->Kind == tkString) {
      if (v.kind != Tok::String) throw mismatch();
      a.text = v.text;
      return a;
    }
    if (prop->Kind == tkMethod) {
      if (v.kind != Tok::Ident) throw mismatch();
      a.method = FindMethod(root_.ClassType(), v.text);
      if (!a.method) throw EReadError(p.line, root_.ClassName() + " has no method " + v.text);
      return a;
    }
    if (prop->Kind == tkSet) {
      if (v.kind != Tok::Symbol || v.symbol != '[') throw mismatch();
      for (const std::string& element : text::Split(v.text, ',')) {
        if (element.empty()) continue;
        size_t i = 0;
        while (i < prop->EnumNames.size() && !text::EqualsIgnoreCase(prop->EnumNames[i], element))
          ++i;
        if (i == prop->EnumNames.size())
          throw EReadError(p.line, element + " is not a member of " + prop->TypeName);
        a.ordinal |= int64_t{1} << i;
      }
      return a;
    }
    if (v.kind == Tok::Ident && prop->Kind == tkInteger) {
      for (const auto& [name, value] : prop->Idents)
        if (text::EqualsIgnoreCase(name, v.text)) {
          a.ordinal = value;
          return a;
        }
      throw EReadError(p.line, v.text + " is not a " + prop->TypeName + " value");
    }
    if (v.kind == Tok::Ident && prop->Kind == tkEnumeration) {
      for (size_t i = 0; i < prop->EnumNames.size(); ++i)
        if (text::EqualsIgnoreCase(prop->EnumNames[i], v.text)) {
          a.ordinal = static_cast<int64_t>(i);
          return a;
        }
      throw EReadError(p.line, v.text + " is not a " + prop->TypeName + " value");
    }
    if (v.kind != Tok::Integer) throw mismatch();
    std::optional<int64_t> n = ParseInteger(v.text);
    if (!n || *n < prop->MinValue || *n > prop->MaxValue)
      throw EReadError(p.line, v.text + " is out of range for " + prop->Name);
    a.ordinal = *n;
    return a;
  }

  TComponent& root_;
  const std::vector<const TClassInfo*>& classes_;
  std::vector<PlannedObject> plan_;
  std::set<std::string> namesInRoot_;  // as NameKey gives them
};

void Assign(TComponent& c, TComponent& root, const std::vector<Assignment>& assignments) {
  for (const Assignment& a : assignments) {
    if (a.method)
      a.prop->SetMethod(c, root, *a.method);
    else if (a.prop->Kind == tkString)
      a.prop->SetStr(c, a.text);
    else
      a.prop->SetOrd(c, a.ordinal);
  }
}

}  // namespace

void ReadComponent(std::string_view text, TComponent& root,
                   const std::vector<const TClassInfo*>& classes) {
  const ObjectNode form = Parser(text).ParseForm();
  const std::vector<PlannedObject> plan = Planner(root, classes).Plan(form);

  std::vector<TComponent*> loaded{&root};
  root.SetLoading(true);
  root.SetName(plan[0].name);
  Assign(root, root, plan[0].assignments);
  for (size_t i = 1; i < plan.size(); ++i) {
    TComponent* c = plan[i].cls->Create(&root);
    loaded.push_back(c);
    c->SetLoading(true);
    c->SetName(plan[i].name);
    Assign(*c, root, plan[i].assignments);
  }
  for (TComponent* c : loaded) c->SetLoading(false);
  for (TComponent* c : loaded) c->Loaded();
}

std::vector<TComponent*> ReadComponents(std::string_view text, TComponent& owner,
                                        const std::vector<const TClassInfo*>& classes) {
  const ObjectNode form = Parser(text).ParseForm();
  const std::vector<PlannedObject> plan = Planner(owner, classes).PlanFound(form);

  std::vector<TComponent*> found;
  for (const PlannedObject& planned : plan) {
    TComponent* c = planned.cls->Create(&owner);
    found.push_back(c);
    c->SetLoading(true);
    c->SetName(planned.name);
    Assign(*c, owner, planned.assignments);
  }
  for (TComponent* c : found) c->SetLoading(false);
  for (TComponent* c : found) c->Loaded();
  return found;
}

}  // namespace platform

#include "platform/odbcini/OdbcIni.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "platform/text/Text.h"

// unixODBC's own answer for its system folder; exported by libodbcinst but declared only
// in a header meant for building unixODBC itself.
extern "C" char* odbcinst_system_file_path(char* buffer);

namespace platform::odbcini {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string SystemFolder() {
  std::string dir = Env("ODBCSYSINI");
  if (!dir.empty()) return dir;
  char buf[4096] = {};
  return odbcinst_system_file_path(buf);
}

// fgets into unixODBC's 1000-byte line buffer takes at most this many bytes at a time.
constexpr size_t kPieceMax = 999;

// C's isspace in the "C" locale, which unixODBC's trimming uses.
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsAlnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

// Where the piece starting at `pos` ends: after a line feed, after kPieceMax bytes, or at `to`.
size_t PieceEnd(std::string_view text, size_t pos, size_t to) {
  const size_t limit = std::min(to - pos, kPieceMax);
  const void* nl = std::memchr(text.data() + pos, '\n', limit);
  return nl ? static_cast<size_t>(static_cast<const char*>(nl) - text.data()) + 1 : pos + limit;
}

// What unixODBC's string functions see of a piece: everything before its first NUL.
std::string_view Seen(std::string_view raw) {
  const void* nul = std::memchr(raw.data(), '\0', raw.size());
  return nul ? raw.substr(0, static_cast<size_t>(static_cast<const char*>(nul) - raw.data())) : raw;
}

bool StartsLine(std::string_view text, size_t pos) { return pos == 0 || text[pos - 1] == '\n'; }

enum class Kind { Blank, Comment, Header, Key };

// One piece as unixODBC reads it; `name` and `value` point into the text.
struct Piece {
  size_t begin = 0;
  size_t next = 0;
  Kind kind = Kind::Blank;
  std::string_view name;
  std::string_view value;
};

// _iniObjectRead: the name runs from after the "[" to the first "]".
std::string_view HeaderName(std::string_view fromBracket) {
  std::string_view name = fromBracket.substr(1);
  return Trim(name.substr(0, name.find(']')));
}

// _iniPropertyRead: split at the first "=".
void SplitKey(std::string_view line, Piece& p) {
  const size_t eq = line.find('=');
  p.name = Trim(line.substr(0, eq));
  p.value = eq == std::string_view::npos ? std::string_view() : Trim(line.substr(eq + 1));
}

// Classifies the piece [begin, next) as iniOpen's or iniAppend's loop does; a key's name and
// value only when `split` is set. Skipping blanks stops at a NUL too, which then reads as the
// end of the piece.
Piece Classify(std::string_view text, size_t begin, size_t next, Reader reader, bool split) {
  Piece p;
  p.begin = begin;
  p.next = next;
  std::string_view raw = text.substr(begin, next - begin);
  if (reader == Reader::Open) {
    size_t i = 0;
    while (i < raw.size() && IsSpace(raw[i])) ++i;
    raw.remove_prefix(i);
  }
  if (raw.empty() || raw[0] == '\0') return p;
  const char c = raw[0];
  if (c == '[') {
    p.kind = Kind::Header;
    p.name = HeaderName(Seen(raw));
  } else if (reader == Reader::Open ? c != '#' && c != ';' : IsAlnum(c)) {
    p.kind = Kind::Key;
    if (split) SplitKey(Seen(raw), p);
  } else {
    p.kind = Kind::Comment;  // or, for Append, a line it skips
  }
  return p;
}

// Calls `visit(piece)` for each piece in [from, to), `from` being where a piece starts; stops
// when it returns false.
template <typename Visit>
void ForEachPiece(std::string_view text, size_t from, size_t to, Reader reader, bool split,
                  Visit visit) {
  for (size_t pos = from; pos < to;) {
    const size_t next = PieceEnd(text, pos, to);
    if (!visit(Classify(text, pos, next, reader, split))) return;
    pos = next;
  }
}

std::string KeyLine(std::string_view key, std::string_view value, std::string_view eol) {
  std::string line(key);
  line += value.empty() ? " =" : " = ";
  line += value;
  line += eol;
  return line;
}

// Builds the new text of a range from kept pieces and written lines. A line we write never
// continues a kept piece that was cut from a longer line: it gets a line end first, which
// unixODBC reads as a blank line.
class Rebuild {
 public:
  // `at` is where the range starts in `text`.
  Rebuild(std::string_view text, size_t at, std::string eol)
      : text_(text), eol_(std::move(eol)), open_(!StartsLine(text, at)) {}

  void Keep(size_t begin, size_t next) {
    if (open_ && StartsLine(text_, begin)) out_ += eol_;
    out_.append(text_, begin, next - begin);
    open_ = text_[next - 1] != '\n';
  }

  void Write(std::string_view line) {
    if (open_) out_ += eol_;
    out_ += line;
    open_ = false;
  }

  // The range's text; its last line ends where the range's did.
  std::string Finish(size_t end) {
    if (open_ && StartsLine(text_, end)) out_ += eol_;
    return std::move(out_);
  }

 private:
  std::string_view text_;
  std::string eol_;
  bool open_;
  std::string out_;
};

// Makes sure the text ends with a line end, so that lines can be appended.
void EndLine(std::string& text, std::string_view eol) {
  if (!text.empty() && text.back() != '\n') text += eol;
}

// Whether the text, ending with a line end, ends with a blank line.
bool EndsWithBlankLine(std::string_view text) {
  if (text.empty()) return true;
  text.remove_suffix(1);  // its line feed
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  return text.empty() || text.back() == '\n';
}

bool HasControl(std::string_view s) {
  for (unsigned char c : s)
    if (c < 0x20 || c == 0x7F) return true;
  return false;
}

bool HasOuterBlank(std::string_view s) {
  return !s.empty() && (text::IsBlank(s.front()) || text::IsBlank(s.back()));
}

}  // namespace

std::string UserFile() {
  std::string file = Env("ODBCINI");
  if (!file.empty()) return file;
  // As _odbcinst_UserINI asks: getpwuid_r into a 1,024-byte buffer. Without an entry, or with
  // one that does not fit, unixODBC takes "/home", not $HOME.
  char buf[1024];
  passwd entry{};
  passwd* found = nullptr;
  getpwuid_r(getuid(), &entry, buf, sizeof buf, &found);
  const char* home = found == &entry && entry.pw_dir ? entry.pw_dir : "/home";
  return std::string(home) + "/.odbc.ini";
}

std::string SystemFile() { return SystemFolder() + "/odbc.ini"; }

// $ODBCINSTINI set but empty names the folder itself, as unixODBC joins the two.
std::string DriversFile() {
  const char* name = std::getenv("ODBCINSTINI");
  return SystemFolder() + "/" + (name ? name : "odbcinst.ini");
}

std::string UserDriversFile() {
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "/home") + "/.odbcinst.ini";
}

bool ReadDriversFile(const std::string& path, std::string& text) {
  if (!path.empty() && path.back() == '/') {  // unixODBC's fopen opens the folder; fgets reads nothing
    text.clear();
    return true;
  }
  return ReadFile(path, text);
}

std::optional<Rejection> FindRejection(std::string_view text) {
  // _iniScanUntilObject: up to the first piece starting with "[", every piece must trim to
  // nothing or start with a comment character.
  size_t line = 1;
  bool commentLine = false;  // the current line started as a comment
  for (size_t pos = 0; pos < text.size();) {
    const size_t next = PieceEnd(text, pos, text.size());
    const std::string_view seen = Seen(text.substr(pos, next - pos));
    if (!seen.empty() && seen[0] == '[') return std::nullopt;
    const std::string_view t = Trim(seen);
    const bool startsLine = StartsLine(text, pos);
    if (startsLine) commentLine = !t.empty() && (t[0] == '#' || t[0] == ';');
    if (!t.empty() && t[0] != '#' && t[0] != ';') {
      std::string reason;
      if (!startsLine && commentLine)
        reason = "a comment longer than 999 bytes before the first section";
      else if (pos == 0 && seen.starts_with("\xEF\xBB\xBF"))
        reason = "a byte-order mark before the first section";
      else if (t[0] == '[')
        reason = "an indented section header before the first section";
      else
        reason = "text before the first section";
      return Rejection{line, reason};
    }
    if (text[next - 1] == '\n') ++line;
    pos = next;
  }
  return std::nullopt;
}

namespace {

// The section headers of a text, as Classify would find them piece by piece, found by looking
// only at the "[" bytes: a "[" starts a header when the bytes of its piece before it are
// blanks (Open) or none (Append). Each byte is looked at a bounded number of times, so a text
// full of "[" costs no more than one without.
class HeaderScan {
 public:
  HeaderScan(std::string_view text, Reader reader) : text_(text), reader_(reader) {}

  // The next header piece, or false at the end of the text.
  bool Next(Piece& header) {
    const char* const base = text_.data();
    while (pos_ < text_.size()) {
      const void* hit = std::memchr(base + pos_, '[', text_.size() - pos_);
      if (!hit) break;
      const size_t bracket = static_cast<size_t>(static_cast<const char*>(hit) - base);
      // The line holding the "[" starts after the last line feed since pos_, else where the
      // line holding pos_ started.
      if (bracket > pos_ && base[bracket - 1] == '\n')
        lineStart_ = bracket;  // a header's usual place: no need to look further back
      else if (const void* nl = memrchr(base + pos_, '\n', bracket - pos_))
        lineStart_ = static_cast<size_t>(static_cast<const char*>(nl) - base) + 1;
      const size_t pieceStart = lineStart_ + (bracket - lineStart_) / kPieceMax * kPieceMax;
      const size_t pieceEnd = PieceEnd(text_, pieceStart, text_.size());
      bool isHeader = bracket == pieceStart;
      if (!isHeader && reader_ == Reader::Open) {
        isHeader = true;
        for (size_t i = pieceStart; i < bracket && isHeader; ++i) isHeader = IsSpace(base[i]);
      }
      // Any later "[" of this piece follows the same bytes: the next header is in a later one.
      pos_ = pieceEnd;
      if (base[pieceEnd - 1] == '\n') lineStart_ = pieceEnd;
      if (isHeader) {
        header = Classify(text_, pieceStart, pieceEnd, reader_, false);
        return true;
      }
    }
    pos_ = text_.size();
    return false;
  }

 private:
  std::string_view text_;
  Reader reader_;
  size_t pos_ = 0;        // where a piece starts; nothing before it is left to find
  size_t lineStart_ = 0;  // where the line holding pos_ starts
};

}  // namespace

void ForEachSection(std::string_view text, const std::function<bool(const Section&)>& visit,
                    Reader reader) {
  HeaderScan scan(text, reader);
  Piece p;
  std::optional<Section> open;
  while (scan.Next(p)) {
    if (open) {
      open->end = p.begin;
      if (!visit(*open)) return;
    }
    open = Section{p.name, p.begin, p.next, text.size()};
  }
  if (open) visit(*open);
}

std::optional<Section> FindSection(std::string_view text, std::string_view name, Reader reader) {
  HeaderScan scan(text, reader);
  Piece p;
  std::optional<Section> found;
  while (scan.Next(p)) {
    if (found) {
      found->end = p.begin;
      return found;
    }
    if (text::EqualsIgnoreCase(p.name, name)) found = Section{p.name, p.begin, p.next, text.size()};
  }
  return found;
}

KeyValues ReadKeys(std::string_view body, Reader reader) {
  KeyValues keys;
  ForEachPiece(body, 0, body.size(), reader, true, [&](const Piece& p) {
    if (p.kind == Kind::Key) keys.emplace_back(p.name, p.value);
    return true;
  });
  return keys;
}

std::optional<std::string> FindKey(std::string_view body, std::string_view wanted, Reader reader) {
  std::optional<std::string> found;
  ForEachPiece(body, 0, body.size(), reader, true, [&](const Piece& p) {
    if (p.kind != Kind::Key || !text::EqualsIgnoreCase(p.name, wanted)) return true;
    found = std::string(p.value);
    return false;
  });
  return found;
}

std::string LineEnd(std::string_view text) {
  const size_t nl = text.find('\n');
  return nl != std::string_view::npos && nl > 0 && text[nl - 1] == '\r' ? "\r\n" : "\n";
}

std::string CheckSectionName(std::string_view name) {
  std::string why;
  if (name.empty())
    why = "it is empty";
  else if (name.size() > 32)
    why = "it is longer than 32 bytes";
  else if (HasControl(name))
    why = "it holds a control character";
  else if (HasOuterBlank(name))
    why = "it starts or ends with a blank";
  else if (name[0] == '#' || name[0] == ';')
    why = "it starts with a comment character";
  else if (size_t bad = name.find_first_of("[]{}(),;?*=!@\\"); bad != std::string_view::npos)
    why = std::string("it holds the character '") + name[bad] + "'";
  if (why.empty()) return why;
  return "invalid data source name \"" + text::EscapeControls(name) + "\": " + why;
}

std::string CheckKeyword(std::string_view keyword) {
  std::string why;
  if (keyword.empty()) {
    why = "it is empty";
  } else if (HasOuterBlank(keyword)) {
    why = "it starts or ends with a blank";
  } else if (!IsAlnum(keyword[0])) {
    // Beneath the user file, unixODBC skips a line that starts otherwise (Reader::Append).
    why = "it must start with a letter or a digit";
  } else {
    for (char c : keyword) {
      bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                c == '_' || c == '-' || c == ' ';
      if (!ok) {
        why = "only letters, digits, '_', '-' and blanks are allowed";
        break;
      }
    }
  }
  if (why.empty()) return why;
  return "invalid keyword \"" + text::EscapeControls(keyword) + "\": " + why;
}

std::string CheckValue(std::string_view keyword, std::string_view value) {
  std::string why;
  if (HasControl(value))
    why = "it holds a control character";
  else if (HasOuterBlank(value))
    why = "it starts or ends with a blank";
  else if (KeyLine(keyword, value, "\n").size() > kPieceMax)
    why = "its line would be longer than 999 bytes";
  if (why.empty()) return why;
  return "the value of \"" + text::EscapeControls(keyword) + "\" cannot be stored: " + why;
}

void AppendSection(std::string& text, std::string_view name, const KeyValues& keys) {
  const std::string eol = LineEnd(text);
  EndLine(text, eol);
  if (!EndsWithBlankLine(text)) text += eol;  // a blank line between sections
  text += '[';
  text += name;
  text += ']';
  text += eol;
  for (const auto& [k, v] : keys) text += KeyLine(k, v, eol);
}

void WriteSection(std::string& text, std::string_view name, const KeyValues& keys, Merge merge) {
  std::optional<Section> s = FindSection(text, name);
  if (!s) {
    AppendSection(text, name, keys);
    return;
  }
  const std::string eol = LineEnd(text);
  if (s->end == text.size() && !text.empty() && text.back() != '\n') {
    const bool headerOnly = s->body == text.size();
    text += eol;
    s->end = text.size();
    if (headerOnly) s->body = s->end;
  }

  // The new body in order: kept pieces and rewritten keys, then new keys before the
  // comments and blank lines that follow the last key (Update); or new keys, then every
  // comment and blank line (Replace).
  constexpr size_t kRaw = static_cast<size_t>(-1);
  struct Item {
    size_t begin, next;
    size_t key;  // index into `keys` for a line we write, else kRaw
  };
  std::vector<Item> items;
  std::vector<bool> used(keys.size(), false);
  size_t afterLastKey = 0;
  auto indexOf = [&](std::string_view key) {
    for (size_t i = 0; i < keys.size(); ++i)
      if (text::EqualsIgnoreCase(keys[i].first, key)) return i;
    return keys.size();
  };
  ForEachPiece(text, s->body, s->end, Reader::Open, true, [&](const Piece& p) {
    if (p.kind != Kind::Key) {
      items.push_back({p.begin, p.next, kRaw});
      return true;
    }
    if (merge == Merge::Replace) return true;  // old keys go; their comments stay
    const size_t i = indexOf(p.name);
    if (i == keys.size()) {
      items.push_back({p.begin, p.next, kRaw});
    } else if (!used[i]) {
      used[i] = true;
      items.push_back({p.begin, p.next, i});
    }
    afterLastKey = items.size();
    return true;
  });

  Rebuild body(text, s->body, eol);
  auto emit = [&](const Item& item) {
    if (item.key == kRaw)
      body.Keep(item.begin, item.next);
    else
      body.Write(KeyLine(keys[item.key].first, keys[item.key].second, eol));
  };
  for (size_t i = 0; i < afterLastKey; ++i) emit(items[i]);
  for (size_t i = 0; i < keys.size(); ++i)
    if (!used[i]) body.Write(KeyLine(keys[i].first, keys[i].second, eol));
  for (size_t i = afterLastKey; i < items.size(); ++i) emit(items[i]);
  text.replace(s->body, s->end - s->body, body.Finish(s->end));
}

bool RemoveSection(std::string& text, std::string_view name) {
  std::vector<Section> found;
  ForEachSection(text, [&](const Section& s) {
    if (text::EqualsIgnoreCase(s.name, name)) found.push_back(s);
    return true;
  });
  // From the last, so that the offsets of the others stay valid.
  const std::string eol = LineEnd(text);
  for (auto s = found.rbegin(); s != found.rend(); ++s) {
    Rebuild kept(text, s->header, eol);  // its comments; keys and blank lines go
    ForEachPiece(text, s->body, s->end, Reader::Open, false, [&](const Piece& p) {
      if (p.kind == Kind::Comment) kept.Keep(p.begin, p.next);
      return true;
    });
    text.replace(s->header, s->end - s->header, kept.Finish(s->end));
  }
  return !found.empty();
}

namespace {

// Where the key lines of a section are: the first piece of `key` (when there is one), whether
// it has more, and the end of the section's last key piece (its body's start when it has no
// key).
struct KeyPlace {
  std::optional<Piece> first;
  bool repeated = false;
  size_t afterLastKey = 0;
};

KeyPlace PlaceKey(std::string_view text, const Section& s, std::string_view key) {
  KeyPlace place;
  place.afterLastKey = s.body;
  ForEachPiece(text, s.body, s.end, Reader::Open, true, [&](const Piece& p) {
    if (p.kind != Kind::Key) return true;
    place.afterLastKey = p.next;
    if (text::EqualsIgnoreCase(p.name, key)) {
      if (place.first) place.repeated = true;
      if (!place.first) place.first = p;
    }
    return true;
  });
  return place;
}

// Whether whole lines start at `at` (the text's end counts when the text ends a line).
bool AtLineStart(std::string_view text, size_t at) {
  return at <= text.size() && StartsLine(text, at) &&
         (at < text.size() || text.empty() || text.back() == '\n');
}

}  // namespace

void Apply(std::string& text, const Splice& splice) {
  text.replace(splice.at, splice.erase, splice.insert);
}

// The listing section of a file holds a line per data source: adding or removing one line
// there touches that line alone, without rebuilding the section.
std::optional<Splice> SetKeySplice(std::string_view text, std::string_view section,
                                   std::string_view key, std::string_view value) {
  std::optional<Section> s = FindSection(text, section);
  if (!s) return std::nullopt;
  const KeyPlace place = PlaceKey(text, *s, key);
  if (place.first || !AtLineStart(text, place.afterLastKey)) return std::nullopt;
  return Splice{place.afterLastKey, 0, KeyLine(key, value, LineEnd(text))};
}

std::optional<Splice> RemoveKeySplice(std::string_view text, std::string_view section,
                                      std::string_view key) {
  std::optional<Section> s = FindSection(text, section);
  if (!s) return Splice{};
  const KeyPlace place = PlaceKey(text, *s, key);
  if (!place.first) return Splice{};
  const Piece& line = *place.first;
  if (place.repeated || !StartsLine(text, line.begin) || text[line.next - 1] != '\n')
    return std::nullopt;
  return Splice{line.begin, line.next - line.begin, ""};
}

void SetKey(std::string& text, std::string_view section, std::string_view key,
            std::string_view value) {
  if (std::optional<Splice> splice = SetKeySplice(text, section, key, value))
    Apply(text, *splice);
  else
    WriteSection(text, section, {{std::string(key), std::string(value)}}, Merge::Update);
}

void RemoveKey(std::string& text, std::string_view section, std::string_view wanted) {
  if (std::optional<Splice> splice = RemoveKeySplice(text, section, wanted)) {
    Apply(text, *splice);
    return;
  }
  const Section s = *FindSection(text, section);
  Rebuild body(text, s.body, LineEnd(text));
  bool removed = false;
  ForEachPiece(text, s.body, s.end, Reader::Open, true, [&](const Piece& p) {
    if (p.kind == Kind::Key && text::EqualsIgnoreCase(p.name, wanted))
      removed = true;
    else
      body.Keep(p.begin, p.next);
    return true;
  });
  if (removed) text.replace(s.body, s.end - s.body, body.Finish(s.end));
}

}  // namespace platform::odbcini

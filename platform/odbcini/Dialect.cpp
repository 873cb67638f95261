// Reading a configuration file's text as unixODBC's two readers do.
#include <string.h>

#include "platform/odbcini/Dialect.h"
#include "platform/odbcini/Pieces.h"
#include "platform/text/Text.h"

namespace platform::odbcini {
namespace pieces {
namespace {

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

}  // namespace

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

}  // namespace pieces

using namespace pieces;

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

}  // namespace platform::odbcini

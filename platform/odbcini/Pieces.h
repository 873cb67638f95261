// A file's text as unixODBC's readers cut it: pieces of at most kPieceMax bytes, each a blank
// line, a comment, a section header or a key. Inside platform/odbcini only.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/odbcini/Dialect.h"

namespace platform::odbcini::pieces {

// C's isspace in the "C" locale, which unixODBC's trimming uses.
inline bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

inline bool IsAlnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

inline std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

// Where the piece starting at `pos` ends: after a line feed, after kPieceMax bytes, or at `to`.
inline size_t PieceEnd(std::string_view text, size_t pos, size_t to) {
  const size_t limit = std::min(to - pos, kPieceMax);
  const void* nl = std::memchr(text.data() + pos, '\n', limit);
  return nl ? static_cast<size_t>(static_cast<const char*>(nl) - text.data()) + 1 : pos + limit;
}

// What unixODBC's string functions see of a piece: everything before its first NUL.
inline std::string_view Seen(std::string_view raw) {
  const void* nul = std::memchr(raw.data(), '\0', raw.size());
  return nul ? raw.substr(0, static_cast<size_t>(static_cast<const char*>(nul) - raw.data())) : raw;
}

inline bool StartsLine(std::string_view text, size_t pos) {
  return pos == 0 || text[pos - 1] == '\n';
}

enum class Kind { Blank, Comment, Header, Key };

// One piece as unixODBC reads it; `name` and `value` point into the text.
struct Piece {
  size_t begin = 0;
  size_t next = 0;
  Kind kind = Kind::Blank;
  std::string_view name;
  std::string_view value;
};

// Classifies the piece [begin, next) as iniOpen's or iniAppend's loop does; a key's name and
// value only when `split` is set. Skipping blanks stops at a NUL too, which then reads as the
// end of the piece.
Piece Classify(std::string_view text, size_t begin, size_t next, Reader reader, bool split);

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

// A key's line as we write it.
inline std::string KeyLine(std::string_view key, std::string_view value, std::string_view eol) {
  std::string line(key);
  line += value.empty() ? " =" : " = ";
  line += value;
  line += eol;
  return line;
}

}  // namespace platform::odbcini::pieces

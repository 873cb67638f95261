// How unixODBC 2.3.11 reads its configuration files (ini/iniOpen.c, iniAppend.c):
// - It reads pieces, not lines: fgets into a 1000-byte buffer takes at most 999 bytes, so a
//   longer line splits and each further 999 bytes read as a line of their own.
// - A piece ends at its first NUL byte for everything that follows.
// - Trimming removes C's isspace bytes: space, tab, line feed, CR, vertical tab, form feed.
//   So a CRLF file reads like an LF one.
// - Before the first section only blank lines and comments ("#" or ";" as the first
//   non-blank byte) may stand, and the first header must start in the first column;
//   anything else makes unixODBC refuse the whole file (see FindRejection, Refusals.h).
// - "[name" starts a section; the name runs to the first "]" (or the end of the piece) and is
//   trimmed; what follows the "]" is ignored. "key = value" splits at the first "="; a line
//   without "=" is a key with an empty value; both sides are trimmed.
// - Names compare without regard to ASCII case; a repeated section or key: the first wins.
// How a line is classified depends on which of unixODBC's two readers reads the file; see
// Reader.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Pairs.h"

namespace platform::odbcini {

// fgets into unixODBC's 1000-byte line buffer takes at most this many bytes at a time.
inline constexpr size_t kPieceMax = 999;

// unixODBC's two readers.
// Open (iniOpen) reads the user file, the drivers file, and the system file when that is
// read on its own (system mode, or when the user file was refused): after leading blanks, "["
// starts a header, "#" or ";" a comment, anything else is a key.
// Append (iniAppend) reads the system file beneath the user file in the default mode, which
// is how the driver manager finds a data source, and a user's ~/.odbcinst.ini beneath the
// drivers file: a header must start in the first column, a key with a letter or digit;
// every other line, indented ones included, is skipped. A refused file adds nothing.
enum class Reader { Open, Append };

// Byte offsets of one section in a file's text: its header starts at `header`, its body (the
// pieces after the header) runs from `body` to `end`. A header or body can start inside a
// line longer than 999 bytes, where unixODBC starts a piece.
struct Section {
  std::string_view name;
  size_t header = 0;
  size_t body = 0;
  size_t end = 0;
};

using KeyValues = Pairs;

// Calls `visit` for each section in file order; stops when it returns false.
void ForEachSection(std::string_view text, const std::function<bool(const Section&)>& visit,
                    Reader reader = Reader::Open);
// The first section of that name: the one unixODBC reads.
std::optional<Section> FindSection(std::string_view text, std::string_view name,
                                   Reader reader = Reader::Open);
// The keys of a section's body, in file order, comments skipped, repeats and an empty key
// name kept as unixODBC keeps them. FindKey answers the first of that name.
KeyValues ReadKeys(std::string_view body, Reader reader = Reader::Open);
std::optional<std::string> FindKey(std::string_view body, std::string_view key,
                                   Reader reader = Reader::Open);

// The line end of the text: "\r\n" when its first line ends so, else "\n".
std::string LineEnd(std::string_view text);

}  // namespace platform::odbcini

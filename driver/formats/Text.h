// Small text helpers the readers share.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tabrix::formats {

inline std::string_view Trim(std::string_view s) {
  while (!s.empty() &&
         (s.front() == ' ' || s.front() == '\t' || s.front() == '\n' || s.front() == '\r'))
    s.remove_prefix(1);
  while (!s.empty() &&
         (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

inline std::optional<uint32_t> ParseUnsigned(std::string_view s) {
  s = Trim(s);
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (error != std::errc() || end != s.data() + s.size() || s.empty()) return std::nullopt;
  return value;
}

// A number as the formats write it ("42", "-1.5E-3"), never a locale's; finite only.
inline std::optional<double> ParseNumber(std::string_view s) {
  s = Trim(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  double value = 0;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (error != std::errc() || end != s.data() + s.size() || s.empty() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

inline bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

inline bool EndsWith(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

// The most text one cell holds, in characters as the spreadsheet application counts them
// (UTF-16 code units); a cell's text longer than that is refused, never held whole.
constexpr size_t kMaxCellCharacters = 32767;
// The longest UTF-8 such a text can take (a unit is at most 3 bytes; a pair, 4).
constexpr size_t kMaxCellTextBytes = 3 * kMaxCellCharacters;
// The longest such a text can be as the formats write it, escapes included ("_xHHHH_", seven
// bytes a unit): beyond this, the text is too long whatever it decodes to.
constexpr size_t kMaxCellEscapedBytes = 7 * kMaxCellCharacters;

// The length of UTF-8 text in UTF-16 code units (a byte that is not valid UTF-8 counts one).
inline size_t Utf16Length(std::string_view utf8) {
  size_t units = 0;
  for (unsigned char c : utf8) {
    if ((c & 0xC0) != 0x80) ++units;
    if (c >= 0xF0) ++units;
  }
  return units;
}

// Undoes the format's "_xHHHH_" escapes (UTF-16 code units, pairs joined) in `text` from
// `from` on, in place: the UTF-8 of an escape is never longer than the escape.
void DecodeEscapes(std::string& text, size_t from = 0);

}  // namespace tabrix::formats

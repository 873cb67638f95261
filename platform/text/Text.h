// Small byte-string helpers shared by the platform layers. ASCII rules only: names in the
// registry and in unixODBC's files compare without regard to ASCII case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform::text {

inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// The text in ASCII lower case: the key under which names that compare without regard to
// case are kept.
inline std::string Folded(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) c = AsciiLower(c);
  return folded;
}

inline bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

inline std::string_view TrimView(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

inline std::string Trim(std::string_view s) { return std::string(TrimView(s)); }

// The text with each control byte written as \xNN, fit to echo to people.
inline std::string EscapeControls(std::string_view s) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(s.size());
  for (unsigned char c : s) {
    if (c < 0x20 || c == 0x7F)
      out.append("\\x").append(1, kHex[c >> 4]).append(1, kHex[c & 15]);
    else
      out += static_cast<char>(c);
  }
  return out;
}

inline std::vector<std::string> Split(std::string_view s, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t end = s.find(sep, start);
    parts.emplace_back(s.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

}  // namespace platform::text

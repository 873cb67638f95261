// Character classes and case of ASCII alone. The driver runs inside programs that set a
// locale of their own: under a Turkish one 'i' and 'I' are no pair, and a Latin-1 one takes
// bytes of UTF-8 text for letters and spaces. SQL's words and the formats' syntax are ASCII.
#pragma once

#include <string>

namespace tabrix::formats {

constexpr bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool IsAsciiAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool IsAsciiAlnum(char c) { return IsAsciiDigit(c) || IsAsciiAlpha(c); }
constexpr bool IsAsciiSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

inline void ToAsciiLower(std::string& s) {
  for (char& c : s) c = AsciiLower(c);
}
inline void ToAsciiUpper(std::string& s) {
  for (char& c : s) c = AsciiUpper(c);
}

}  // namespace tabrix::formats

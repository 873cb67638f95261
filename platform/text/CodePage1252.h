// Code page 1252, the ANSI code page of the registry's and the forms' bytes: one table for
// every layer that reads or writes it.
#pragma once

#include <optional>

namespace platform::text {

// The characters of bytes 0x80 to 0x9F; every other byte is the character of its own number.
// The five bytes the code page leaves undefined are taken as the C1 controls of the same
// number, as Windows takes them: every byte has a character and comes back from it.
inline constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr char32_t FromCp1252(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : byte;
}

// The byte of `c`; nullopt for a character the code page lacks.
constexpr std::optional<unsigned char> ToCp1252(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
  for (unsigned i = 0; i < 32; ++i)
    if (kCp1252High[i] == c) return static_cast<unsigned char>(0x80 + i);
  return std::nullopt;
}

}  // namespace platform::text

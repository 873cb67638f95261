// The character sets of registry export files, shared by their reader and writer and by the
// in-memory store's fixtures: code page 1252 (REGEDIT4) and UTF-16LE (Version 5) to and from
// the UTF-8 a RegFile holds.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/registry/RegFile.h"
#include "platform/text/CodePage1252.h"

namespace platform::registry {

inline constexpr std::string_view kVersion5Header = "Windows Registry Editor Version 5.00";
inline constexpr std::string_view kRegedit4Header = "REGEDIT4";

// The REG_* numbers the file's hex(N) spells.
inline constexpr unsigned kRegSz = 1, kRegExpandSz = 2, kRegBinary = 3, kRegDword = 4,
                          kRegMultiSz = 7, kRegQword = 11;

[[noreturn]] void Refuse(size_t line, const std::string& reason);

using text::FromCp1252;
using text::ToCp1252;
// Whole texts in code page 1252 (platform/text/CodePage1252.h): every byte string reads as 1252; UTF-8 text that is not UTF-8 or holds a
// character 1252 lacks gives nullopt.
std::string Cp1252ToUtf8(std::string_view bytes);
std::optional<std::string> Utf8ToCp1252(std::string_view text);

void AppendUtf8(std::string& out, char32_t c);
// The next character of UTF-8 `text` at `pos`, advancing past it; nullopt for bytes that are
// not UTF-8 (overlong forms and surrogates included).
std::optional<char32_t> NextUtf8(std::string_view text, size_t& pos);

// Appends UTF-8 text in the file's encoding: UTF-16LE for Version 5, code page 1252 for
// REGEDIT4. Refuses, naming `line` of the file being written, text that is not UTF-8 or a
// character 1252 lacks.
void EncodeText(std::string_view text, RegFormat format, size_t line, std::string& out);
// String data of a hex(N) value, UTF-16LE or code page 1252 by the file's format, as UTF-8.
std::string DecodeText(std::string_view bytes, RegFormat format, size_t line);

}  // namespace platform::registry

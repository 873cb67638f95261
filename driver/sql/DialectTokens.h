// How the dialect's tokens read: words, the type names CONVERT takes, #date# literals.
#pragma once

#include <string>
#include <string_view>

namespace tabrix::sql {

// The day a time of day alone is kept on, as ODBC has it for a time read as a timestamp.
constexpr const char* kTimeDay = "1899-12-30 ";

bool IsWordChar(char c);
std::string LowerWord(std::string_view s);
// The SQL type names CONVERT takes (lower-cased), told from columns that happen to start so.
bool IsTypeName(const std::string& word);
// #2026-01-31#, #2026-01-31 10:30:00#, #1/31/2026#, #1/31/2026 10:30# (without the #s):
// appended to `out` as 'YYYY-MM-DD HH:MM:SS'; false when the text is no such date.
bool DateLiteral(std::string_view text, std::string& out);

}  // namespace tabrix::sql

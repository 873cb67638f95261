// Which values are passwords, for everything that shows data sources to people.
#pragma once

#include <string>
#include <string_view>

namespace tabrix::cli {

// A keyword whose value is a password (PWD, Password, in any case).
bool IsPasswordKeyword(std::string_view keyword);
// An attribute pair for people: a password's value is never shown.
std::string MaskedPair(const std::string& keyword, const std::string& value);

}  // namespace tabrix::cli

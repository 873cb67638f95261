// The syntax of connection strings, read and written: "KEY=value;KEY={va;lue}".
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tabrix::odbc {

// The pairs of `text` in order. An entry without '=' is refused: false, with `error` saying why.
bool ParseConnectionString(std::string_view text, std::vector<std::pair<std::string, std::string>>& pairs,
                           std::string& error);

// Appends "key=value" to `completed`, the value braced when it holds what would end it.
void AppendConnectionPair(std::string& completed, const std::string& key, const std::string& value);

}  // namespace tabrix::odbc

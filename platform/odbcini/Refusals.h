// What unixODBC refuses: a whole file it reads nothing from, and the names, keywords and
// values a file cannot hold so that unixODBC reads them back as they were written.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform::odbcini {

// Where unixODBC refuses a whole file: the line (1-based, counting the file's own lines)
// and why, worded to follow "line N: ". The reading functions do not check this.
struct Rejection {
  size_t line = 0;
  std::string reason;
  // "FILE:LINE: reason", for messages.
  std::string In(const std::string& file) const {
    return file + ":" + std::to_string(line) + ": " + reason;
  }
};
std::optional<Rejection> FindRejection(std::string_view text);

// Why a name, keyword or value cannot be stored exactly; empty when it can.
std::string CheckSectionName(std::string_view name);
std::string CheckKeyword(std::string_view keyword);
std::string CheckValue(std::string_view keyword, std::string_view value);

}  // namespace platform::odbcini

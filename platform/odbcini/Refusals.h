// What unixODBC refuses: a whole file it reads nothing from, and the names, keywords and
// values a file cannot hold so that unixODBC reads them back as they were written.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Pairs.h"

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

// What a file gives unixODBC: data sources, or drivers.
enum class Holds { DataSources, Drivers };
// Why unixODBC reads nothing from `file`, whose text is `text`: "FILE:LINE: reason; unixODBC
// reads nothing from this file" ("no driver" for a drivers file). Empty when it reads it.
std::string WhyUnread(std::string_view text, const std::string& file,
                      Holds holds = Holds::DataSources);

// Why a name, keyword or value cannot be stored; empty when it can.
// The name is held to the installer's rule for a data source's name (not empty, at most 32
// bytes, no control character, no blank at either end, no leading "#" or ";", none of
// []{}(),;?*=!@\), which is stricter than what a section header could hold (no "]", no
// control character, no blank at either end, within 999 bytes): whatever the client stores,
// the installer could have made. A keyword is what unixODBC reads back beneath the user file
// too (Reader::Append); a value is what the file holds exactly.
std::string CheckSectionName(std::string_view name);
std::string CheckKeyword(std::string_view keyword);
std::string CheckValue(std::string_view keyword, std::string_view value);
// The first refusal of CheckKeyword and CheckValue among the pairs, in their order.
std::string CheckPairs(const Pairs& pairs);
// Why a data source of that name and those pairs cannot be stored: its name (CheckSectionName,
// then the listing's own name, WhyListingName), then its pairs (CheckPairs).
std::string WhyNotStorable(std::string_view name, const Pairs& pairs);

}  // namespace platform::odbcini

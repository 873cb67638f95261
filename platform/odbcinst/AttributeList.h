// The installer's attribute list: keyword=value pairs each ended by a NUL, the list ended
// by one more NUL (an empty pair).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

using AttributePairs = std::vector<std::pair<std::string, std::string>>;

// Reads pairs up to the closing NUL, as the installer does; `consumed` is where the list
// ended (just past the closing NUL). False with the reason for a pair without "=" or a list
// that runs out before its closing NUL.
bool ParseAttributeList(std::string_view list, AttributePairs& pairs, size_t& consumed,
                        std::string& reason);

// Appends one pair and its NUL.
inline void AppendAttribute(std::string& list, std::string_view keyword, std::string_view value) {
  list.append(keyword).append(1, '=').append(value).append(1, '\0');
}

}  // namespace platform

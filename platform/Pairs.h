// The one list of name and value pairs the platform's layers hand each other: the keys of a
// section, the values of a key, the pairs of an attribute list, in their order.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace platform {

using Pairs = std::vector<std::pair<std::string, std::string>>;

}  // namespace platform

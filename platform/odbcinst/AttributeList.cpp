#include "platform/odbcinst/AttributeList.h"

namespace platform {

bool ParseAttributeList(std::string_view list, AttributePairs& pairs, size_t& consumed,
                        std::string& reason) {
  pairs.clear();
  size_t pos = 0;
  for (;;) {
    size_t nul = list.find('\0', pos);
    if (nul == std::string_view::npos) {
      reason = pos == list.size() ? "the attribute list has no closing NUL"
                                  : "the last attribute pair has no terminating NUL";
      return false;
    }
    std::string_view pair = list.substr(pos, nul - pos);
    pos = nul + 1;
    if (pair.empty()) break;
    size_t eq = pair.find('=');
    if (eq == std::string_view::npos) {
      reason = "the attribute pair \"" + std::string(pair) + "\" has no '='";
      return false;
    }
    pairs.emplace_back(pair.substr(0, eq), pair.substr(eq + 1));
  }
  consumed = pos;
  return true;
}

}  // namespace platform

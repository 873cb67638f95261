#include "tools/tabrix/Passwords.h"

namespace tabrix::cli {

std::string MaskedPair(const std::string& keyword, const std::string& value) {
  return keyword + "=" + (IsPasswordKeyword(keyword) && !value.empty() ? "********" : value);
}

}  // namespace tabrix::cli

#include "tools/tabrix/Passwords.h"

#include "platform/text/Text.h"

namespace tabrix::cli {

bool IsPasswordKeyword(std::string_view keyword) {
  return platform::text::EqualsIgnoreCase(keyword, "PWD") ||
         platform::text::EqualsIgnoreCase(keyword, "Password");
}

std::string MaskedPair(const std::string& keyword, const std::string& value) {
  return keyword + "=" + (IsPasswordKeyword(keyword) && !value.empty() ? "********" : value);
}

}  // namespace tabrix::cli

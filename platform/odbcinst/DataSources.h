// The names every data-source store shares, on every OS: the section (or registry key) that
// lists the data sources, and the password keyword.
#pragma once

#include <string>
#include <string_view>

#include "platform/text/Text.h"

namespace platform {

// The section listing the data sources as name = driver description; on Windows, the key
// beside the data sources' own keys.
inline constexpr std::string_view kDataSourcesSection = "ODBC Data Sources";

// Whether `name` is the listing's, in any case: no data source can be called so, since its
// values would be the listing's.
inline bool IsListingName(std::string_view name) {
  return text::EqualsIgnoreCase(name, kDataSourcesSection);
}

// Why `name` cannot be a data source's: it is the listing's; empty when it is not.
inline std::string WhyListingName(std::string_view name) {
  if (!IsListingName(name)) return "";
  return "\"" + std::string(name) +
         "\" is the section that lists the data sources, not a data source";
}

// The keyword a password is written as.
inline constexpr std::string_view kPasswordKeyword = "PWD";

// Whether `keyword` holds a password ("PWD" or "Password", in any case): what is never shown.
inline bool IsPasswordKeyword(std::string_view keyword) {
  return text::EqualsIgnoreCase(keyword, kPasswordKeyword) ||
         text::EqualsIgnoreCase(keyword, "Password");
}

}  // namespace platform

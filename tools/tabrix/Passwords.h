// Which values are passwords, for everything that shows data sources to people.
#pragma once

#include <string>
#include <string_view>

#include "platform/odbcinst/DataSources.h"

namespace tabrix::cli {

// A keyword whose value is a password: the platform's one rule.
using platform::IsPasswordKeyword;
// An attribute pair for people: a password's value is never shown.
std::string MaskedPair(const std::string& keyword, const std::string& value);

}  // namespace tabrix::cli

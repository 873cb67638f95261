#include "tools/tabrix/Rules.h"

#include <functional>
#include <map>

#include "library/TabrixCodeUnit.h"
#include "platform/registry/Registry.h"
#include "platform/text/Text.h"
#include "tools/tabrix/Cli.h"
#include "tools/tabrix/Sources.h"

namespace tabrix::cli::rules {

namespace {

// The drivers' definitions do not change during a run: each answer is worked out once, rather
// than once per data source of a large import or state.
template <typename Answer>
const Answer& Remembered(std::map<std::string, Answer>& answers, const std::string& key,
                         const std::function<Answer()>& work) {
  auto it = answers.find(key);
  if (it == answers.end()) it = answers.emplace(key, work()).first;
  return it->second;
}

std::optional<std::string> FindDesktopDriver(const std::string& value) {
  if (value.empty()) return std::nullopt;
  std::vector<std::string> descriptions;
  for (int32_t code = 1; code <= 6; ++code) {
    std::string fileType;
    descriptions.push_back(TabrixCodeUnit::GetDSNTypeString(code, fileType));
    if (platform::text::EqualsIgnoreCase(value, descriptions.back())) return descriptions.back();
  }
  for (const std::string& description : descriptions) {
    auto definition = platform::CurrentKeyStore().ReadValues(platform::HKEY_LOCAL_MACHINE,
                                                             platform::DriverKey(description));
    if (definition && (platform::KeyStore::Find(*definition, "Driver64") == value ||
                       platform::KeyStore::Find(*definition, "Driver") == value))
      return description;
  }
  return std::nullopt;
}

std::string FindSetupLibrary(const std::string& description) {
#ifdef _WIN32
  // In the registry a data source's values keep their types (numbers, flags, multi-strings,
  // subkeys), which a setup library's ConfigDSN, taking only strings, would lose: there the
  // client writes them itself, as the registry's own import does.
  (void)description;
  return "";
#endif
  auto definition = platform::CurrentKeyStore().ReadValues(platform::HKEY_LOCAL_MACHINE,
                                                           platform::DriverKey(description));
  if (!definition) return "";
  std::string setup = platform::KeyStore::Find(*definition, "Setup64").value_or("");
  return setup.empty() ? platform::KeyStore::Find(*definition, "Setup").value_or("") : setup;
}

}  // namespace

std::optional<std::string> DesktopDriver(const std::string& value) {
  static std::map<std::string, std::optional<std::string>> answers;
  return Remembered<std::optional<std::string>>(answers, value,
                                                [&] { return FindDesktopDriver(value); });
}

std::string WhyNotOurs(const std::string& value) {
  if (DesktopDriver(value)) return "";
  return (value.empty() ? std::string("it names no driver")
                        : "its driver \"" + Shown(value) +
                              "\" is not one of the six desktop drivers") +
         "; tabrix changes only data sources of those drivers";
}

std::string SetupLibrary(const std::string& description) {
  static std::map<std::string, std::string> answers;
  return Remembered<std::string>(answers, description,
                                 [&] { return FindSetupLibrary(description); });
}

void WarnIfPasswordExposed(bool system, const platform::Pairs& pairs) {
  bool password = false;
  for (const auto& [k, v] : pairs)
    password = password || (IsPasswordKeyword(k) && !v.empty());
  if (!password) return;
  const std::string exposed = sources::Store().ReadableByOthers(system);
  if (!exposed.empty())
    Warn("the password is stored in " + exposed + ", which other users can read");
}

}  // namespace tabrix::cli::rules

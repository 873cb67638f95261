// The odbc.ini fragment format of export and import: a unixODBC notion, in the Linux build
// only.
#include <algorithm>
#include <unordered_map>

#include "platform/odbcini/OdbcIni.h"
#include "platform/text/Text.h"
#include "tools/tabrix/Exchange.h"

namespace tabrix::cli::exchange {
namespace {

namespace ini = platform::odbcini;
using platform::text::EqualsIgnoreCase;

std::string Folded(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) c = platform::text::AsciiLower(c);
  return folded;
}

}  // namespace

// As create writes them: the listing first, then each section, Driver first.
std::string ToIni(const std::vector<DataSource>& sources, bool passwords) {
  std::string text;
  ini::KeyValues listing;
  for (const DataSource& s : sources) listing.emplace_back(s.name, s.driver);
  if (!sources.empty())
    ini::WriteSection(text, ini::kDataSourcesSection, listing, ini::Merge::Replace);
  for (const DataSource& s : sources) {
    std::string section = "\n";
    ini::KeyValues keys{{"Driver", s.driver}};
    for (const auto& [k, v] : s.attributes) keys.emplace_back(k, Masked(passwords, k, v));
    ini::WriteSection(section, s.name, keys, ini::Merge::Replace);
    text += section;
  }
  return text;
}

std::vector<Incoming> ParseIni(const std::string& text, const std::string& file) {
  // What unixODBC would cut or misread is refused here rather than imported in pieces.
  size_t line = 1, start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '\n') {
      if (i - start > 999)
        throw Malformed(file + ":" + std::to_string(line) + ": a line longer than 999 bytes");
      ++line;
      start = i + 1;
    } else if (text[i] == '\0') {
      throw Malformed(file + ":" + std::to_string(line) + ": a NUL byte");
    }
  }
  if (auto rejected = ini::FindRejection(text))
    throw Malformed(rejected->In(file) + "; unixODBC reads nothing from this file");
  std::vector<Incoming> result;
  std::unordered_map<std::string, std::string> listed;
  const std::string_view all(text);
  size_t counted = 0;  // lines before `offset`, counted as sections come
  size_t offset = 0;
  ini::ForEachSection(all, [&](const ini::Section& s) {
    counted += static_cast<size_t>(std::count(all.begin() + offset, all.begin() + s.header, '\n'));
    offset = s.header;
    ini::KeyValues keys = ini::ReadKeys(all.substr(s.body, s.end - s.body));
    if (EqualsIgnoreCase(s.name, ini::kDataSourcesSection)) {
      for (auto& [k, v] : keys) listed.emplace(Folded(k), v);
      return true;
    }
    Incoming in;
    in.source.name = s.name;
    in.scopeGiven = false;
    in.where = file + ":" + std::to_string(counted + 1);
    for (auto& [k, v] : keys)
      if (!EqualsIgnoreCase(k, "Driver"))
        in.source.attributes.emplace_back(std::move(k), std::move(v));
      else if (in.driverValue.empty())
        in.driverValue = std::move(v);
    result.push_back(std::move(in));
    return true;
  });
  for (Incoming& in : result)
    if (auto it = listed.find(Folded(in.source.name)); it != listed.end()) in.listed = it->second;
  return result;
}

}  // namespace tabrix::cli::exchange

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

using platform::text::Folded;

// A section's keys, one value per keyword: a keyword given again with the same value is that
// one value; with another value the file contradicts itself (unixODBC would read the first),
// and it is refused naming the line. Lines are no longer than 999 bytes here, so each line is
// one of unixODBC's pieces.
ini::KeyValues KeysOnce(std::string_view all, const ini::Section& s, size_t headerLine,
                        const std::string& file) {
  ini::KeyValues keys;
  std::vector<size_t> lines;
  size_t line = headerLine +
                static_cast<size_t>(std::count(all.begin() + s.header, all.begin() + s.body, '\n'));
  const std::string_view body = all.substr(s.body, s.end - s.body);
  for (size_t at = 0; at < body.size(); ++line) {
    size_t eol = body.find('\n', at);
    if (eol == std::string_view::npos) eol = body.size();
    for (auto& [k, v] : ini::ReadKeys(body.substr(at, eol - at))) {
      auto same = [&](const auto& pair) { return EqualsIgnoreCase(pair.first, k); };
      auto it = std::find_if(keys.begin(), keys.end(), same);
      if (it == keys.end()) {
        keys.emplace_back(std::move(k), std::move(v));
        lines.push_back(line);
      } else if (it->second != v) {
        throw Malformed(file + ":" + std::to_string(line) + ": [" + std::string(s.name) + "]: \"" +
                        k + "\" is given a second value (the first at line " +
                        std::to_string(lines[static_cast<size_t>(it - keys.begin())]) +
                        "); which one is meant?");
      }
    }
    at = eol + 1;
  }
  return keys;
}

}  // namespace

std::string WhyNoIni() { return ""; }

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
      if (i - start > ini::kPieceMax)
        throw Malformed(file + ":" + std::to_string(line) + ": a line longer than " +
                        std::to_string(ini::kPieceMax) + " bytes");
      ++line;
      start = i + 1;
    } else if (text[i] == '\0') {
      throw Malformed(file + ":" + std::to_string(line) + ": a NUL byte");
    }
  }
  if (std::string why = ini::WhyUnread(text, file); !why.empty()) throw Malformed(why);
  std::vector<Incoming> result;
  std::unordered_map<std::string, std::string> listed;
  std::unordered_map<std::string, size_t> sectionLines;  // folded name -> its header's line
  const std::string_view all(text);
  size_t counted = 0;  // lines before `offset`, counted as sections come
  size_t offset = 0;
  auto lineAt = [&](size_t at) {
    counted += static_cast<size_t>(std::count(all.begin() + offset, all.begin() + at, '\n'));
    offset = at;
    return counted + 1;
  };
  ini::ForEachSection(all, [&](const ini::Section& s) {
    const size_t headerLine = lineAt(s.header);
    // unixODBC reads the first section of a name and ignores the rest; which one the file
    // means is not for an import to guess.
    if (auto [first, added] = sectionLines.emplace(Folded(s.name), headerLine); !added)
      throw Malformed(file + ":" + std::to_string(headerLine) + ": the section [" +
                      std::string(s.name) + "] is given again (the first at line " +
                      std::to_string(first->second) + "); which one is meant?");
    ini::KeyValues keys = KeysOnce(all, s, headerLine, file);
    if (platform::IsListingName(s.name)) {
      for (auto& [k, v] : keys) listed.emplace(Folded(k), v);
      return true;
    }
    Incoming in;
    in.source.name = s.name;
    in.scopeGiven = false;
    in.where = file + ":" + std::to_string(headerLine);
    for (auto& [k, v] : keys)
      if (!EqualsIgnoreCase(k, "Driver"))
        in.source.attributes.emplace_back(std::move(k), std::move(v));
      else
        in.driverValue = std::move(v);
    result.push_back(std::move(in));
    return true;
  });
  for (Incoming& in : result)
    if (auto it = listed.find(Folded(in.source.name)); it != listed.end()) in.listed = it->second;
  return result;
}

}  // namespace tabrix::cli::exchange

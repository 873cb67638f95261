// libFuzzer: the INI reader and writer on any text. Whatever the file holds, writing a
// section must read back as written, leave every other section as it was, and never crash.
//
// Input: the file's text, then after a 0xFF byte the section name and its keys, separated
// by 0xFE (name) and 0xFD (between key=value entries).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/odbcini/OdbcIni.h"
#include "platform/text/Text.h"

using namespace platform::odbcini;

namespace {

using Sections = std::vector<std::pair<std::string, KeyValues>>;

Sections AllBut(std::string_view text, const std::string& name) {
  Sections all;
  bool skipped = false;
  ForEachSection(text, [&](const Section& s) {
    if (!skipped && platform::text::EqualsIgnoreCase(s.name, name)) {
      skipped = true;  // the first of that name is the one edits change
      return true;
    }
    all.emplace_back(std::string(s.name), ReadKeys(text.substr(s.body, s.end - s.body)));
    return true;
  });
  return all;
}

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\xFF');
  std::string text = input.substr(0, split);
  ForEachSection(text, [&](const Section& s) {
    Check(s.header <= s.body && s.body <= s.end && s.end <= text.size());
    ReadKeys(std::string_view(text).substr(s.body, s.end - s.body));
    return true;
  });
  if (split == std::string::npos) return 0;

  const std::string edit = input.substr(split + 1);
  const size_t nameEnd = edit.find('\xFE');
  const std::string name = edit.substr(0, nameEnd);
  if (!CheckSectionName(name).empty()) return 0;
  KeyValues keys;
  if (nameEnd != std::string::npos) {
    for (const std::string& entry : platform::text::Split(edit.substr(nameEnd + 1), '\xFD')) {
      const size_t eq = entry.find('=');
      if (eq == std::string::npos) continue;
      std::string k = entry.substr(0, eq), v = entry.substr(eq + 1);
      if (!CheckKeyword(k).empty() || !CheckValue(k, v).empty()) return 0;
      bool repeated = false;
      for (const auto& kv : keys)
        repeated = repeated || platform::text::EqualsIgnoreCase(kv.first, k);
      if (!repeated) keys.emplace_back(k, v);
    }
  }

  const Sections others = AllBut(text, name);
  WriteSection(text, name, keys, Merge::Replace);
  auto written = FindSection(text, name);
  Check(written.has_value());
  Check(ReadKeys(std::string_view(text).substr(written->body, written->end - written->body)) ==
        keys);
  Check(AllBut(text, name) == others);

  std::string updated = text;
  if (!keys.empty()) {
    KeyValues change{{keys.back().first, "changed"}};
    WriteSection(updated, name, change, Merge::Update);
    auto s = FindSection(updated, name);
    Check(FindKey(std::string_view(updated).substr(s->body, s->end - s->body), keys.back().first) ==
          "changed");
    Check(AllBut(updated, name) == others);
  }

  Check(RemoveSection(text, name));
  Check(AllBut(text, name).size() <= others.size());
  return 0;
}

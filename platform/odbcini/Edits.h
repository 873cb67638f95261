// Edits of a file's text in place. They find sections and keys as Reader::Open reads them,
// change only the pieces they must, and keep every other byte. Lines they add or write end
// in LineEnd(text), as the file's lines do.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/odbcini/Dialect.h"

namespace platform::odbcini {

enum class Merge { Replace, Update };
// Writes `keys` into the first section `name`, creating it at the end of the file when
// missing. Replace drops the section's old keys; Update changes keys in place (dropping
// repeats of them) and appends new ones. Comment and blank lines are kept either way.
void WriteSection(std::string& text, std::string_view name, const KeyValues& keys, Merge merge);
// Appends a section at the end, as WriteSection does for a name the text lacks, without
// looking for it: for a caller that knows it is not there.
void AppendSection(std::string& text, std::string_view name, const KeyValues& keys);
// Removes every section of that name, header and key lines, keeping their comments; false
// when there is none.
bool RemoveSection(std::string& text, std::string_view name);
// Sets or removes one key of the first section of that name (created for a set when
// missing). Removing takes every line of the key from that section, the one unixODBC reads;
// later sections of the same name stay as they are.
void SetKey(std::string& text, std::string_view section, std::string_view key,
            std::string_view value);
void RemoveKey(std::string& text, std::string_view section, std::string_view key);

// One change of a text described rather than made: `erase` bytes at `at` give way to
// `insert`. A large file's listing gains or loses a line this way as it is written, instead
// of moving everything after the line in memory.
struct Splice {
  size_t at = 0;
  size_t erase = 0;
  std::string insert;
};
void SpliceInto(std::string& text, const Splice& splice);
// What SetKey and RemoveKey would do, as one splice, when it is a single whole line added or
// removed (or nothing, for RemoveKey of a missing key); nullopt when they must do more.
std::optional<Splice> SetKeySplice(std::string_view text, std::string_view section,
                                   std::string_view key, std::string_view value);
std::optional<Splice> RemoveKeySplice(std::string_view text, std::string_view section,
                                      std::string_view key);

}  // namespace platform::odbcini

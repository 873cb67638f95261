// unixODBC's configuration files: where they are, how they read, and how we change them.
//
// The dialect is unixODBC's: a section runs from "[name]" (the name ends at the first "]")
// to the next section; "key = value" splits at the first "="; names and values are trimmed;
// names compare without regard to case; lines starting with "#" or ";" are comments. The
// editing functions change only the lines they must and keep every other byte.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::odbcini {

// The files, found as unixODBC finds them: the user file is $ODBCINI, else the home
// directory from the password database plus "/.odbc.ini"; the system file is
// $ODBCSYSINI/odbc.ini; the drivers file is $ODBCSYSINI/$ODBCINSTINI ("odbcinst.ini").
std::string UserFile();
std::string SystemFile();
std::string DriversFile();

// The section listing the data sources as name = driver description.
inline constexpr std::string_view kDataSourcesSection = "ODBC Data Sources";

// Byte offsets of one section in a file's text: its header line starts at `header`, its
// body (the lines after the header) runs from `body` to `end`.
struct Section {
  std::string_view name;
  size_t header = 0;
  size_t body = 0;
  size_t end = 0;
};

using KeyValues = std::vector<std::pair<std::string, std::string>>;

// Calls `visit` for each section in file order; stops when it returns false.
void ForEachSection(std::string_view text, const std::function<bool(const Section&)>& visit);
// The first section of that name.
std::optional<Section> FindSection(std::string_view text, std::string_view name);
// The keys of a section's body, in file order, comments skipped.
KeyValues ReadKeys(std::string_view body);
std::optional<std::string> FindKey(std::string_view body, std::string_view key);

// Why a name, keyword or value cannot be stored exactly; empty when it can.
std::string CheckSectionName(std::string_view name);
std::string CheckKeyword(std::string_view keyword);
std::string CheckValue(std::string_view keyword, std::string_view value);

// Edits of a file's text in place.
enum class Merge { Replace, Update };
// Writes `keys` into the section `name`, creating it at the end of the file when missing.
// Replace drops the section's old keys; Update changes keys in place and appends new ones.
// Comment and blank lines are kept either way.
void WriteSection(std::string& text, std::string_view name, const KeyValues& keys, Merge merge);
// Removes the section's header and key lines; false when there is no such section.
bool RemoveSection(std::string& text, std::string_view name);
// Sets or removes one key of a section (the section is created for a set when missing).
void SetKey(std::string& text, std::string_view section, std::string_view key,
            std::string_view value);
void RemoveKey(std::string& text, std::string_view section, std::string_view key);

// Reads a whole file; false when it does not exist. Raises std::system_error otherwise.
bool ReadFile(const std::string& path, std::string& text);

// One locked, atomic rewrite of `path`. Under an exclusive lock on "<file>.lock" it reads
// the file (an empty text when it is missing and `create` is set), lets `edit` change the
// text, and replaces the file by rename from a synced temporary file in the same folder,
// keeping the old file's mode and owner (`newMode` for a new file) and writing through a
// symbolic link to its target. `edit` returns false, with a reason, to leave the file as it
// is. Returns false with the reason when nothing was written.
using Edit = std::function<bool(std::string& text, std::string& reason)>;
bool RewriteFile(const std::string& path, bool create, unsigned newMode, const Edit& edit,
                 std::string& reason);

}  // namespace platform::odbcini

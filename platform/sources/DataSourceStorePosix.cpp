// The data sources in unixODBC's files: odbc.ini for the system's, the user's own file for
// the user's, read as the driver manager reads them and rewritten atomically under the
// file's lock.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include "platform/odbcini/OdbcIni.h"
#include "platform/odbcinst/DataSources.h"
#include "platform/registry/Registry.h"
#include "platform/sources/DataSourceStore.h"
#include "platform/text/Text.h"

namespace platform {
namespace {

namespace ini = odbcini;

std::string FileOf(bool system) { return system ? ini::SystemFile() : ini::UserFile(); }

// The system file is read beneath the user's, as the driver manager finds a data source.
ini::Reader ReaderOf(bool system) { return system ? ini::Reader::Append : ini::Reader::Open; }

// The Failure of a layer below that raises, with its error code where it has one.
Failure FailureOf(const std::exception& e) {
  if (auto* system = dynamic_cast<const std::system_error*>(&e))
    return Failure{system->code().value(), system->what()};
  return Refused(e.what());
}

}  // namespace

namespace {

using text::Folded;

// Whether a section's bytes read the same taken on their own: it starts a line, ends one (or
// the text), and has the text's line end.
bool ReadsAlone(std::string_view text, const ini::Section& s, const std::string& eol) {
  const std::string_view section = text.substr(s.header, s.end - s.header);
  return (s.header == 0 || text[s.header - 1] == '\n') && ini::LineEnd(section) == eol &&
         (s.end == text.size() || section.back() == '\n');
}

// What becomes of one name's sections: the first rewritten with `keys`, or every one removed.
struct Rewrite {
  ini::KeyValues keys;
  ini::Merge merge = ini::Merge::Update;
  bool remove = false;
  bool done = false;
};

// WriteSection and RemoveSection for many names in one pass: each section is changed on its
// own and the text put together once, where one call per name would read the whole text each
// time. A section whose bytes could read otherwise on their own (a header inside a long line,
// another line end than the file's) is changed in the whole text instead.
void RewriteSections(std::string& text, std::unordered_map<std::string, Rewrite>& rewrites) {
  if (rewrites.empty()) return;
  const std::string eol = ini::LineEnd(text);
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  size_t copied = 0;
  std::vector<std::pair<std::string, Rewrite*>> slow;
  ini::ForEachSection(text, [&](const ini::Section& s) {
    auto it = rewrites.find(Folded(s.name));
    if (it == rewrites.end() || it->second.done) return true;
    Rewrite& r = it->second;
    r.done = !r.remove;  // a removal takes every section of the name
    if (!ReadsAlone(text, s, eol)) {
      slow.emplace_back(std::string(s.name), &r);  // a removal there takes every section
      r.done = true;
      return true;
    }
    std::string section = text.substr(s.header, s.end - s.header);
    if (r.remove)
      ini::RemoveSection(section, s.name);
    else
      ini::WriteSection(section, s.name, r.keys, r.merge);
    out.append(text, copied, s.header - copied);
    out += section;
    copied = s.end;
    return true;
  });
  out.append(text, copied, std::string::npos);
  text = std::move(out);
  for (auto& [name, r] : slow)
    if (r->remove)
      ini::RemoveSection(text, name);
    else
      ini::WriteSection(text, name, r->keys, r->merge);
}

// The listing lines of the removed data sources, from the listing alone rather than the whole
// text once per name.
void RemoveListed(std::string& text, const std::vector<SourceEdit>& edits) {
  std::optional<ini::Section> listing = ini::FindSection(text, ini::kDataSourcesSection);
  if (!listing) return;
  const bool alone = ReadsAlone(text, *listing, ini::LineEnd(text));
  std::string section = text.substr(listing->header, listing->end - listing->header);
  std::string& target = alone ? section : text;
  bool removed = false;
  for (const SourceEdit& e : edits)
    if (e.kind == SourceEdit::Kind::Remove) {
      ini::RemoveKey(target, ini::kDataSourcesSection, e.name);
      removed = true;
    }
  if (alone && removed) text.replace(listing->header, listing->end - listing->header, section);
}

// Keeps the first value of each keyword in `keys`, the one unixODBC reads, and answers where
// each later one stands ("FILE:LINE: ..."). The lines are counted only when there is a repeat.
std::vector<std::string> KeepFirst(ini::KeyValues& keys, std::string_view all,
                                   const ini::Section& s, ini::Reader reader,
                                   const std::string& file) {
  std::unordered_set<std::string> seen;
  bool repeated = false;
  for (const auto& pair : keys) repeated = !seen.insert(Folded(pair.first)).second || repeated;
  if (!repeated) return {};
  seen.clear();
  keys.clear();
  std::vector<std::string> ignored;
  size_t line = 1 + static_cast<size_t>(std::count(all.begin(), all.begin() + s.body, '\n'));
  const std::string_view body = all.substr(s.body, s.end - s.body);
  for (size_t at = 0; at < body.size(); ++line) {
    size_t eol = body.find('\n', at);
    if (eol == std::string_view::npos) eol = body.size();
    for (auto& [k, v] : ini::ReadKeys(body.substr(at, eol - at), reader)) {
      if (seen.insert(Folded(k)).second)
        keys.emplace_back(std::move(k), std::move(v));
      else
        ignored.push_back(file + ":" + std::to_string(line) + ": [" + std::string(s.name) +
                          "] gives \"" + k + "\" again, which unixODBC does not read (it reads "
                          "the first)");
    }
    at = eol + 1;
  }
  return ignored;
}


// What a read takes of each data source: everything, or for a listing its Driver alone.
enum class ValuesRead { All, DriverOnly };

// Every section of a text once, and the first of each name read with its values.
StoredSources ReadText(const std::string& text, const std::string& file, ini::Reader reader,
                       ValuesRead values = ValuesRead::All) {
  StoredSources stored;
  const std::string_view all(text);
  std::unordered_set<std::string> seen;
  // Room for as many sections as a file of data sources of usual size holds, so that a large
  // file is not moved and rehashed again and again as it is read.
  const size_t expected = all.size() / 512 + 8;
  seen.reserve(expected);
  stored.sources.reserve(expected);
  ini::ForEachSection(
      all,
      [&](const ini::Section& s) {
        if (s.name.empty()) ++stored.unnamed;
        if (s.name.empty() || !seen.insert(Folded(s.name)).second) return true;
        const std::string_view body = all.substr(s.body, s.end - s.body);
        if (values == ValuesRead::DriverOnly) {
          if (IsListingName(s.name)) return true;
          StoredSource& source =
              stored.sources.emplace_back(StoredSource{std::string(s.name), {}, {}});
          if (auto driver = ini::FindKey(body, "Driver", reader); driver && !driver->empty())
            source.values.emplace_back("Driver", std::move(*driver));
          return true;
        }
        ini::KeyValues keys = ini::ReadKeys(body, reader);
        std::vector<std::string> ignored = KeepFirst(keys, all, s, reader, file);
        if (IsListingName(s.name))
          stored.listing = std::move(keys);
        else
          stored.sources.push_back({std::string(s.name), std::move(keys), std::move(ignored)});
        return true;
      },
      reader);
  return stored;
}

// A name holding a backslash names no data source here, as in the registry, where it would
// name a key deeper down; the key store over these files answers so too. No valid name holds
// one.
bool NamesNoSource(const std::string& name) { return name.find('\\') != std::string::npos; }

// A data source's first section and the listing's, in one pass that ends once both are found.
FoundSource FindIn(std::string_view all, const std::string& name, ini::Reader reader,
                   const std::string& file, std::string& spelling) {
  std::optional<ini::Section> source, listing;
  const bool named = !NamesNoSource(name);
  ini::ForEachSection(
      all,
      [&](const ini::Section& s) {
        if (named && !source && text::EqualsIgnoreCase(s.name, name))
          source = s;
        else if (!listing && IsListingName(s.name))
          listing = s;
        return (named && !source) || !listing;
      },
      reader);
  FoundSource found;
  if (source) {
    spelling = source->name;
    found.values = ini::ReadKeys(all.substr(source->body, source->end - source->body), reader);
    KeepFirst(*found.values, all, *source, reader, file);
  }
  if (listing)
    found.listed =
        ini::FindKey(all.substr(listing->body, listing->end - listing->body), name, reader);
  return found;
}

std::string SectionIn(const std::string& file, const std::string& section) {
  return file + ", section [" + section + "]";
}

// What this thread's last Find found: a message just after it names the section as that read
// spelt it, without reading the file again.
struct LastFound {
  std::string file, asked, spelling;
};
thread_local LastFound lastFound;

// The names of every section of a text, folded.
std::unordered_set<std::string> SectionNames(const std::string& text) {
  std::unordered_set<std::string> present;
  ini::ForEachSection(text, [&](const ini::Section& s) {
    present.insert(Folded(s.name));
    return true;
  });
  return present;
}

// The removals of a change, and the listing as create writes it, in one pass for all its new
// lines. Removals come first, so that what is added follows what is left.
void RemoveAndList(std::string& text, const std::vector<SourceEdit>& edits,
                   std::unordered_set<std::string>& present) {
  std::unordered_map<std::string, Rewrite> removals;
  ini::KeyValues listed;
  for (const SourceEdit& e : edits) {
    if (e.kind == SourceEdit::Kind::Remove) {
      removals[Folded(e.name)].remove = true;
      present.erase(Folded(e.name));
    } else if (e.kind == SourceEdit::Kind::Replace || !e.driver.empty()) {
      listed.emplace_back(e.name, e.driver);
    }
  }
  RewriteSections(text, removals);
  RemoveListed(text, edits);
  if (!listed.empty())
    ini::WriteSection(text, ini::kDataSourcesSection, listed, ini::Merge::Update);
}

// The sections written: existing ones rewritten in one pass, new ones appended.
void WriteSources(std::string& text, const std::vector<SourceEdit>& edits,
                  std::unordered_set<std::string>& present) {
  std::unordered_map<std::string, Rewrite> rewrites;
  for (const SourceEdit& e : edits) {
    if (e.kind == SourceEdit::Kind::Remove) continue;
    ini::KeyValues keys;
    if (!e.driver.empty()) keys.emplace_back("Driver", e.driver);
    keys.insert(keys.end(), e.values.begin(), e.values.end());
    if (present.count(Folded(e.name))) {
      const ini::Merge merge =
          e.kind == SourceEdit::Kind::Replace ? ini::Merge::Replace : ini::Merge::Update;
      rewrites[Folded(e.name)] = Rewrite{std::move(keys), merge};
    } else {
      ini::AppendSection(text, e.name, keys);
      present.insert(Folded(e.name));
    }
  }
  RewriteSections(text, rewrites);
}

class FileDataSources : public DataSourceStore {
 public:
  Result<Lock> LockScope(bool system) override {
    try {
      return Lock(std::make_shared<ini::FileLock>(FileOf(system)));
    } catch (const std::exception& e) {
      return FailureOf(e);
    }
  }

  void SetLockWait(double seconds, std::function<void(const std::string&)> waiting) override {
    ini::SetLockWait({seconds, std::move(waiting)});
  }

  Result<StoredSources> Read(bool system) override { return ReadScope(system, ValuesRead::All); }
  // Only the Driver line of each section is looked for: no other value is parsed or kept.
  Result<StoredSources> List(bool system) override {
    return ReadScope(system, ValuesRead::DriverOnly);
  }

  // Only the one section is parsed, however large the file. The text is shared: under the
  // scope's lock, the installer's own reading and the rewrite after it take it.
  Result<FoundSource> Find(bool system, const std::string& name) override {
    const std::string file = FileOf(system);
    lastFound = {};
    std::string spelling = name;
    FoundSource found;
    try {
      if (const auto text = ini::ReadSharedFile(file)) {
        if (std::string why = ini::WhyUnread(*text, file); !why.empty()) return Refused(why);
        found = FindIn(*text, name, ReaderOf(system), file, spelling);
      }
    } catch (const std::exception& e) {
      return FailureOf(e);
    }
    if (NamesNoSource(name)) {
      found.where = Where(system, name);
      return found;
    }
    lastFound = {file, name, spelling};
    found.where = SectionIn(file, spelling);
    return found;
  }

  // As the key store over the same files names the key, which answers just after its own
  // reading (the library's existence test) from what that read found, as this does after Find.
  std::string Where(bool system, const std::string& name) override {
    if (!name.empty() && lastFound.file == FileOf(system) && lastFound.asked == name)
      return SectionIn(lastFound.file, lastFound.spelling);
    return DefaultKeyStore().Describe(system ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                                      DataSourceKey(name));
  }

  Status Storable(const std::string& name, const Pairs& values) override {
    if (std::string why = ini::WhyNotStorable(name, values); !why.empty()) return Refused(why);
    return {};
  }

  Status Edit(bool system, const std::vector<SourceEdit>& edits) override {
    if (edits.empty()) return {};
    lastFound = {};  // a change may rename what was found
    auto edit = [&](std::string& text, std::string&) {
      std::unordered_set<std::string> present = SectionNames(text);
      RemoveAndList(text, edits, present);
      WriteSources(text, edits, present);
      return true;
    };
    std::string reason;
    try {
      // Files made for the user hold passwords: readable by the user alone.
      if (!ini::RewriteFile(FileOf(system), true, system ? 0644 : 0600, edit, reason))
        return Refused(reason);
    } catch (const std::exception& e) {
      return FailureOf(e);
    }
    return {};
  }

  std::string ReadableByOthers(bool system) override {
    const std::string file = FileOf(system);
    struct stat st {};
    if (stat(file.c_str(), &st) != 0 || (st.st_mode & 044) == 0) return "";
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return file + " (mode " + mode + ")";
  }

 private:
  static Result<StoredSources> ReadScope(bool system, ValuesRead values) {
    const std::string file = FileOf(system);
    try {
      std::string text;
      if (!ini::ReadFile(file, text)) return StoredSources{};
      if (std::string why = ini::WhyUnread(text, file); !why.empty()) return Refused(why);
      return ReadText(text, file, ReaderOf(system), values);
    } catch (const std::exception& e) {
      return FailureOf(e);
    }
  }
};

}  // namespace

DataSourceStore& DefaultDataSourceStore() {
  static FileDataSources store;
  return store;
}

}  // namespace platform

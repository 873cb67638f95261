// The registry on Linux: the ODBC subtree mapped onto unixODBC's configuration files.
//
//   local machine \Software\ODBC\ODBCINST.INI\<driver>  the drivers file, section [driver]
//   local machine \Software\ODBC\ODBC.INI\<name>        the system odbc.ini, section [name]
//   current user  \Software\ODBC\ODBC.INI\<name>        the user's odbc.ini, section [name]
//   the prefix itself (empty name)                      the file itself, where it exists
//
// Every other key does not exist.
#include <unistd.h>

#include <system_error>
#include <unordered_set>

#include "platform/Failure.h"
#include "platform/odbcini/OdbcIni.h"
#include "platform/registry/Registry.h"
#include "platform/text/Text.h"

namespace platform {
namespace {

namespace ini = odbcini;

struct Location {
  std::string file;
  std::string section;  // empty: the file itself
  // The system odbc.ini is read beneath the user's file, as the driver manager finds a data
  // source; the other files on their own.
  ini::Reader reader = ini::Reader::Open;
  // The drivers: the drivers file, with the user's ~/.odbcinst.ini read beneath it.
  bool drivers = false;
};

// Strips `prefix` and one backslash from the start of `path`; the rest is the name.
std::optional<std::string> After(std::string_view path, std::string_view prefix) {
  if (path.size() < prefix.size() || !text::EqualsIgnoreCase(path.substr(0, prefix.size()), prefix))
    return std::nullopt;
  path.remove_prefix(prefix.size());
  if (path.empty()) return std::string();
  if (path[0] != '\\') return std::nullopt;
  path.remove_prefix(1);
  if (path.find('\\') != std::string_view::npos) return std::nullopt;  // a deeper key
  return std::string(path);
}

using text::Folded;

std::optional<Location> Locate(HKEY root, std::string_view path) {
  if (!path.empty() && path[0] == '\\') path.remove_prefix(1);
  if (root == HKEY_LOCAL_MACHINE) {
    if (auto name = After(path, "Software\\ODBC\\ODBCINST.INI"))
      return Location{ini::DriversFile(), *name, ini::Reader::Open, true};
    if (auto name = After(path, "Software\\ODBC\\ODBC.INI"))
      return Location{ini::SystemFile(), *name, ini::Reader::Append};
  } else if (root == HKEY_CURRENT_USER) {
    if (auto name = After(path, "Software\\ODBC\\ODBC.INI"))
      return Location{ini::UserFile(), *name};
  }
  return std::nullopt;
}

// Writable as the key's file: in place by this caller, and replaceable in its folder.
bool Writable(const std::string& file) {
  std::string dir = file.substr(0, file.rfind('/') + 1);
  return ini::WhyNotWritable(file).empty() && access(dir.empty() ? "." : dir.c_str(), W_OK) == 0;
}

// The store's interface answers what it met with the registry layer's exception.
[[noreturn]] void Raise(const Failure& failure) { throw ERegistryException(failure.reason); }

// The text `read` gives (null: the file does not exist), checked as unixODBC would use it:
// a Failure when the file cannot be read, or unixODBC would read nothing from it (`holds`
// says what it would not read).
template <typename ReadFn>
Result<const std::string*> ReadChecked(ReadFn read, const std::string& file, ini::Holds holds) {
  const std::string* text = nullptr;
  try {
    text = read(file);
  } catch (const std::system_error& e) {
    return Failure{e.code().value(), e.what()};
  }
  if (!text) return text;
  if (std::string why = ini::WhyUnread(*text, file, holds); !why.empty()) return Refused(why);
  return text;
}

// A file read whole into `text`, for ReadChecked.
auto Into(std::string& text, bool (*read)(const std::string&, std::string&)) {
  return [&text, read](const std::string& file) { return read(file, text) ? &text : nullptr; };
}

// The data sources' file; null when it does not exist. Shared: a change under the caller's
// lock takes this text rather than reading the file again.
std::shared_ptr<const std::string> ReadUsable(const std::string& file) {
  std::shared_ptr<const std::string> shared;
  auto read = ReadChecked(
      [&](const std::string& f) {
        shared = ini::ReadSharedFile(f);
        return shared.get();
      },
      file, ini::Holds::DataSources);
  if (!read) Raise(read.failure());
  return shared;
}

// The user's drivers file as unixODBC appends it: a file it cannot read, or refuses, adds
// nothing.
std::string UserDrivers() {
  std::string text;
  auto read = ReadChecked(Into(text, ini::ReadFile), ini::UserDriversFile(), ini::Holds::Drivers);
  return read.ok() && *read ? text : std::string();
}

// The drivers file's text as unixODBC reads it (a folder named by an empty $ODBCINSTINI reads
// as empty); false when it does not exist.
bool ReadUsableDrivers(const std::string& file, std::string& text) {
  auto read = ReadChecked(Into(text, ini::ReadDriversFile), file, ini::Holds::Drivers);
  if (!read) Raise(read.failure());
  return *read != nullptr;
}

class SectionKey : public StoreKey {
 public:
  SectionKey(Location where, ini::KeyValues values, bool writable)
      : where_(std::move(where)), values_(std::move(values)), writable_(writable) {}

  std::optional<std::string> ReadString(const std::string& name) override {
    return KeyStore::Find(values_, name);
  }

  void WriteString(const std::string& name, const std::string& value) override {
    std::string reason;
    if (where_.section.empty())
      reason = where_.file + " itself holds no values, only its sections do";
    else if (IsListingName(where_.section))
      reason = "[" + where_.section + "] lists the data sources; it is not one of them";
    else if (!writable_)
      reason = "the key is open for reading only";
    else if (reason = ini::CheckKeyword(name); reason.empty())
      reason = ini::CheckValue(name, value);
    if (!reason.empty())
      throw ERegistryException("Failed to set data for '" + name + "': " + reason);

    const std::string& section = where_.section;
    bool ok = ini::RewriteFile(
        where_.file, false, 0600,
        [&](std::string& text, std::string& why) {
          if (!ini::FindSection(text, section)) {
            why = "[" + section + "] no longer exists in " + where_.file;
            return false;
          }
          ini::SetKey(text, section, Spelling(name), value);
          return true;
        },
        reason);
    if (!ok) throw ERegistryException("Failed to set data for '" + name + "': " + reason);
    for (auto& [k, v] : values_)
      if (text::EqualsIgnoreCase(k, name)) return void(v = value);
    values_.emplace_back(name, value);
  }

  // A value keeps the spelling of its name that the section has, as a registry value does.
  std::string Spelling(const std::string& name) const {
    for (const auto& [k, v] : values_)
      if (text::EqualsIgnoreCase(k, name)) return k;
    return name;
  }

  // Every write above is already synced to disk.
  void Flush() override {}

 private:
  Location where_;
  ini::KeyValues values_;
  bool writable_;
};

class UnixOdbcStore : public KeyStore {
 public:
  // A key that cannot be read does not open, as in the registry; ReadValues tells why.
  std::unique_ptr<StoreKey> Open(HKEY root, const std::string& path, Access access) override {
    std::optional<Location> where = Locate(root, path);
    if (!where) return nullptr;
    std::optional<Values> values;
    try {
      values = ReadValues(*where);
    } catch (const ERegistryException&) {
      return nullptr;
    }
    if (!values) return nullptr;
    bool writable = access == Access::ReadWrite;
    if (writable && !Writable(where->file)) return nullptr;
    return std::make_unique<SectionKey>(std::move(*where), std::move(*values), writable);
  }

  std::optional<Values> ReadValues(HKEY root, const std::string& path) override {
    std::optional<Location> where = Locate(root, path);
    if (!where) return std::nullopt;
    return ReadValues(*where);
  }

  std::string Describe(HKEY root, const std::string& path) override {
    std::optional<Location> where = Locate(root, path);
    if (!where) return "no such key";
    if (where->section.empty()) return where->file;
    // The section as the file spells it, where it has one: names compare without regard to
    // case, and a message names what is there. A message just after a read names what that
    // read found, without reading the file again.
    std::string section = where->section, text;
    if (!where->drivers && lastSpelling.file == where->file && lastSpelling.asked == section)
      return where->file + ", section [" + lastSpelling.found + "]";
    try {
      if ((where->drivers ? ini::ReadDriversFile(where->file, text)
                          : ini::ReadFile(where->file, text)) &&
          !ini::FindRejection(text))
        if (auto s = ini::FindSection(text, section, where->reader)) section = s->name;
    } catch (const std::system_error&) {
      // The requested spelling, then; the reading is told where it matters.
    }
    return where->file + ", section [" + section + "]";
  }

  // Only a file has subkeys: its sections.
  std::optional<SubKeyValues> ReadSubKeys(HKEY root, const std::string& path,
                                          const std::string& valueName) override {
    std::optional<Location> where = Locate(root, path);
    if (!where) return std::nullopt;
    std::string text;
    if (where->drivers) {
      const bool exists = ReadUsableDrivers(where->file, text);
      const std::string user = UserDrivers();
      if (!exists && user.empty()) return std::nullopt;
      SubKeyValues result;
      std::unordered_set<std::string> seen;
      auto collect = [&](std::string_view all, ini::Reader reader) {
        ini::ForEachSection(
            all,
            [&](const ini::Section& s) {
              if (!seen.insert(Folded(s.name)).second) return true;
              auto value = ini::FindKey(all.substr(s.body, s.end - s.body), valueName, reader);
              if (where->section.empty() || text::EqualsIgnoreCase(s.name, where->section))
                result.emplace_back(std::string(s.name), value.value_or(""));
              return true;
            },
            reader);
      };
      collect(text, ini::Reader::Open);
      collect(user, ini::Reader::Append);
      if (!where->section.empty()) {
        if (result.empty()) return std::nullopt;
        result.clear();
      }
      return result;
    }
    const auto usable = ReadUsable(where->file);
    if (!usable) return std::nullopt;
    const std::string_view all = *usable;
    SubKeyValues result;
    if (!where->section.empty()) {
      if (!ini::FindSection(all, where->section, where->reader)) return std::nullopt;
      return result;
    }
    ini::ForEachSection(
        all,
        [&](const ini::Section& s) {
          auto value = ini::FindKey(all.substr(s.body, s.end - s.body), valueName, where->reader);
          result.emplace_back(std::string(s.name), value.value_or(""));
          return true;
        },
        where->reader);
    return result;
  }

 private:
  // The first section of the name is the one unixODBC reads.
  static std::optional<Values> ReadValues(const Location& where) {
    std::string text;
    if (where.drivers) {
      const bool exists = ReadUsableDrivers(where.file, text);
      if (where.section.empty()) return exists ? std::optional<Values>(Values()) : std::nullopt;
      if (auto s = ini::FindSection(text, where.section))
        return ini::ReadKeys(std::string_view(text).substr(s->body, s->end - s->body));
      const std::string user = UserDrivers();
      if (auto s = ini::FindSection(user, where.section, ini::Reader::Append))
        return ini::ReadKeys(std::string_view(user).substr(s->body, s->end - s->body),
                             ini::Reader::Append);
      return std::nullopt;
    }
    lastSpelling = {};
    const auto usable = ReadUsable(where.file);
    if (!usable) return std::nullopt;
    if (where.section.empty()) return Values();
    const std::string_view all = *usable;
    std::optional<ini::Section> s = ini::FindSection(all, where.section, where.reader);
    lastSpelling = {where.file, where.section, s ? std::string(s->name) : where.section};
    if (!s) return std::nullopt;
    return ini::ReadKeys(all.substr(s->body, s->end - s->body), where.reader);
  }

  // What this thread's last read of a data source found: the section as its file spells it.
  struct Spelling {
    std::string file, asked, found;
  };
  static thread_local Spelling lastSpelling;
};

thread_local UnixOdbcStore::Spelling UnixOdbcStore::lastSpelling;

}  // namespace

KeyStore& DefaultKeyStore() {
  static UnixOdbcStore store;
  return store;
}

}  // namespace platform

// export and import: data sources out of the files (or the registry) and into them, as JSON,
// a Windows registry file or an odbc.ini fragment.
#include <cstdint>
#include <iostream>
#include <unordered_map>
#include <unordered_set>

#include "platform/odbcinst/AttributeList.h"
#include "platform/odbcinst/Installer.h"
#include "platform/registry/Registry.h"
#include "platform/text/Text.h"
#include "tools/tabrix/Exchange.h"
#include "tools/tabrix/Rules.h"

namespace tabrix::cli {
namespace {

using namespace exchange;
using platform::text::EqualsIgnoreCase;

using platform::text::Folded;

// The file or key holding one scope's data sources, for messages.
std::string WhereScope(bool system) {
  return Shown(platform::CurrentKeyStore().Describe(
                   system ? platform::HKEY_LOCAL_MACHINE : platform::HKEY_CURRENT_USER,
                   platform::DataSourceKey()),
               kLongText);
}

std::vector<bool> Systems(const Scope& scope) {
  if (scope.Both()) return {false, true};
  return {scope.system};
}

// --map-path FROM=TO: a Windows path prefix and what stands for it here.
struct PathMap {
  std::string from, to;
  std::string given;  // as the option gave it
  size_t used = 0;
};

std::string TrimSeparators(std::string path) {
  while (path.size() > 1 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
}

// The longest prefix given wins; it must end where a path component ends, and the rest takes
// the target's separators. The map used is counted in `used`.
std::string MapPath(const std::string& value, std::vector<PathMap>& maps) {
  PathMap* best = nullptr;
  for (PathMap& m : maps) {
    const size_t n = m.from.size();
    if (value.size() < n || !EqualsIgnoreCase(std::string_view(value).substr(0, n), m.from))
      continue;
    const bool boundary = value.size() == n || value[n] == '\\' || value[n] == '/' ||
                          m.from.back() == '\\' || m.from.back() == '/';
    if (boundary && (!best || n > best->from.size())) best = &m;
  }
  if (!best) return value;
  ++best->used;
  std::string rest = value.substr(best->from.size());
  const bool backslashes =
      best->to.find('\\') != std::string::npos && best->to.find('/') == std::string::npos;
  for (char& c : rest)
    if (c == '\\' || c == '/') c = backslashes ? '\\' : '/';
  std::string to = best->to;
  if (!rest.empty() && (to.back() == '\\' || to.back() == '/')) to.pop_back();
  if (!rest.empty() && rest[0] != '\\' && rest[0] != '/')
    rest.insert(0, 1, backslashes ? '\\' : '/');
  return to + rest;
}

#ifdef _WIN32
const char* const kNoIni =
    "odbc.ini fragments are for unixODBC's files; the Windows build keeps data sources in the "
    "registry and exports them as JSON or a registry file";
#endif

bool IsPathKeyword(std::string_view keyword) {
  return EqualsIgnoreCase(keyword, "DBQ") || EqualsIgnoreCase(keyword, "DefaultDir") ||
         EqualsIgnoreCase(keyword, "SystemDB");
}

}  // namespace

Runner AddExport(CLI::App& app) {
  struct Args {
    Common common;
    Scope scope;
    std::vector<std::string> names;
    std::string format = "json";
    std::string output;
    bool passwords = false;
  };
  auto args = std::make_shared<Args>();
  CLI::App* verb = app.add_subcommand(
      "export", "Write data sources with every value: JSON, a Windows registry file or odbc.ini");
  verb->add_option("NAME", args->names, "Only these data sources (default: every one)");
  AddScope(*verb, args->scope);
  verb->add_option("--format", args->format,
                   "json (the default), reg (as Windows' reg export writes one) or ini (an "
                   "odbc.ini fragment of one scope)")
      ->check(CLI::IsMember({"json", "reg", "ini"}));
  verb->add_option("-o,--output", args->output,
                   "Write to FILE (a temporary file renamed into place) instead of standard "
                   "output");
  verb->add_flag("--include-passwords", args->passwords,
                 "Write passwords as stored, not as ********; a FILE of -o is then readable by "
                 "its owner alone");
  AddCommon(*verb, args->common, false);
  verb->footer("Example: tabrix export --user --format reg -o sources.reg");
  return [args] {
    host::UseConfigDir(args->common.configDir);
#ifdef _WIN32
    if (args->format == "ini") return Usage(std::string("--format ini: ") + kNoIni);
#endif
    if (args->format == "ini" && args->scope.Both())
      return Usage("--format ini writes one scope's odbc.ini: give --user or --system");
    for (const std::string& name : args->names)
      if (std::string why = WhyNotAName(name); !why.empty()) return Usage(why);
    std::optional<Drivers> drivers;
    try {
      drivers = Drivers::Read();
    } catch (const std::exception& e) {
      return Fail(std::string("cannot read the drivers: ") + e.what());
    }
    std::vector<DataSource> sources;
    std::unordered_set<std::string> found;
    for (bool system : Systems(args->scope)) {
      host::StoredSources stored;
      try {
        stored = host::ReadDataSources(system);
      } catch (const std::exception& e) {
        // Never an export that looks complete and is not.
        return Fail(std::string("cannot export the ") + ScopeName(system) +
                    " data sources: " + e.what());
      }
      for (const host::StoredSource& s : stored.sources) {
        if (!args->names.empty()) {
          bool wanted = false;
          for (const std::string& name : args->names)
            wanted = wanted || EqualsIgnoreCase(name, s.name);
          if (!wanted) continue;
          found.insert(Folded(s.name));
        }
        // What unixODBC reads is what goes out, so that the export says what the data source
        // is; the lines it never reads are named, since a round trip drops them.
        for (const std::string& line : s.ignored) Warn(line + "; exported without it");
        sources.push_back({s.name, system, DriverOf(stored, s, *drivers), WithoutDriver(s.values)});
      }
    }
    bool missing = false;
    for (const std::string& name : args->names)
      if (!found.count(Folded(name))) {
        missing = true;
        Fail("\"" + name + "\" is not a data source here (" +
             (args->scope.Both() ? WhereScope(false) + ", " + WhereScope(true)
                                 : WhereScope(args->scope.system)) +
             ")");
      }
    if (missing) return kFailed;

    std::string text;
    try {
      if (args->format == "reg")
        text = ToReg(sources, args->passwords, *drivers);
      else if (args->format == "json")
        text = ToJson(sources, args->passwords);
#ifndef _WIN32
      else
        text = ToIni(sources, args->passwords);
#endif
      if (args->output.empty())
        host::WriteStandardOutput(text);
      else
        host::WriteOutputFile(args->output, text, args->passwords);
    } catch (const std::exception& e) {
      return Fail(std::string("cannot export: ") + e.what());
    }
    return kOk;
  };
}

Runner AddImport(CLI::App& app) {
  struct Args {
    Common common;
    Scope scope;
    std::string file;
    bool dryRun = false;
    double wait = 30;
    std::vector<std::string> maps;
  };
  auto args = std::make_shared<Args>();
  CLI::App* verb = app.add_subcommand(
      "import",
      "Add data sources from an export: JSON, odbc.ini, or a Windows registry file of ODBC.INI");
  verb->add_option("FILE", args->file, "The file export wrote, or a Windows reg export")
      ->required();
  auto* user = verb->add_flag("--user", args->scope.user,
                              "Into the user data sources, whatever the file says");
  auto* system = verb->add_flag("--system", args->scope.system,
                                "Into the system data sources, whatever the file says");
  user->excludes(system);
  verb->add_option("--map-path", args->maps,
                   "FROM=TO: a path prefix in DBQ, DefaultDir and SystemDB to rewrite, "
                   "regardless of case; the rest takes TO's separators (repeatable)");
  verb->add_flag("--dry-run", args->dryRun, "Show what would be written; change nothing");
  AddWait(*verb, args->wait);
  AddCommon(*verb, args->common, false);
  verb->footer(
      "Data sources the file gives no scope (an odbc.ini fragment) go into the system ones "
      "unless --user is given; a data source that exists already is replaced; a password "
      "exported as ******** keeps the stored one.\n"
      "Example: tabrix import old-server.reg --map-path 'C:\\Data=/srv/data'");
  return [args] {
    host::UseConfigDir(args->common.configDir);
    host::UseLockWait(args->wait);
    std::vector<PathMap> maps;
    for (const std::string& map : args->maps) {
      const size_t eq = map.find('=');
      if (eq == std::string::npos || eq == 0 || eq + 1 == map.size())
        return Usage("--map-path needs FROM=TO, not \"" + map + "\"");
      maps.push_back(
          {TrimSeparators(map.substr(0, eq)), TrimSeparators(map.substr(eq + 1)), map, 0});
    }
    std::vector<Incoming> incoming;
    std::optional<Drivers> drivers;
    try {
      const std::string bytes = host::ReadWholeFile(args->file);
      try {
        switch (Detect(bytes)) {
          case Format::Reg:
            incoming = ParseReg(bytes, args->file);
            break;
          case Format::Json:
            incoming = ParseJson(bytes, args->file, false);
            break;
          case Format::Ini:
#ifdef _WIN32
            return Usage(args->file + " is neither JSON nor a registry file; " + kNoIni);
#else
            incoming = ParseIni(bytes, args->file);
            break;
#endif
        }
      } catch (const Malformed& e) {
        return Usage(std::string(e.what()) + "; nothing imported");
      }
      drivers = Drivers::Read();
    } catch (const std::exception& e) {
      return Fail(std::string("cannot import: ") + e.what());
    }

    bool failed = false;
    std::vector<host::SourceEdit> edits[2];  // user, system
    std::unordered_set<std::string> seen[2];
    for (Incoming& in : incoming) {
      DataSource& s = in.source;
      const bool sys = args->scope.user     ? false
                       : args->scope.system ? true
                       : in.scopeGiven      ? s.system
                                            : true;
      const std::string lead = in.where + ": data source \"" + s.name + "\": ";
      std::optional<std::string> driver;
      if (!in.listed.empty()) driver = drivers->Find(in.listed);
      if (!driver) driver = drivers->Find(in.driverValue);
      if (!driver) {
        failed = true;
        Fail(lead + "its driver \"" + in.driverValue + "\"" +
             (in.listed.empty() ? "" : " (listed as \"" + in.listed + "\")") +
             " is not a driver defined in " + Drivers::Where() + "; skipped");
        continue;
      }
      if (!rules::DesktopDriver(*driver)) {
        failed = true;
        Fail(lead + "its driver \"" + *driver +
             "\" is not one of the six desktop drivers; tabrix changes only data sources of "
             "those drivers; skipped");
        continue;
      }
      for (auto& [k, v] : s.attributes)
        if (IsPathKeyword(k)) v = MapPath(v, maps);
      if (std::string why = WhyNotWritable(s.name, s.attributes); !why.empty()) {
        failed = true;
        Fail(lead + why + "; skipped");
        continue;
      }
      if (!seen[sys].insert(Folded(s.name)).second) {
        failed = true;
        Fail(lead + "given twice; the first is imported");
        continue;
      }
      edits[sys].push_back({host::SourceEdit::Kind::Replace, s.name, *driver, s.attributes});
    }

    // A map that rewrote nothing is most likely mistyped: the paths went in as they were.
    for (const PathMap& m : maps)
      if (m.used == 0)
        Warn("--map-path " + m.given +
             " matched no DBQ, DefaultDir or SystemDB path; "
             "nothing was rewritten by it");
    for (bool sys : {false, true}) {
      if (edits[sys].empty()) continue;
      const std::string where = WhereScope(sys);
      try {
        std::shared_ptr<void> lock;
        if (!args->dryRun) lock = host::LockDataSources(sys);
        const host::StoredSources stored = host::ReadDataSources(sys);
        std::unordered_map<std::string, const host::StoredSource*> existing;
        for (const host::StoredSource& s : stored.sources) existing.emplace(Folded(s.name), &s);
        std::vector<std::string> lines;
        std::vector<host::SourceEdit> own, delegated;  // written here; sent to a setup library
        std::vector<size_t> delegatedAt;               // each line's place in delegated
        for (host::SourceEdit& e : edits[sys]) {
          auto old = existing.find(Folded(e.name));
          // What another driver's data source holds is not tabrix's to replace.
          if (old != existing.end()) {
            std::string value =
                platform::KeyStore::Find(old->second->values, "Driver")
                    .value_or(platform::KeyStore::Find(stored.listing, e.name).value_or(""));
            if (std::string why = rules::WhyNotOurs(value); !why.empty()) {
              failed = true;
              Fail("data source \"" + e.name + "\" (" + ScopeName(sys) + "): " + why + "; skipped");
              continue;
            }
          }
          // A password exported masked is not known here: the stored one stays, if any.
          for (auto& [k, v] : e.values) {
            if (!IsPasswordKeyword(k) || v != kMasked) continue;
            std::optional<std::string> kept;
            if (old != existing.end()) kept = platform::KeyStore::Find(old->second->values, k);
            if (!kept)
              Warn("data source \"" + e.name + "\": " + k +
                   " was exported masked and is written empty; set it with tabrix configure");
            v = kept.value_or("");
          }
          const bool replaced = old != existing.end();
          std::string line = Shown(e.name, 200) + " (" + ScopeName(sys) + "): " +
                             (args->dryRun ? (replaced ? "would replace" : "would create")
                                           : (replaced ? "replaced" : "created"));
          if (args->dryRun) {
            line += " in " + where + "\n  Driver=" + Shown(e.driver, 200);
            for (const auto& [k, v] : e.values) line += "\n  " + Shown(MaskedPair(k, v), 200);
          }
          lines.push_back(std::move(line));
          const bool decides = !rules::SetupLibrary(e.driver).empty();
          delegatedAt.push_back(decides ? delegated.size() : SIZE_MAX);
          (decides ? delegated : own).push_back(std::move(e));
        }
        host::Pairs written;
        if (!args->dryRun) {
          host::EditDataSources(sys, own);
          for (const host::SourceEdit& e : own)
            written.insert(written.end(), e.values.begin(), e.values.end());
        }
        // A driver with a setup library decides what its data sources hold, as for create.
        std::vector<bool> sent(delegated.size(), true);
        for (size_t d = 0; d < delegated.size() && !args->dryRun; ++d) {
          const host::SourceEdit& e = delegated[d];
          std::string list;
          platform::AppendAttribute(list, "DSN", e.name);
          for (const auto& [k, v] : e.values) platform::AppendAttribute(list, k, v);
          list += '\0';
          sent[d] = platform::SQLConfigDataSource(
              nullptr, sys ? platform::ODBC_ADD_SYS_DSN : platform::ODBC_ADD_DSN, e.driver, list);
          if (sent[d]) {
            written.insert(written.end(), e.values.begin(), e.values.end());
          } else {
            failed = true;
            Fail("data source \"" + e.name + "\" (" + ScopeName(sys) +
                 "): the driver's setup library refused it: " + platform::InstallerError());
          }
        }
        for (size_t l = 0; l < lines.size(); ++l)
          if (delegatedAt[l] == SIZE_MAX || sent[delegatedAt[l]]) {
            if (!args->dryRun) NoteChange("import: " + lines[l]);
            std::cout << lines[l] << '\n';
          }
        rules::WarnIfPasswordExposed(sys, written);
      } catch (const std::exception& e) {
        failed = true;
        Fail(std::string("cannot import into the ") + ScopeName(sys) + " data sources (" + where +
             "): " + e.what() + "; none of them written");
      }
    }
    return failed ? kFailed : kOk;
  };
}

}  // namespace tabrix::cli

// import: data sources into the files (or the registry) from JSON, an odbc.ini fragment or
// a Windows registry file of ODBC.INI.
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
#include "tools/tabrix/Sources.h"

namespace tabrix::cli {
namespace {

using namespace exchange;
using platform::text::EqualsIgnoreCase;
using platform::text::Folded;

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

bool IsPathKeyword(std::string_view keyword) {
  return EqualsIgnoreCase(keyword, "DBQ") || EqualsIgnoreCase(keyword, "DefaultDir") ||
         EqualsIgnoreCase(keyword, "SystemDB");
}

// import -----------------------------------------------------------------------------------

struct ImportArgs {
  Common common;
  Scope scope;
  std::string file;
  bool dryRun = false;
  double wait = 30;
  std::vector<std::string> maps;
};

// What import does with one data source.
enum class Import { Create, Replace };

// One scope's data sources to write, each with its line of the report.
struct ImportWork {
  std::vector<platform::SourceEdit> own, delegated;  // written here; sent to a setup library
  std::vector<std::string> lines;
  std::vector<size_t> delegatedAt;  // each line's place in delegated, or SIZE_MAX
};

std::optional<int> ParseMaps(const ImportArgs& args, std::vector<PathMap>& maps) {
  for (const std::string& map : args.maps) {
    const size_t eq = map.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == map.size())
      return Usage("--map-path needs FROM=TO, not \"" + map + "\"");
    maps.push_back({TrimSeparators(map.substr(0, eq)), TrimSeparators(map.substr(eq + 1)), map, 0});
  }
  return std::nullopt;
}

// The file's data sources and the drivers; the exit code when either cannot be had.
std::optional<int> ReadImport(const ImportArgs& args, std::vector<Incoming>& incoming,
                              std::optional<Drivers>& drivers) {
  try {
    const std::string bytes = os::ReadWholeFile(args.file);
    try {
      const Format format = Detect(bytes);
      if (format == Format::Ini)
        if (std::string why = WhyNoIni(); !why.empty())
          return Usage(args.file + " is neither JSON nor a registry file; " + why);
      incoming = format == Format::Reg    ? ParseReg(bytes, args.file)
                 : format == Format::Json ? ParseJson(bytes, args.file, false)
                                          : ParseIni(bytes, args.file);
    } catch (const Malformed& e) {
      return Usage(std::string(e.what()) + "; nothing imported");
    }
    drivers = Drivers::Read();
  } catch (const std::exception& e) {
    return Fail(std::string("cannot import: ") + e.what());
  }
  return std::nullopt;
}

class Importer {
 public:
  Importer(const ImportArgs& args, Drivers drivers, std::vector<PathMap> maps)
      : args_(args), drivers_(std::move(drivers)), maps_(std::move(maps)) {}

  // Each data source of the file into its scope's edits, or refused with the reason.
  void Plan(std::vector<Incoming>& incoming);
  void WarnUnusedMaps() const;
  void ImportScope(bool sys);
  int Exit() const { return failed_ ? kFailed : kOk; }

 private:
  bool ScopeOf(const Incoming& in) const {
    return args_.scope.user ? false : args_.scope.system ? true : in.scopeGiven ? in.source.system
                                                                                 : true;
  }
  std::string WhyNot(Incoming& in, std::optional<std::string>& driver);
  bool Prepare(bool sys, platform::SourceEdit& e, const platform::StoredSources& stored,
               const platform::StoredSource* old, ImportWork& work);
  void Write(bool sys, ImportWork& work);

  const ImportArgs& args_;
  Drivers drivers_;
  std::vector<PathMap> maps_;
  std::vector<platform::SourceEdit> edits_[2];  // user, system
  bool failed_ = false;
};

// The driver of one data source of the file, its paths mapped; else why it is skipped.
std::string Importer::WhyNot(Incoming& in, std::optional<std::string>& driver) {
  DataSource& s = in.source;
  if (!in.listed.empty()) driver = drivers_.Find(in.listed);
  if (!driver) driver = drivers_.Find(in.driverValue);
  if (!driver)
    return "its driver \"" + in.driverValue + "\"" +
           (in.listed.empty() ? "" : " (listed as \"" + in.listed + "\")") +
           " is not a driver defined in " + Drivers::Where();
  if (!rules::DesktopDriver(*driver))
    return "its driver \"" + *driver +
           "\" is not one of the six desktop drivers; tabrix changes only data sources of "
           "those drivers";
  for (auto& [k, v] : s.attributes)
    if (IsPathKeyword(k)) v = MapPath(v, maps_);
  return WhyNotStorable(s.name, s.attributes);
}

void Importer::Plan(std::vector<Incoming>& incoming) {
  std::unordered_set<std::string> seen[2];
  for (Incoming& in : incoming) {
    const bool sys = ScopeOf(in);
    const std::string lead = in.where + ": data source \"" + in.source.name + "\": ";
    std::optional<std::string> driver;
    if (std::string why = WhyNot(in, driver); !why.empty()) {
      failed_ = true;
      Fail(lead + why + "; skipped");
    } else if (!seen[sys].insert(Folded(in.source.name)).second) {
      failed_ = true;
      Fail(lead + "given twice; the first is imported");
    } else {
      edits_[sys].push_back({platform::SourceEdit::Kind::Replace, in.source.name, *driver,
                             in.source.attributes});
    }
  }
}

// A map that rewrote nothing is most likely mistyped: the paths went in as they were.
void Importer::WarnUnusedMaps() const {
  for (const PathMap& m : maps_)
    if (m.used == 0)
      Warn("--map-path " + m.given + " matched no DBQ, DefaultDir or SystemDB path; "
           "nothing was rewritten by it");
}

// One data source against what the scope holds: refused when another driver's, its masked
// passwords the stored ones, and its line of the report. False when it is skipped.
bool Importer::Prepare(bool sys, platform::SourceEdit& e, const platform::StoredSources& stored,
                       const platform::StoredSource* old, ImportWork& work) {
  // What another driver's data source holds is not tabrix's to replace.
  if (old) {
    std::string value = platform::KeyStore::Find(old->values, "Driver")
                            .value_or(platform::KeyStore::Find(stored.listing, e.name).value_or(""));
    if (std::string why = rules::WhyNotOurs(value); !why.empty()) {
      failed_ = true;
      Fail("data source \"" + e.name + "\" (" + ScopeName(sys) + "): " + why + "; skipped");
      return false;
    }
  }
  // A password exported masked is not known here: the stored one stays, if any.
  for (auto& [k, v] : e.values) {
    if (!IsPasswordKeyword(k) || v != kMasked) continue;
    std::optional<std::string> kept;
    if (old) kept = platform::KeyStore::Find(old->values, k);
    if (!kept)
      Warn("data source \"" + e.name + "\": " + k +
           " was exported masked and is written empty; set it with tabrix configure");
    v = kept.value_or("");
  }
  const Import what = old ? Import::Replace : Import::Create;
  const char* done = args_.dryRun ? (what == Import::Replace ? "would replace" : "would create")
                                  : (what == Import::Replace ? "replaced" : "created");
  std::string line = Shown(e.name, 200) + " (" + ScopeName(sys) + "): " + done;
  if (args_.dryRun) {
    line += " in " + WhereScope(sys) + "\n  Driver=" + Shown(e.driver, 200);
    for (const auto& [k, v] : e.values) line += "\n  " + Shown(MaskedPair(k, v), 200);
  }
  work.lines.push_back(std::move(line));
  return true;
}

// Writes the scope's own data sources in one change, then sends each other one to its
// driver's setup library, which decides what its data sources hold, as for create.
void Importer::Write(bool sys, ImportWork& work) {
  platform::Pairs written;
  if (!args_.dryRun) {
    sources::Edit(sys, work.own);
    for (const platform::SourceEdit& e : work.own)
      written.insert(written.end(), e.values.begin(), e.values.end());
  }
  std::vector<bool> sent(work.delegated.size(), true);
  for (size_t d = 0; d < work.delegated.size() && !args_.dryRun; ++d) {
    const platform::SourceEdit& e = work.delegated[d];
    std::string list;
    platform::AppendAttribute(list, "DSN", e.name);
    for (const auto& [k, v] : e.values) platform::AppendAttribute(list, k, v);
    list += '\0';
    sent[d] = platform::SQLConfigDataSource(
        nullptr, sys ? platform::ODBC_ADD_SYS_DSN : platform::ODBC_ADD_DSN, e.driver, list);
    if (sent[d]) {
      written.insert(written.end(), e.values.begin(), e.values.end());
    } else {
      failed_ = true;
      Fail("data source \"" + e.name + "\" (" + ScopeName(sys) +
           "): the driver's setup library refused it: " + platform::InstallerError());
    }
  }
  for (size_t l = 0; l < work.lines.size(); ++l)
    if (work.delegatedAt[l] == SIZE_MAX || sent[work.delegatedAt[l]]) {
      if (!args_.dryRun) NoteChange("import: " + work.lines[l]);
      std::cout << work.lines[l] << '\n';
    }
  rules::WarnIfPasswordExposed(sys, written);
}

void Importer::ImportScope(bool sys) {
  if (edits_[sys].empty()) return;
  try {
    platform::DataSourceStore::Lock lock;
    if (!args_.dryRun) lock = sources::Lock(sys);
    const platform::StoredSources stored = sources::Read(sys);
    std::unordered_map<std::string, const platform::StoredSource*> existing;
    for (const platform::StoredSource& s : stored.sources) existing.emplace(Folded(s.name), &s);
    ImportWork work;
    for (platform::SourceEdit& e : edits_[sys]) {
      auto old = existing.find(Folded(e.name));
      if (!Prepare(sys, e, stored, old == existing.end() ? nullptr : old->second, work)) continue;
      const bool decides = !rules::SetupLibrary(e.driver).empty();
      work.delegatedAt.push_back(decides ? work.delegated.size() : SIZE_MAX);
      (decides ? work.delegated : work.own).push_back(std::move(e));
    }
    Write(sys, work);
  } catch (const std::exception& e) {
    failed_ = true;
    Fail(std::string("cannot import into the ") + ScopeName(sys) + " data sources (" +
         WhereScope(sys) + "): " + e.what() + "; none of them written");
  }
}

int RunImport(const ImportArgs& args) {
  os::UseConfigDir(args.common.configDir);
  sources::UseLockWait(args.wait);
  std::vector<PathMap> maps;
  if (auto exit = ParseMaps(args, maps)) return *exit;
  std::vector<Incoming> incoming;
  std::optional<Drivers> drivers;
  if (auto exit = ReadImport(args, incoming, drivers)) return *exit;
  Importer importer(args, std::move(*drivers), std::move(maps));
  importer.Plan(incoming);
  importer.WarnUnusedMaps();
  for (bool sys : {false, true}) importer.ImportScope(sys);
  return importer.Exit();
}

}  // namespace

Runner AddImport(CLI::App& app) {
  auto args = std::make_shared<ImportArgs>();
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
  return [args] { return RunImport(*args); };
}


}  // namespace tabrix::cli

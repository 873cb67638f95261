// export: data sources out of the files (or the registry), as JSON, a Windows registry
// file or an odbc.ini fragment.
#include <iostream>
#include <unordered_set>

#include "platform/text/Text.h"
#include "tools/tabrix/Exchange.h"
#include "tools/tabrix/Rules.h"
#include "tools/tabrix/Sources.h"

namespace tabrix::cli {

namespace exchange {

// The file or key holding one scope's data sources, for messages.
std::string WhereScope(bool system) { return Shown(sources::Store().Where(system, ""), kLongText); }

}  // namespace exchange

namespace {

using namespace exchange;
using platform::text::EqualsIgnoreCase;
using platform::text::Folded;

std::vector<bool> Systems(const Scope& scope) {
  if (scope.Both()) return {false, true};
  return {scope.system};
}

// export -----------------------------------------------------------------------------------

struct ExportArgs {
  Common common;
  Scope scope;
  std::vector<std::string> names;
  std::string format = "json";
  std::string output;
  bool passwords = false;
};

// A usage error in what export was given, else nullopt.
std::optional<int> RefusedExport(const ExportArgs& args) {
  if (args.format == "ini")
    if (std::string why = WhyNoIni(); !why.empty()) return Usage("--format ini: " + why);
  if (args.format == "ini" && args.scope.Both())
    return Usage("--format ini writes one scope's odbc.ini: give --user or --system");
  for (const std::string& name : args.names)
    if (std::string why = WhyNotAName(name); !why.empty()) return Usage(why);
  return std::nullopt;
}

bool Wanted(const ExportArgs& args, const std::string& name) {
  if (args.names.empty()) return true;
  for (const std::string& wanted : args.names)
    if (EqualsIgnoreCase(wanted, name)) return true;
  return false;
}

// The data sources export writes, of every scope asked for; the exit code when a scope cannot
// be read or a name asked for is not there.
std::optional<int> CollectExport(const ExportArgs& args, const Drivers& drivers,
                                 std::vector<DataSource>& sources) {
  std::unordered_set<std::string> found;
  for (bool system : Systems(args.scope)) {
    platform::StoredSources stored;
    try {
      stored = sources::Read(system);
    } catch (const std::exception& e) {
      // Never an export that looks complete and is not.
      return Fail(std::string("cannot export the ") + ScopeName(system) +
                  " data sources: " + e.what());
    }
    for (const platform::StoredSource& s : stored.sources) {
      if (!Wanted(args, s.name)) continue;
      found.insert(Folded(s.name));
      // What unixODBC reads is what goes out, so that the export says what the data source
      // is; the lines it never reads are named, since a round trip drops them.
      for (const std::string& line : s.ignored) Warn(line + "; exported without it");
      sources.push_back({s.name, system, DriverOf(stored, s, drivers), WithoutDriver(s.values)});
    }
  }
  bool missing = false;
  for (const std::string& name : args.names)
    if (!found.count(Folded(name))) {
      missing = true;
      Fail("\"" + name + "\" is not a data source here (" +
           (args.scope.Both() ? WhereScope(false) + ", " + WhereScope(true)
                              : WhereScope(args.scope.system)) +
           ")");
    }
  return missing ? std::optional<int>(kFailed) : std::nullopt;
}

std::string Render(const ExportArgs& args, const std::vector<DataSource>& sources,
                   const Drivers& drivers) {
  if (args.format == "reg") return ToReg(sources, args.passwords, drivers);
  if (args.format == "json") return ToJson(sources, args.passwords);
  return ToIni(sources, args.passwords);
}

int RunExport(const ExportArgs& args) {
  os::UseConfigDir(args.common.configDir);
  if (auto exit = RefusedExport(args)) return *exit;
  std::optional<Drivers> drivers;
  try {
    drivers = Drivers::Read();
  } catch (const std::exception& e) {
    return Fail(std::string("cannot read the drivers: ") + e.what());
  }
  std::vector<DataSource> sources;
  if (auto exit = CollectExport(args, *drivers, sources)) return *exit;
  try {
    const std::string text = Render(args, sources, *drivers);
    if (args.output.empty())
      os::WriteStandardOutput(text);
    else
      os::WriteOutputFile(args.output, text, args.passwords);
  } catch (const std::exception& e) {
    return Fail(std::string("cannot export: ") + e.what());
  }
  return kOk;
}

}  // namespace

Runner AddExport(CLI::App& app) {
  auto args = std::make_shared<ExportArgs>();
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
  return [args] { return RunExport(*args); };
}


}  // namespace tabrix::cli

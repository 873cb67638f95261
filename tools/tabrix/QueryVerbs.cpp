// find, list and drivers: the verbs that read.
#include <iostream>
#include <system_error>
#include <unordered_set>

#include "library/TabrixCodeUnit.h"
#include "platform/odbcinst/DataSources.h"
#include "platform/registry/Registry.h"
#include "platform/text/Text.h"
#include "tools/tabrix/Cli.h"
#include "tools/tabrix/Sources.h"

namespace tabrix::cli {
namespace {

using namespace TabrixCodeUnit;

struct ScopeInfo {
  const char* name;
  bool system;
};
const ScopeInfo kUser{"user", false};
const ScopeInfo kSystem{"system", true};

std::vector<ScopeInfo> Scopes(const Scope& scope) {
  if (scope.Both()) return {kUser, kSystem};
  return {scope.user ? kUser : kSystem};
}

// The file or key holding the scope's data sources.
std::string WhereScope(const ScopeInfo& scope) {
  return Shown(sources::Store().Where(scope.system, ""), kLongText);
}

}  // namespace

Runner AddFind(CLI::App& app) {
  struct Args {
    Common common;
    Scope scope;
    std::string name;
  };
  auto args = std::make_shared<Args>();
  CLI::App* verb =
      app.add_subcommand("find", "Tell whether a data source exists (exit 0) or not (1)");
  verb->add_option("NAME", args->name, "The data source's name")->required();
  AddScope(*verb, args->scope);
  AddCommon(*verb, args->common, true);
  verb->footer("Example: tabrix find Sales --user");
  return [args] {
    os::UseConfigDir(args->common.configDir);
    if (std::string why = WhyNotAName(args->name); !why.empty()) return Usage(why);
    bool found = false;
    const std::string shown = Shown(args->name);
    Json json{{"name", args->name}};
    // Read-only, so that a data source the caller may read but not change is found too.
    for (const ScopeInfo& scope : Scopes(args->scope)) {
      auto source = sources::Store().Find(scope.system, args->name);
      if (!source) {
        json[scope.name] = nullptr;
        json["errors"][scope.name] = source.reason();
        Fail(shown + ": cannot tell whether it is among " + scope.name +
             " data sources: " + source.reason());
        continue;
      }
      const bool here = source->values.has_value();
      found = found || here;
      json[scope.name] = here;
      if (!args->common.json)
        std::cout << shown << ": " << (here ? "found" : "not found") << " among " << scope.name
                  << " data sources ("
                  << (here ? Shown(source->where, kLongText) : WhereScope(scope)) << ")\n";
    }
    // Unknown, not absent, when a scope could not be read and none had it.
    json["found"] = (found || !json.contains("errors")) ? Json(found) : Json(nullptr);
    if (args->common.json) PrintJson(json);
    return found ? kOk : kFailed;
  };
}

Runner AddList(CLI::App& app) {
  struct Args {
    Common common;
    Scope scope;
  };
  auto args = std::make_shared<Args>();
  CLI::App* verb = app.add_subcommand("list", "List data sources with their scope and driver");
  AddScope(*verb, args->scope);
  AddCommon(*verb, args->common, true);
  verb->footer("Example: tabrix list --json");
  return [args] {
    os::UseConfigDir(args->common.configDir);
    std::vector<Row> rows;
    bool failed = false;
    for (const ScopeInfo& scope : Scopes(args->scope)) {
      platform::StoredSources stored;
      try {
        stored = sources::List(scope.system);
      } catch (const std::exception& e) {
        failed = true;
        Fail(std::string("cannot list the ") + scope.name + " data sources: " + e.what());
        continue;
      }
      for (size_t i = 0; i < stored.unnamed; ++i)
        Warn(std::string("the ") + scope.name + " data sources hold a section with no name (" +
             WhereScope(scope) + "); unixODBC's listings end there");
      // A name given twice is read from its first section only, as unixODBC reads it.
      Progress progress(std::string("Listing ") + scope.name + " data sources",
                        stored.sources.size());
      for (size_t i = 0; i < stored.sources.size(); ++i) {
        platform::StoredSource& source = stored.sources[i];
        std::string driver = platform::KeyStore::Find(source.values, "Driver").value_or("");
        rows.push_back({std::move(source.name), scope.name, std::move(driver)});
        if (i % 256 == 0) progress.Step(i);
      }
    }
    if (args->common.json) {
      Json dsns = Json::array();
      for (const Row& row : rows)
        dsns.push_back({{"name", row[0]}, {"scope", row[1]}, {"driver", row[2]}});
      PrintJson({{"dsns", std::move(dsns)}});
    } else {
      for (Row& row : rows)
        for (std::string& cell : row) cell = Shown(cell, 200);
      PrintTable({"NAME", "SCOPE", "DRIVER"}, rows);
    }
    return failed ? kFailed : kOk;
  };
}

Runner AddDrivers(CLI::App& app) {
  auto common = std::make_shared<Common>();
  CLI::App* verb =
      app.add_subcommand("drivers", "Show the desktop drivers and how each one is installed");
  AddCommon(*verb, *common, true);
  verb->footer("Example: tabrix drivers");
  return [common] {
    os::UseConfigDir(common->configDir);
    std::vector<Row> rows;
    Json drivers = Json::array();
    for (int32_t code = 1; code <= 6; ++code) {  // 7 names the dBase driver again
      std::string fileType;
      const std::string description = GetDSNTypeString(code, fileType);
      std::optional<platform::KeyStore::Values> values;
      try {
        values = platform::CurrentKeyStore().ReadValues(platform::HKEY_LOCAL_MACHINE,
                                                        platform::DriverKey(description));
      } catch (const platform::ERegistryException& e) {
        return Fail(std::string("cannot read the drivers: ") + e.what());
      }
      auto value = [&](std::string_view name) {
        return values ? platform::KeyStore::Find(*values, name).value_or("") : std::string();
      };
      // The library a 64-bit driver manager loads: Driver64 first.
      std::string library = value("Driver64");
      if (library.empty()) library = value("Driver");
      const bool installed = !library.empty();
      rows.push_back({std::to_string(code), description, fileType,
                      installed ? Shown(library, 200) : "not installed",
                      Shown(value("DriverODBCVer")), Shown(value("FileExtns"))});
      drivers.push_back({{"code", code},
                         {"description", description},
                         {"fileType", fileType},
                         {"installed", installed},
                         {"driver", library},
                         {"driverOdbcVer", value("DriverODBCVer")},
                         {"dsn", value("DSN")},
                         {"fileExtns", value("FileExtns")},
                         {"uid", value("UID")}});
    }
    if (common->json)
      PrintJson({{"drivers", std::move(drivers)}});
    else
      PrintTable({"CODE", "DRIVER", "FILE TYPE", "LIBRARY", "ODBC", "EXTENSIONS"}, rows);
    return kOk;
  };
}

}  // namespace tabrix::cli

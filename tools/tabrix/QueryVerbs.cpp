// find, list, drivers and register-mdw: the verbs that go to the library directly.
#include <filesystem>
#include <iostream>
#include <system_error>

#include "library/TabrixCodeUnit.h"
#include "platform/registry/Registry.h"
#include "platform/text/Text.h"
#include "tools/tabrix/Cli.h"

namespace tabrix::cli {
namespace {

using namespace TabrixCodeUnit;
using platform::HKEY;

const std::string kDataSourcesKey = "\\Software\\ODBC\\ODBC.INI";

struct ScopeInfo {
  const char* name;
  HKEY root;
  int32_t request;  // the request FindDSN looks up by
};
const ScopeInfo kUser{"user", platform::HKEY_CURRENT_USER, 1};
const ScopeInfo kSystem{"system", platform::HKEY_LOCAL_MACHINE, 4};

std::vector<ScopeInfo> Scopes(const Scope& scope) {
  if (scope.Both()) return {kUser, kSystem};
  return {scope.user ? kUser : kSystem};
}

// The data source's key, or with no name the key that holds them all.
std::string Where(const ScopeInfo& scope, const std::string& name) {
  return platform::CurrentKeyStore().Describe(
      scope.root, name.empty() ? kDataSourcesKey : kDataSourcesKey + "\\" + name);
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
    host::UseConfigDir(args->common.configDir);
    bool found = false;
    Json json{{"name", args->name}};
    for (const ScopeInfo& scope : Scopes(args->scope)) {
      bool here = FindDSN(args->name, scope.request);
      found = found || here;
      json[scope.name] = here;
      if (!args->common.json)
        std::cout << args->name << ": " << (here ? "found" : "not found") << " among " << scope.name
                  << " data sources (" << Where(scope, here ? args->name : "") << ")\n";
    }
    json["found"] = found;
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
    host::UseConfigDir(args->common.configDir);
    std::vector<Row> rows;
    for (const ScopeInfo& scope : Scopes(args->scope)) {
      auto subKeys = platform::CurrentKeyStore().ReadSubKeys(scope.root, kDataSourcesKey, "Driver");
      if (!subKeys) continue;
      Progress progress(std::string("Listing ") + scope.name + " data sources", subKeys->size());
      for (size_t i = 0; i < subKeys->size(); ++i) {
        auto& [name, driver] = (*subKeys)[i];
        if (platform::text::EqualsIgnoreCase(name, "ODBC Data Sources")) continue;
        rows.push_back({std::move(name), scope.name, std::move(driver)});
        if (i % 256 == 0) progress.Step(i);
      }
    }
    if (args->common.json) {
      Json dsns = Json::array();
      for (const Row& row : rows)
        dsns.push_back({{"name", row[0]}, {"scope", row[1]}, {"driver", row[2]}});
      PrintJson({{"dsns", std::move(dsns)}});
    } else {
      PrintTable({"NAME", "SCOPE", "DRIVER"}, rows);
    }
    return kOk;
  };
}

Runner AddDrivers(CLI::App& app) {
  auto common = std::make_shared<Common>();
  CLI::App* verb =
      app.add_subcommand("drivers", "Show the desktop drivers and how each one is installed");
  AddCommon(*verb, *common, true);
  verb->footer("Example: tabrix drivers");
  return [common] {
    host::UseConfigDir(common->configDir);
    std::vector<Row> rows;
    Json drivers = Json::array();
    for (int32_t code = 1; code <= 6; ++code) {  // 7 names the dBase driver again
      std::string fileType;
      const std::string description = GetDSNTypeString(code, fileType);
      const TODBCDriverInfo info = GetODBCInfo(description);
      const bool installed = !info.Driver.str().empty();
      rows.push_back({std::to_string(code), description, fileType,
                      installed ? info.Driver.str() : "not installed", info.DriverODBCVer.str(),
                      info.FileExtns.str()});
      drivers.push_back({{"code", code},
                         {"description", description},
                         {"fileType", fileType},
                         {"installed", installed},
                         {"driver", info.Driver.str()},
                         {"driverOdbcVer", info.DriverODBCVer.str()},
                         {"dsn", info.DSN.str()},
                         {"fileExtns", info.FileExtns.str()},
                         {"uid", info.UID.str()}});
    }
    if (common->json)
      PrintJson({{"drivers", std::move(drivers)}});
    else
      PrintTable({"CODE", "DRIVER", "FILE TYPE", "LIBRARY", "ODBC", "EXTENSIONS"}, rows);
    return kOk;
  };
}

Runner AddRegisterMdw(CLI::App& app) {
  struct Args {
    Common common;
    bool system = false;
    bool dryRun = false;
    std::string name, file;
  };
  auto args = std::make_shared<Args>();
  CLI::App* verb = app.add_subcommand(
      "register-mdw", "Tie a data source to an Access workgroup file (its SystemDB value)");
  verb->add_option("NAME", args->name, "The data source's name")->required();
  verb->add_option("FILE", args->file, "The workgroup file (.mdw)")->required();
  verb->add_flag("--system", args->system, "A system data source (default: a user one)");
  verb->add_flag("--dry-run", args->dryRun, "Show what would be written; change nothing");
  AddCommon(*verb, args->common, true);
  verb->footer("Example: tabrix register-mdw Books /srv/access/System.mdw");
  return [args] {
    host::UseConfigDir(args->common.configDir);
    const ScopeInfo& scope = args->system ? kSystem : kUser;
    if (args->file.empty()) return Fail("FILE must not be empty");
    std::error_code unreadable;  // a folder we may not look into counts as missing
    if (!std::filesystem::exists(args->file, unreadable)) Warn(args->file + " does not exist");
    const std::string where = Where(scope, args->name);
    if (args->dryRun) {
      const bool defined = FindDSN(args->name, scope.request);
      if (args->common.json)
        PrintJson({{"dryRun", true},
                   {"name", args->name},
                   {"scope", scope.name},
                   {"target", where},
                   {"value", {{"SystemDB", args->file}}},
                   {"accepted", defined}});
      else
        std::cout << "would write SystemDB=" << args->file << "\n  to " << where << '\n';
      if (!defined)
        return Fail(args->name + " is not a " + scope.name + " data source (" + where + ")");
      return kOk;
    }
    try {
      bool ok = args->system ? RegisterSystemMDW(args->name, args->file)
                             : RegisterMDW(args->name, args->file);
      if (!ok) return Fail(args->name + " is not a " + scope.name + " data source (" + where + ")");
    } catch (const platform::ERegistryException& e) {
      return Fail(e.what());
    }
    std::cout << args->name << ": SystemDB=" << args->file << " (" << where << ")\n";
    return kOk;
  };
}

}  // namespace tabrix::cli

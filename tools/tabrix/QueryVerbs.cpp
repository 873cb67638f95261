// find, list, drivers and register-mdw: the verbs that go to the library directly.
#include <filesystem>
#include <iostream>
#include <system_error>
#include <unordered_set>

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
  return Shown(platform::CurrentKeyStore().Describe(
                   scope.root, name.empty() ? kDataSourcesKey : kDataSourcesKey + "\\" + name),
               kLongText);
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
    if (std::string why = WhyNotAName(args->name); !why.empty()) return Usage(why);
    bool found = false;
    const std::string shown = Shown(args->name);
    Json json{{"name", args->name}};
    // Read-only, so that a data source the caller may read but not change is found too.
    for (const ScopeInfo& scope : Scopes(args->scope)) {
      bool here = false;
      try {
        here = platform::CurrentKeyStore()
                   .ReadValues(scope.root, kDataSourcesKey + "\\" + args->name)
                   .has_value();
      } catch (const platform::ERegistryException& e) {
        json[scope.name] = nullptr;
        json["errors"][scope.name] = e.what();
        Fail(shown + ": cannot tell whether it is among " + scope.name +
             " data sources: " + e.what());
        continue;
      }
      found = found || here;
      json[scope.name] = here;
      if (!args->common.json)
        std::cout << shown << ": " << (here ? "found" : "not found") << " among " << scope.name
                  << " data sources (" << Where(scope, here ? args->name : "") << ")\n";
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
    host::UseConfigDir(args->common.configDir);
    std::vector<Row> rows;
    bool failed = false;
    for (const ScopeInfo& scope : Scopes(args->scope)) {
      std::optional<platform::KeyStore::SubKeyValues> subKeys;
      try {
        subKeys = platform::CurrentKeyStore().ReadSubKeys(scope.root, kDataSourcesKey, "Driver");
      } catch (const platform::ERegistryException& e) {
        failed = true;
        Fail(std::string("cannot list the ") + scope.name + " data sources: " + e.what());
        continue;
      }
      if (!subKeys) continue;
      Progress progress(std::string("Listing ") + scope.name + " data sources", subKeys->size());
      // A name given twice is read from its first section only, as unixODBC reads it.
      std::unordered_set<std::string> seen;
      for (size_t i = 0; i < subKeys->size(); ++i) {
        auto& [name, driver] = (*subKeys)[i];
        std::string folded = name;
        for (char& c : folded) c = platform::text::AsciiLower(c);
        if (folded.empty()) {
          Warn(std::string("the ") + scope.name + " data sources hold a section with no name (" +
               Where(scope, "") + "); unixODBC's listings end there");
          continue;
        }
        if (folded == "odbc data sources" || !seen.insert(std::move(folded)).second) continue;
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
    host::UseConfigDir(common->configDir);
    std::vector<Row> rows;
    Json drivers = Json::array();
    for (int32_t code = 1; code <= 6; ++code) {  // 7 names the dBase driver again
      std::string fileType;
      const std::string description = GetDSNTypeString(code, fileType);
      std::optional<platform::KeyStore::Values> values;
      try {
        values = platform::CurrentKeyStore().ReadValues(
            platform::HKEY_LOCAL_MACHINE, "\\Software\\ODBC\\ODBCINST.INI\\" + description);
      } catch (const platform::ERegistryException& e) {
        return Fail(std::string("cannot read the drivers: ") + e.what());
      }
      auto value = [&](std::string_view name) {
        if (values)
          for (const auto& [k, v] : *values)
            if (platform::text::EqualsIgnoreCase(k, name)) return v;
        return std::string();
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

Runner AddRegisterMdw(CLI::App& app) {
  struct Args {
    Common common;
    bool system = false;
    bool dryRun = false;
    double wait = 30;
    std::string name, file;
  };
  auto args = std::make_shared<Args>();
  CLI::App* verb = app.add_subcommand(
      "register-mdw", "Tie a data source to an Access workgroup file (its SystemDB value)");
  verb->add_option("NAME", args->name, "The data source's name")->required();
  verb->add_option("FILE", args->file, "The workgroup file (.mdw)")->required();
  verb->add_flag("--system", args->system, "A system data source (default: a user one)");
  verb->add_flag("--dry-run", args->dryRun, "Show what would be written; change nothing");
  AddWait(*verb, args->wait);
  AddCommon(*verb, args->common, true);
  verb->footer("Example: tabrix register-mdw Books /srv/access/System.mdw");
  return [args] {
    host::UseConfigDir(args->common.configDir);
    host::UseLockWait(args->wait);
    if (std::string why = WhyNotAName(args->name); !why.empty()) return Usage(why);
    const ScopeInfo& scope = args->system ? kSystem : kUser;
    const std::string shown = Shown(args->name);
    if (args->file.empty()) return Usage("FILE must not be empty");
    std::error_code unreadable;  // a folder we may not look into counts as missing
    if (!std::filesystem::exists(args->file, unreadable))
      Warn(Shown(args->file, 200) + " does not exist");
    const std::string where = Where(scope, args->name);
    // Whether the data source is there to change, with the reason when that cannot be told.
    auto defined = [&] {
      return platform::CurrentKeyStore()
          .ReadValues(scope.root, kDataSourcesKey + "\\" + args->name)
          .has_value();
    };
    const std::string missing = shown + " is not a " + scope.name + " data source (" + where + ")";
    try {
      if (args->dryRun) {
        const bool exists = defined();
        if (args->common.json)
          PrintJson({{"dryRun", true},
                     {"name", args->name},
                     {"scope", scope.name},
                     {"target", where},
                     {"value", {{"SystemDB", args->file}}},
                     {"accepted", exists}});
        else
          std::cout << "would write SystemDB=" << Shown(args->file, 200) << "\n  to " << where
                    << '\n';
        return exists ? kOk : Fail(missing);
      }
      std::shared_ptr<void> lock = host::LockDataSources(args->system);
      bool ok = args->system ? RegisterSystemMDW(args->name, args->file)
                             : RegisterMDW(args->name, args->file);
      if (!ok)
        return Fail(defined() ? shown + ": its key cannot be opened for writing (" + where + ")"
                              : missing);
    } catch (const std::exception& e) {
      return Fail(shown + ": " + e.what());
    }
    std::cout << shown << ": SystemDB=" << Shown(args->file, 200) << " (" << where << ")\n";
    return kOk;
  };
}

}  // namespace tabrix::cli

// create, configure, remove and register-mdw. create sets up a TTabrixCreator from the options and
// executes it; configure and remove send the installer a request of their own, as the data source's
// own driver, with only the pairs the options give.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>

#include "library/TabrixCodeUnit.h"
#include "platform/odbcinst/AttributeList.h"
#include "platform/odbcinst/DataSources.h"
#include "platform/odbcinst/Installer.h"
#include "platform/registry/Registry.h"
#include "platform/text/Text.h"
#include "tools/tabrix/Sources.h"
#include "tools/tabrix/Creators.h"
#include "tools/tabrix/PropertyOptions.h"
#include "tools/tabrix/Rules.h"

namespace tabrix::cli {
namespace {

using namespace TabrixCreateUnit;

struct Args {
  Common common;
  Scope scope;
  PropertyValues properties;  // unset ones keep the component's value
  bool dryRun = false;
  double wait = 30;
  std::string name;
  std::string driver = "excel";  // create only
};

// Which of the creator's data-source values a driver's data sources take: the five every
// driver stores, with the options of the database engine the file drivers share, or with the
// Text driver's own too.
enum class Takes { kPlain, kEngine, kAll };

bool DriverTakes(Takes takes, const TDataSourceValue& value) {
  if (!value.Advanced) return true;
  const std::string_view property = value.Property;
  const bool textOnly = property == "MaxScanRows" || property == "optFirstRowHasNames";
  return takes == Takes::kAll || (takes == Takes::kEngine && !textOnly);
}

// The drivers create makes data sources for, with their database codes in the catalogue.
// Excel data sources are made by the component, with all of its values.
struct DriverChoice {
  const char* name;
  int32_t database;
  Takes takes;
};

const std::vector<DriverChoice>& DriverChoices() {
  static const std::vector<DriverChoice> choices{
      {"access", 1, Takes::kEngine},  {"excel", 2, Takes::kAll},    {"text", 3, Takes::kAll},
      {"paradox", 4, Takes::kEngine}, {"dbase", 5, Takes::kEngine}, {"foxpro", 6, Takes::kPlain},
  };
  return choices;
}

std::vector<std::string> DriverNames() {
  std::vector<std::string> names;
  for (const DriverChoice& choice : DriverChoices()) names.emplace_back(choice.name);
  return names;
}

// Passwords never come from the command line, where other users could read them. False
// when --password-stdin finds no line to read.
bool ReadPassword(PropertyValues& p) {
  std::optional<std::string> password;
  if (p.PasswordFromStdin()) {
    std::string line;
    if (!os::ReadSecretLine("Password: ", line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    password = line;
  } else if (const char* env = std::getenv("TABRIX_PASSWORD")) {
    password = env;
  }
  p.SetPassword(std::move(password));
  return true;
}

// The pairs of the options given, spelt as the component spells them, in its order; with
// `only`, those of the values it takes.
platform::AttributePairs GivenPairs(const PropertyValues& p,
                                    std::function<bool(const TDataSourceValue&)> only = {}) {
  TTabrixCreator creator(nullptr);
  p.ApplyTo(creator);
  platform::AttributePairs pairs;
  for (const TDataSourceValue& value : DataSourceValues())
    if (p.IsGiven(value.Property) && (!only || only(value)))
      pairs.emplace_back(value.Keyword, value.Spell(creator));
  return pairs;
}

// The options given that set a property no data source stores (--excel-version).
std::vector<std::string> UnstoredOptions(const PropertyValues& p) {
  std::vector<std::string> options;
  for (std::string_view property : p.Given())
    if (!StoredAs(property)) options.emplace_back(OptionOf(property));
  return options;
}

// The data source configure or remove changes, read under the lock that the change itself then
// reuses, so nothing can slip in between.
struct Existing {
  std::shared_ptr<void> lock;
  bool found = false;
  std::string driverValue;
  bool stale = false;  // only a line under [ODBC Data Sources] is left of it
  std::string where;
};

Existing ReadExisting(const Args& args, bool remove, bool system) {
  Existing existing;
  if (!args.dryRun) existing.lock = sources::Lock(system);
  platform::FoundSource source = sources::Find(system, args.name);
  if (source.values) {
    existing.driverValue = platform::KeyStore::Find(*source.values, "Driver").value_or("");
  } else if (remove && source.listed) {
    existing.driverValue = *source.listed;
    existing.stale = true;
  }
  existing.found = source.values || existing.stale;
  existing.where = std::move(source.where);
  return existing;
}

// Sends the request of configure or remove as the data source's own driver: DSN and `pairs`.
int SendChange(const Args& args, bool remove, bool system, const std::string& driver,
               const platform::AttributePairs& pairs, bool stale) {
  std::string list;
  platform::AppendAttribute(list, "DSN", args.name);
  for (const auto& [k, v] : pairs) platform::AppendAttribute(list, k, v);
  list += '\0';
  uint16_t request = remove ? (system ? platform::ODBC_REMOVE_SYS_DSN : platform::ODBC_REMOVE_DSN)
                            : (system ? platform::ODBC_CONFIG_SYS_DSN : platform::ODBC_CONFIG_DSN);
  Json json;
  int code =
      RunRequest(request, driver, list, args.name, args.dryRun, args.common.json ? &json : nullptr);
  if (args.common.json) {
    if (stale) json["staleListing"] = true;
    PrintJson(json);
  } else if (stale && code == kOk && !args.dryRun) {
    std::cout << "It had no section, only a stale line under [ODBC Data Sources]: that line "
                 "is removed.\n";
  }
  return code;
}

// configure and remove work on a data source as its own driver. A configure sends the pairs of
// the options given and nothing else, so every other value of the data source stays as it is.
int ChangeExisting(const Args& args, bool remove) {
  const bool system = !args.scope.user;
  const char* scope = system ? "system" : "user";
  const std::string verb = remove ? "remove" : "configure";
  const std::string lead =
      "cannot " + verb + " " + scope + " data source \"" + Shown(args.name) + "\": ";

  platform::AttributePairs pairs;
  if (!remove) {
    pairs = GivenPairs(args.properties);
    for (const std::string& option : UnstoredOptions(args.properties))
      Warn(option + " is not stored in a data source; it changes nothing here");
    if (pairs.empty())
      return Usage("configure: give at least one option to change (tabrix configure --help)");
  }
  for (const auto& [k, v] : pairs)
    if (v.find('\0') != std::string::npos)
      return Fail(lead + "the value of " + k + " holds a NUL byte");
  try {
    const Existing existing = ReadExisting(args, remove, system);
    if (!existing.found)
      return Fail(lead + "it does not exist (" + Shown(existing.where, kLongText) + ")");
    std::optional<std::string> driver = rules::DesktopDriver(existing.driverValue);
    if (!driver) return Fail(lead + rules::WhyNotOurs(existing.driverValue));
    return SendChange(args, remove, system, *driver, pairs, existing.stale);
  } catch (const std::exception& e) {
    return Fail(lead + e.what());
  }
}

// Why the options given cannot go into a data source of `choice`, naming them; "" when they can.
std::string RefusedOptions(const Args& args, const DriverChoice& choice,
                           const std::string& description) {
  std::string refused;
  auto refuse = [&](std::string_view option) {
    refused += (refused.empty() ? "" : ", ") + std::string(option);
  };
  for (const std::string& option : UnstoredOptions(args.properties)) refuse(option);
  for (const TDataSourceValue& value : DataSourceValues())
    if (args.properties.IsGiven(value.Property) && !DriverTakes(choice.takes, value))
      refuse(OptionOf(value.Property));
  if (refused.empty()) return "";
  return "create --driver " + args.driver + ": " + refused + " " +
         (refused.find(',') == std::string::npos ? "means" : "mean") +
         " nothing to the data sources of \"" + description + "\"";
}

// create --driver for any driver but Excel: the library's CreateDSN with that driver's database
// code and the pairs of the options given, spelt as the component spells them. An option that
// means nothing to the driver is refused, naming it, rather than stored where nothing reads it.
int CreateForDriver(const Args& args) {
  const DriverChoice* choice = nullptr;
  for (const DriverChoice& c : DriverChoices())
    if (args.driver == c.name) choice = &c;
  if (!choice) return Usage("--driver: no such driver: " + args.driver);
  std::string fileType;
  const std::string description = TabrixCodeUnit::GetDSNTypeString(choice->database, fileType);
  if (std::string why = RefusedOptions(args, *choice, description); !why.empty()) return Usage(why);

  // The values CreateDSN takes as arguments are empty unless given; the others are pairs.
  TTabrixCreator c(nullptr);
  for (const TDataSourceValue& value : DataSourceValues())
    if (!value.Advanced)
      platform::GetPropInfo(TTabrixCreator::StaticClass(), value.Property)->SetStr(c, "");
  args.properties.ApplyTo(c);
  std::string extra;
  for (const auto& [k, v] : GivenPairs(args.properties, [](auto& v) { return v.Advanced; }))
    extra += k + "=" + v + '\0';

  const bool system = !args.scope.user;
  const int32_t request = system ? 4 : 1;
  Json json;
  int code =
      RunLibraryCall(request, args.name, args.dryRun, args.common.json ? &json : nullptr, [&] {
        // As the component does for Excel: an add never replaces a data source that exists.
        if (TabrixCodeUnit::FindDSN(args.name, request)) {
          platform::PostInstallerError(std::string("the ") + (system ? "system" : "user") +
                                       " data source \"" + args.name + "\" exists already (" +
                                       sources::Store().Where(system, args.name) + ")");
          return false;
        }
        return TabrixCodeUnit::CreateDSN(request, choice->database, args.name,
                                         c.GetDSNUserDescription(), c.GetDatabasePath(),
                                         c.GetDefaultDir(), c.GetUserID(), c.GetPassword(), extra);
      });
  if (args.common.json) PrintJson(json);
  return code;
}

Runner AddChange(CLI::App& app, const char* name, const char* help, const char* example,
                 TDSNExecuteAction userAction, TDSNExecuteAction systemAction) {
  auto args = std::make_shared<Args>();
  CLI::App* verb = app.add_subcommand(name, help);
  verb->add_option("NAME", args->name, "The data source's name")->required();
  auto* user = verb->add_flag("--user", args->scope.user, "A user data source");
  auto* system =
      verb->add_flag("--system", args->scope.system, "A system data source (the default)");
  user->excludes(system);
  const bool changesProperties = userAction != REMOVE_DSN;
  if (userAction == ADD_DSN)
    verb->add_option("--driver", args->driver,
                     "The data source's driver (default excel; the others through the library's "
                     "CreateDSN)")
        ->check(CLI::IsMember(DriverNames()));
  if (changesProperties) args->properties.AddOptions(*verb);
  verb->add_flag("--dry-run", args->dryRun,
                 "Show what would be sent and which file and section would change; change "
                 "nothing");
  AddWait(*verb, args->wait);
  AddCommon(*verb, args->common, true);
  verb->footer(example);
  return [args, userAction, systemAction, changesProperties] {
    os::UseConfigDir(args->common.configDir);
    sources::UseLockWait(args->wait);
    if (std::string why = WhyNotAName(args->name); !why.empty()) return Usage(why);
    if (changesProperties && !ReadPassword(args->properties))
      return Usage("--password-stdin: no password on standard input");
    if (userAction != ADD_DSN) return ChangeExisting(*args, userAction == REMOVE_DSN);
    if (args->driver != "excel") return CreateForDriver(*args);

    TTabrixCreator creator(nullptr);
    creator.SetAction(args->scope.user ? userAction : systemAction);
    creator.SetDSNNameOrAlias(args->name);
    args->properties.ApplyTo(creator);
    Json json;
    int code = RunCreator(creator, args->dryRun, args->common.json ? &json : nullptr);
    if (args->common.json) PrintJson(json);
    return code;
  };
}

}  // namespace

Runner AddCreate(CLI::App& app) {
  return AddChange(app, "create",
                   "Create a data source for an Excel workbook (or, with --driver, "
                   "for another desktop driver)",
                   "Example: tabrix create Sales --user --workbook /data/Sales.xls "
                   "--default-dir /data --read-only\n"
                   "         tabrix create Exports --user --driver text --default-dir /data/csv",
                   ADD_DSN, ADD_SYS_DSN);
}

Runner AddConfigure(CLI::App& app) {
  return AddChange(
      app, "configure", "Change a data source: the options given, the rest as it is now",
      "Example: tabrix configure Sales --user --threads 5", CONFIG_DSN, CONFIG_SYS_DSN);
}

Runner AddRemove(CLI::App& app) {
  return AddChange(app, "remove", "Remove a data source", "Example: tabrix remove Sales --user",
                   REMOVE_DSN, REMOVE_SYS_DSN);
}

namespace {

struct MdwArgs {
  Common common;
  bool system = false;
  bool dryRun = false;
  double wait = 30;
  std::string name, file;
};

// Where a data source is, for messages: as its reading found it, or as asked when that failed.
std::string WhereFound(const platform::Result<platform::FoundSource>& found, const MdwArgs& args) {
  return Shown(found ? found->where : sources::Store().Where(args.system, args.name), kLongText);
}

// register-mdw once parsed: the library's RegisterMDW, with the reason when it answers false.
int RegisterMdw(const MdwArgs& args) {
  if (std::string why = WhyNotAName(args.name); !why.empty()) return Usage(why);
  const std::string scope = args.system ? "system" : "user";
  const std::string shown = Shown(args.name);
  if (args.file.empty()) return Usage("FILE must not be empty");
  std::error_code unreadable;  // a folder we may not look into counts as missing
  if (!std::filesystem::exists(args.file, unreadable))
    Warn(Shown(args.file, 200) + " does not exist");
  std::string where;
  // Whether the data source is there to change, with the reason when that cannot be told.
  auto defined = [&] {
    auto found = sources::Store().Find(args.system, args.name);
    where = WhereFound(found, args);
    return sources::Take(std::move(found)).values.has_value();
  };
  auto missing = [&] { return shown + " is not a " + scope + " data source (" + where + ")"; };
  try {
    if (args.dryRun) {
      const bool exists = defined();
      if (args.common.json)
        PrintJson({{"dryRun", true},
                   {"name", args.name},
                   {"scope", scope},
                   {"target", where},
                   {"value", {{"SystemDB", args.file}}},
                   {"accepted", exists}});
      else
        std::cout << "would write SystemDB=" << Shown(args.file, 200) << "\n  to " << where << '\n';
      return exists ? kOk : Fail(missing());
    }
    std::shared_ptr<void> lock = sources::Lock(args.system);
    // Read under the lock first: the library's own reading and its rewrite share this read.
    where = WhereFound(sources::Store().Find(args.system, args.name), args);
    bool ok = args.system ? TabrixCodeUnit::RegisterSystemMDW(args.name, args.file)
                          : TabrixCodeUnit::RegisterMDW(args.name, args.file);
    if (!ok)
      return Fail(defined() ? shown + ": its key cannot be opened for writing (" + where + ")"
                            : missing());
  } catch (const std::exception& e) {
    return Fail(shown + ": " + e.what());
  }
  NoteChange("register-mdw " + scope + " data source \"" + shown + "\"");
  std::cout << shown << ": SystemDB=" << Shown(args.file, 200) << " (" << where << ")\n";
  return kOk;
}

}  // namespace

Runner AddRegisterMdw(CLI::App& app) {
  auto args = std::make_shared<MdwArgs>();
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
    os::UseConfigDir(args->common.configDir);
    sources::UseLockWait(args->wait);
    return RegisterMdw(*args);
  };
}

}  // namespace tabrix::cli

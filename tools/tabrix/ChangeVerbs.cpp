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
#include "tools/tabrix/Creators.h"
#include "tools/tabrix/Rules.h"

namespace tabrix::cli {
namespace {

using namespace TabrixCreateUnit;

// The members of TExcelVersion, in order.
const std::vector<std::string> kExcelVersions{"Excel3",  "Excel4",  "Excel5",
                                              "Excel95", "Excel97", "Excel2000"};

// Every published property of the creator, as options; unset ones keep the component's value.
struct Properties {
  std::optional<std::string> description, workbook, defaultDir, uid, implicitCommitSync;
  std::optional<int32_t> maxScanRows, safeTransactions, threads;
  std::optional<std::string> excelVersion;
  // A flag given as --x or --no-x; the option tells whether it was given at all.
  struct Flag {
    bool value = false;
    CLI::Option* option = nullptr;
    bool Given() const { return option && option->count() > 0; }
  } readOnly, firstRowHasNames, userCommitSync;
  bool passwordStdin = false;
};

struct Args {
  Common common;
  Scope scope;
  Properties properties;
  bool dryRun = false;
  double wait = 30;
  std::string name;
  std::string driver = "excel";  // create only
};

// The drivers create makes data sources for, with their database codes in the catalogue and
// the properties that mean something to each. Excel data sources are made by the component,
// with all of them.
struct DriverChoice {
  const char* name;
  int32_t database;
  std::vector<std::string_view> properties;
};

const std::vector<DriverChoice>& DriverChoices() {
  // What every driver stores, and the options of the database engine the file drivers share.
  const std::vector<std::string_view> kPlain{"DSNUserDescription", "DatabasePath", "DefaultDir",
                                             "UserID", "Password"};
  auto with = [&](std::vector<std::string_view> more) {
    more.insert(more.begin(), kPlain.begin(), kPlain.end());
    return more;
  };
  const std::vector<std::string_view> kEngine{"optDSNReadOnly", "optSafeTransactions",
                                              "optThreads", "optUserCommitSync",
                                              "optImplitCommitSync"};
  auto engine = [&](std::vector<std::string_view> more) {
    more.insert(more.begin(), kEngine.begin(), kEngine.end());
    return with(more);
  };
  static const std::vector<DriverChoice> choices{
      {"access", 1, engine({})},
      {"excel", 2, {}},
      {"text", 3, engine({"MaxScanRows", "optFirstRowHasNames"})},
      {"paradox", 4, engine({})},
      {"dbase", 5, engine({})},
      {"foxpro", 6, with({})},
  };
  return choices;
}

std::vector<std::string> DriverNames() {
  std::vector<std::string> names;
  for (const DriverChoice& choice : DriverChoices()) names.emplace_back(choice.name);
  return names;
}

// The option that sets a published property, for messages.
std::string_view OptionOf(std::string_view property) {
  static const std::pair<std::string_view, std::string_view> kOptions[] = {
      {"DSNUserDescription", "--description"},
      {"DatabasePath", "--workbook"},
      {"DefaultDir", "--default-dir"},
      {"UserID", "--uid"},
      {"Password", "--password-stdin"},
      {"optImplitCommitSync", "--implicit-commit-sync"},
      {"optDSNReadOnly", "--read-only"},
      {"optFirstRowHasNames", "--first-row-has-names"},
      {"MaxScanRows", "--max-scan-rows"},
      {"optSafeTransactions", "--safe-transactions"},
      {"optThreads", "--threads"},
      {"optUserCommitSync", "--user-commit-sync"},
  };
  for (const auto& [p, option] : kOptions)
    if (p == property) return option;
  return property;
}

void AddProperties(CLI::App& verb, Properties& p) {
  verb.add_option("--description", p.description, "DSNUserDescription");
  verb.add_option("--workbook", p.workbook, "DatabasePath: the workbook");
  verb.add_option("--default-dir", p.defaultDir, "DefaultDir (one trailing backslash removed)");
  verb.add_option("--uid", p.uid, "UserID");
  verb.add_flag("--password-stdin", p.passwordStdin,
                "Password: read the first line of standard input (else $TABRIX_PASSWORD)");
  verb.add_option("--max-scan-rows", p.maxScanRows, "MaxScanRows")->transform(DecimalInteger());
  verb.add_option("--excel-version", p.excelVersion, "optExcelVersion")
      ->check(CLI::IsMember(kExcelVersions));
  verb.add_option("--implicit-commit-sync", p.implicitCommitSync, "optImplitCommitSync (text)");
  p.readOnly.option =
      verb.add_flag("--read-only,!--no-read-only", p.readOnly.value, "optDSNReadOnly");
  p.firstRowHasNames.option = verb.add_flag("--first-row-has-names,!--no-first-row-has-names",
                                            p.firstRowHasNames.value, "optFirstRowHasNames");
  verb.add_option("--safe-transactions", p.safeTransactions, "optSafeTransactions")
      ->transform(DecimalInteger());
  verb.add_option("--threads", p.threads, "optThreads")->transform(DecimalInteger());
  p.userCommitSync.option = verb.add_flag("--user-commit-sync,!--no-user-commit-sync",
                                          p.userCommitSync.value, "optUserCommitSync");
}

// Passwords never come from the command line, where other users could read them. False
// when --password-stdin finds no line to read.
bool ReadPassword(const Properties& p, std::optional<std::string>& password) {
  if (p.passwordStdin) {
    std::string line;
    if (!host::ReadSecretLine("Password: ", line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    password = line;
  } else if (const char* env = std::getenv("TABRIX_PASSWORD")) {
    password = env;
  }
  return true;
}

void Apply(const Properties& p, const std::optional<std::string>& password, TTabrixCreator& c) {
  if (p.description) c.SetDSNUserDescription(*p.description);
  if (p.workbook) c.SetDatabasePath(*p.workbook);
  if (p.defaultDir) c.SetDefaultDir(*p.defaultDir);
  if (p.uid) c.SetUserID(*p.uid);
  if (password) c.SetPassword(*password);
  if (p.maxScanRows) c.SetMaxScanRows(*p.maxScanRows);
  for (size_t i = 0; p.excelVersion && i < kExcelVersions.size(); ++i)
    if (kExcelVersions[i] == *p.excelVersion) c.SetoptExcelVersion(static_cast<TExcelVersion>(i));
  if (p.implicitCommitSync) c.SetoptImplitCommitSync(*p.implicitCommitSync);
  if (p.readOnly.Given()) c.SetoptDSNReadOnly(p.readOnly.value);
  if (p.firstRowHasNames.Given()) c.SetoptFirstRowHasNames(p.firstRowHasNames.value);
  if (p.safeTransactions) c.SetoptSafeTransactions(*p.safeTransactions);
  if (p.threads) c.SetoptThreads(*p.threads);
  if (p.userCommitSync.Given()) c.SetoptUserCommitSync(p.userCommitSync.value);
}

// The published properties the options give.
std::vector<std::string_view> GivenProperties(const Properties& p,
                                              const std::optional<std::string>& password) {
  std::vector<std::string_view> given;
  auto add = [&](bool on, std::string_view property) {
    if (on) given.push_back(property);
  };
  add(p.description.has_value(), "DSNUserDescription");
  add(p.workbook.has_value(), "DatabasePath");
  add(p.defaultDir.has_value(), "DefaultDir");
  add(p.uid.has_value(), "UserID");
  add(password.has_value(), "Password");
  add(p.implicitCommitSync.has_value(), "optImplitCommitSync");
  add(p.readOnly.Given(), "optDSNReadOnly");
  add(p.firstRowHasNames.Given(), "optFirstRowHasNames");
  add(p.maxScanRows.has_value(), "MaxScanRows");
  add(p.safeTransactions.has_value(), "optSafeTransactions");
  add(p.threads.has_value(), "optThreads");
  add(p.userCommitSync.Given(), "optUserCommitSync");
  return given;
}

// The pairs a configure sends: those of the options given, spelt as the component spells
// them, and nothing else, so every other value of the data source stays as it is.
platform::AttributePairs ChangedPairs(const Properties& p,
                                      const std::optional<std::string>& password) {
  TTabrixCreator creator(nullptr);
  Apply(p, password, creator);
  const std::vector<std::string_view> given = GivenProperties(p, password);
  platform::AttributePairs pairs;
  for (const TDataSourceValue& value : DataSourceValues())
    if (std::find(given.begin(), given.end(), value.Property) != given.end())
      pairs.emplace_back(value.Keyword, value.Spell(creator));
  return pairs;
}

// configure and remove work on a data source as its own driver, read under the lock that the
// change itself then reuses, so nothing can slip in between.
int ChangeExisting(const Args& args, bool remove, const std::optional<std::string>& password) {
  const bool system = !args.scope.user;
  const char* scope = system ? "system" : "user";
  const std::string verb = remove ? "remove" : "configure";
  const std::string lead =
      "cannot " + verb + " " + scope + " data source \"" + Shown(args.name) + "\": ";
  const platform::HKEY root = system ? platform::HKEY_LOCAL_MACHINE : platform::HKEY_CURRENT_USER;
  auto& store = platform::CurrentKeyStore();

  platform::AttributePairs pairs;
  if (!remove) {
    pairs = ChangedPairs(args.properties, password);
    if (args.properties.excelVersion)
      Warn("--excel-version is not stored in a data source; it changes nothing here");
    if (pairs.empty())
      return Usage("configure: give at least one option to change (tabrix configure --help)");
  }
  for (const auto& [k, v] : pairs)
    if (v.find('\0') != std::string::npos)
      return Fail(lead + "the value of " + k + " holds a NUL byte");

  std::shared_ptr<void> lock;
  std::string driverValue;
  bool stale = false;  // only a line under [ODBC Data Sources] is left of it
  try {
    if (!args.dryRun) lock = host::LockDataSources(system);
    auto values = store.ReadValues(root, platform::DataSourceKey(args.name));
    if (values) {
      driverValue = platform::KeyStore::Find(*values, "Driver").value_or("");
    } else if (remove) {
      auto listing = store.ReadValues(root, platform::DataSourceKey(platform::kDataSourcesSection));
      if (auto listed = listing ? platform::KeyStore::Find(*listing, args.name) : std::nullopt) {
        driverValue = *listed;
        stale = true;
      }
    }
    if (!values && !stale)
      return Fail(lead + "it does not exist (" +
                  Shown(store.Describe(root, platform::DataSourceKey(args.name)), kLongText) + ")");
    std::optional<std::string> driver = rules::DesktopDriver(driverValue);
    if (!driver) return Fail(lead + rules::WhyNotOurs(driverValue));

    std::string list;
    platform::AppendAttribute(list, "DSN", args.name);
    for (const auto& [k, v] : pairs) platform::AppendAttribute(list, k, v);
    list += '\0';
    uint16_t request = remove
                           ? (system ? platform::ODBC_REMOVE_SYS_DSN : platform::ODBC_REMOVE_DSN)
                           : (system ? platform::ODBC_CONFIG_SYS_DSN : platform::ODBC_CONFIG_DSN);
    Json json;
    int code = RunRequest(request, *driver, list, args.name, args.dryRun,
                          args.common.json ? &json : nullptr);
    if (args.common.json) {
      if (stale) json["staleListing"] = true;
      PrintJson(json);
    } else if (stale && code == kOk && !args.dryRun) {
      std::cout << "It had no section, only a stale line under [ODBC Data Sources]: that line "
                   "is removed.\n";
    }
    return code;
  } catch (const std::exception& e) {
    return Fail(lead + e.what());
  }
}

// create --driver for any driver but Excel: the library's CreateDSN with that driver's database
// code and the pairs of the options given, spelt as the component spells them. An option that
// means nothing to the driver is refused, naming it, rather than stored where nothing reads it.
int CreateForDriver(const Args& args, const std::optional<std::string>& password) {
  const DriverChoice* choice = nullptr;
  for (const DriverChoice& c : DriverChoices())
    if (args.driver == c.name) choice = &c;
  if (!choice) return Usage("--driver: no such driver: " + args.driver);
  std::string fileType;
  const std::string description = TabrixCodeUnit::GetDSNTypeString(choice->database, fileType);

  std::vector<std::string_view> given = GivenProperties(args.properties, password);
  std::string refused;
  if (args.properties.excelVersion) refused = "--excel-version";
  for (std::string_view property : given)
    if (std::find(choice->properties.begin(), choice->properties.end(), property) ==
        choice->properties.end())
      refused += (refused.empty() ? "" : ", ") + std::string(OptionOf(property));
  if (!refused.empty())
    return Usage("create --driver " + args.driver + ": " + refused + " " +
                 (refused.find(',') == std::string::npos ? "means" : "mean") +
                 " nothing to the data sources of \"" + description + "\"");

  TTabrixCreator spelling(nullptr);
  Apply(args.properties, password, spelling);
  std::string extra;
  for (const TDataSourceValue& value : DataSourceValues())
    if (value.Advanced && std::find(given.begin(), given.end(), value.Property) != given.end())
      extra += value.Keyword + ("=" + value.Spell(spelling)) + '\0';

  const bool system = !args.scope.user;
  const int32_t request = system ? 4 : 1;
  const Properties& p = args.properties;
  auto value = [](const std::optional<std::string>& v) { return v.value_or(""); };
  Json json;
  int code = RunLibraryCall(request, args.name, args.dryRun, args.common.json ? &json : nullptr, [&] {
    // As the component does for Excel: an add never replaces a data source that exists.
    if (TabrixCodeUnit::FindDSN(args.name, request)) {
      const platform::HKEY root = system ? platform::HKEY_LOCAL_MACHINE : platform::HKEY_CURRENT_USER;
      platform::PostInstallerError(
          std::string("the ") + (system ? "system" : "user") + " data source \"" + args.name +
          "\" exists already (" +
          platform::CurrentKeyStore().Describe(root, platform::DataSourceKey(args.name)) + ")");
      return false;
    }
    return TabrixCodeUnit::CreateDSN(request, choice->database, args.name, value(p.description),
                                     value(p.workbook), value(p.defaultDir), value(p.uid),
                                     value(password), extra);
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
  if (changesProperties) AddProperties(*verb, args->properties);
  verb->add_flag("--dry-run", args->dryRun,
                 "Show what would be sent and which file and section would change; change "
                 "nothing");
  AddWait(*verb, args->wait);
  AddCommon(*verb, args->common, true);
  verb->footer(example);
  return [args, userAction, systemAction, changesProperties] {
    host::UseConfigDir(args->common.configDir);
    host::UseLockWait(args->wait);
    if (std::string why = WhyNotAName(args->name); !why.empty()) return Usage(why);
    std::optional<std::string> password;
    if (changesProperties && !ReadPassword(args->properties, password))
      return Usage("--password-stdin: no password on standard input");
    if (userAction != ADD_DSN) return ChangeExisting(*args, userAction == REMOVE_DSN, password);
    if (args->driver != "excel") return CreateForDriver(*args, password);

    TTabrixCreator creator(nullptr);
    creator.SetAction(args->scope.user ? userAction : systemAction);
    creator.SetDSNNameOrAlias(args->name);
    Apply(args->properties, password, creator);
    Json json;
    int code = RunCreator(creator, args->dryRun, args->common.json ? &json : nullptr);
    if (args->common.json) PrintJson(json);
    return code;
  };
}

}  // namespace

Runner AddCreate(CLI::App& app) {
  return AddChange(app, "create", "Create a data source for an Excel workbook (or, with --driver, "
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

// register-mdw: the library's RegisterMDW, with the reason when it answers false.
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
    const platform::HKEY root =
        args->system ? platform::HKEY_LOCAL_MACHINE : platform::HKEY_CURRENT_USER;
    const std::string scope = args->system ? "system" : "user";
    const std::string shown = Shown(args->name);
    if (args->file.empty()) return Usage("FILE must not be empty");
    std::error_code unreadable;  // a folder we may not look into counts as missing
    if (!std::filesystem::exists(args->file, unreadable))
      Warn(Shown(args->file, 200) + " does not exist");
    const std::string where = Shown(
        platform::CurrentKeyStore().Describe(root, platform::DataSourceKey(args->name)), kLongText);
    // Whether the data source is there to change, with the reason when that cannot be told.
    auto defined = [&] {
      return platform::CurrentKeyStore()
          .ReadValues(root, platform::DataSourceKey(args->name))
          .has_value();
    };
    const std::string missing = shown + " is not a " + scope + " data source (" + where + ")";
    try {
      if (args->dryRun) {
        const bool exists = defined();
        if (args->common.json)
          PrintJson({{"dryRun", true},
                     {"name", args->name},
                     {"scope", scope},
                     {"target", where},
                     {"value", {{"SystemDB", args->file}}},
                     {"accepted", exists}});
        else
          std::cout << "would write SystemDB=" << Shown(args->file, 200) << "\n  to " << where
                    << '\n';
        return exists ? kOk : Fail(missing);
      }
      std::shared_ptr<void> lock = host::LockDataSources(args->system);
      bool ok = args->system ? TabrixCodeUnit::RegisterSystemMDW(args->name, args->file)
                             : TabrixCodeUnit::RegisterMDW(args->name, args->file);
      if (!ok)
        return Fail(defined() ? shown + ": its key cannot be opened for writing (" + where + ")"
                              : missing);
    } catch (const std::exception& e) {
      return Fail(shown + ": " + e.what());
    }
    NoteChange("register-mdw " + scope + " data source \"" + shown + "\"");
    std::cout << shown << ": SystemDB=" << Shown(args->file, 200) << " (" << where << ")\n";
    return kOk;
  };
}

}  // namespace tabrix::cli

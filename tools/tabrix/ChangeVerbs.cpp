// create, configure and remove. create sets up a TTabrixCreator from the options and executes
// it; configure and remove send the installer a request of their own, as the data source's
// own driver, with only the pairs the options give.
#include <cstdlib>
#include <iostream>
#include <optional>

#include "library/TabrixCodeUnit.h"
#include "platform/odbcinst/AttributeList.h"
#include "platform/odbcinst/Installer.h"
#include "platform/registry/Registry.h"
#include "platform/text/Text.h"
#include "tools/tabrix/Creators.h"

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
};

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

// The pairs a configure sends: those of the options given, spelt as the component spells
// them, and nothing else, so every other value of the data source stays as it is.
platform::AttributePairs ChangedPairs(const Properties& p,
                                      const std::optional<std::string>& password) {
  platform::AttributePairs pairs;
  auto add = [&](const char* keyword, std::string value) { pairs.emplace_back(keyword, value); };
  auto flag = [](bool on) { return std::to_string(GetIntegerFromBoolean(on)); };
  if (p.description) add("Description", *p.description);
  if (p.workbook) add("DBQ", *p.workbook);
  if (p.defaultDir) {
    std::string dir = *p.defaultDir;  // as the component's DefaultDir takes it
    if (!dir.empty() && dir.back() == '\\') dir.pop_back();
    add("DefaultDir", dir);
  }
  if (p.uid) add("UID", *p.uid);
  if (password) add("PWD", *password);
  if (p.implicitCommitSync) add("ImplicitCommitSync", *p.implicitCommitSync);
  if (p.readOnly.Given()) add("ReadOnly", flag(p.readOnly.value));
  if (p.firstRowHasNames.Given()) add("FirstRowHasNames", flag(p.firstRowHasNames.value));
  if (p.maxScanRows) add("MaxScanRows", std::to_string(*p.maxScanRows));
  if (p.safeTransactions) add("SafeTransactions", std::to_string(*p.safeTransactions));
  if (p.threads) add("Threads", std::to_string(*p.threads));
  if (p.userCommitSync.Given())
    add("UserCommitSync", GetYNStringFromBoolean(p.userCommitSync.value));
  return pairs;
}

const std::string kDataSourcesKey = "\\Software\\ODBC\\ODBC.INI\\";

std::optional<std::string> ValueOf(const platform::KeyStore::Values& values,
                                   std::string_view name) {
  for (const auto& [k, v] : values)
    if (platform::text::EqualsIgnoreCase(k, name)) return v;
  return std::nullopt;
}

// Which of the six desktop drivers a data source's Driver value names: by its description,
// or by the library odbcinst.ini gives it (Driver64 or Driver).
std::optional<std::string> DesktopDriver(const std::string& value) {
  if (value.empty()) return std::nullopt;
  std::vector<std::string> descriptions;
  for (int32_t code = 1; code <= 6; ++code) {
    std::string fileType;
    descriptions.push_back(TabrixCodeUnit::GetDSNTypeString(code, fileType));
    if (platform::text::EqualsIgnoreCase(value, descriptions.back())) return descriptions.back();
  }
  for (const std::string& description : descriptions) {
    auto definition = platform::CurrentKeyStore().ReadValues(
        platform::HKEY_LOCAL_MACHINE, "\\Software\\ODBC\\ODBCINST.INI\\" + description);
    if (definition &&
        (ValueOf(*definition, "Driver64") == value || ValueOf(*definition, "Driver") == value))
      return description;
  }
  return std::nullopt;
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
    auto values = store.ReadValues(root, kDataSourcesKey + args.name);
    if (values) {
      driverValue = ValueOf(*values, "Driver").value_or("");
    } else if (remove) {
      auto listing = store.ReadValues(root, kDataSourcesKey + "ODBC Data Sources");
      if (auto listed = listing ? ValueOf(*listing, args.name) : std::nullopt) {
        driverValue = *listed;
        stale = true;
      }
    }
    if (!values && !stale)
      return Fail(lead + "it does not exist (" +
                  Shown(store.Describe(root, kDataSourcesKey + args.name), kLongText) + ")");
    std::optional<std::string> driver = DesktopDriver(driverValue);
    if (!driver)
      return Fail(lead +
                  (driverValue.empty() ? std::string("it names no driver")
                                       : "its driver \"" + Shown(driverValue) +
                                             "\" is not one of the six desktop drivers") +
                  "; tabrix changes only data sources of those drivers");

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
  return AddChange(app, "create", "Create a data source for an Excel workbook",
                   "Example: tabrix create Sales --user --workbook /data/Sales.xls "
                   "--default-dir /data --read-only",
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

}  // namespace tabrix::cli

// create, configure and remove: a TTabrixCreator set up from the options, then executed.
#include <cstdlib>
#include <iostream>
#include <optional>

#include "platform/registry/Registry.h"
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
  std::string name;
};

void AddProperties(CLI::App& verb, Properties& p) {
  verb.add_option("--description", p.description, "DSNUserDescription");
  verb.add_option("--workbook", p.workbook, "DatabasePath: the workbook");
  verb.add_option("--default-dir", p.defaultDir, "DefaultDir (one trailing backslash removed)");
  verb.add_option("--uid", p.uid, "UserID");
  verb.add_flag("--password-stdin", p.passwordStdin,
                "Password: read the first line of standard input (else $TABRIX_PASSWORD)");
  verb.add_option("--max-scan-rows", p.maxScanRows, "MaxScanRows");
  verb.add_option("--excel-version", p.excelVersion, "optExcelVersion")
      ->check(CLI::IsMember(kExcelVersions));
  verb.add_option("--implicit-commit-sync", p.implicitCommitSync, "optImplitCommitSync (text)");
  p.readOnly.option =
      verb.add_flag("--read-only,!--no-read-only", p.readOnly.value, "optDSNReadOnly");
  p.firstRowHasNames.option = verb.add_flag("--first-row-has-names,!--no-first-row-has-names",
                                            p.firstRowHasNames.value, "optFirstRowHasNames");
  verb.add_option("--safe-transactions", p.safeTransactions, "optSafeTransactions");
  verb.add_option("--threads", p.threads, "optThreads");
  p.userCommitSync.option = verb.add_flag("--user-commit-sync,!--no-user-commit-sync",
                                          p.userCommitSync.value, "optUserCommitSync");
}

std::optional<int32_t> ToInt(const std::string& text) {
  try {
    size_t used = 0;
    long long v = std::stoll(text, &used);
    if (used == text.size() && v >= INT32_MIN && v <= INT32_MAX) return static_cast<int32_t>(v);
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

// A configure changes what the options say and keeps the rest as the data source has it.
void Prefill(TTabrixCreator& c, bool system) {
  platform::TRegistry registry;
  registry.SetRootKey(system ? platform::HKEY_LOCAL_MACHINE : platform::HKEY_CURRENT_USER);
  if (!registry.OpenKeyReadOnly("\\Software\\ODBC\\ODBC.INI\\" + c.GetDSNNameOrAlias())) return;
  c.SetDSNUserDescription(registry.ReadString("Description"));
  c.SetDatabasePath(registry.ReadString("DBQ"));
  c.SetDefaultDir(registry.ReadString("DefaultDir"));
  c.SetUserID(registry.ReadString("UID"));
  c.SetPassword(registry.ReadString("PWD"));
  c.SetoptImplitCommitSync(registry.ReadString("ImplicitCommitSync"));
  if (auto v = ToInt(registry.ReadString("ReadOnly"))) c.SetoptDSNReadOnly(*v == 1);
  if (auto v = ToInt(registry.ReadString("FirstRowHasNames"))) c.SetoptFirstRowHasNames(*v == 1);
  if (auto v = ToInt(registry.ReadString("MaxScanRows"))) c.SetMaxScanRows(*v);
  if (auto v = ToInt(registry.ReadString("SafeTransactions"))) c.SetoptSafeTransactions(*v);
  if (auto v = ToInt(registry.ReadString("Threads"))) c.SetoptThreads(*v);
  const std::string sync = registry.ReadString("UserCommitSync");
  if (!sync.empty()) c.SetoptUserCommitSync(sync == "Yes");
}

void Apply(const Properties& p, TTabrixCreator& c) {
  if (p.description) c.SetDSNUserDescription(*p.description);
  if (p.workbook) c.SetDatabasePath(*p.workbook);
  if (p.defaultDir) c.SetDefaultDir(*p.defaultDir);
  if (p.uid) c.SetUserID(*p.uid);
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

// Passwords never come from the command line, where other users could read them.
void ReadPassword(const Properties& p, TTabrixCreator& c) {
  if (p.passwordStdin) {
    std::string line;
    std::getline(std::cin, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    c.SetPassword(line);
  } else if (const char* env = std::getenv("TABRIX_PASSWORD")) {
    c.SetPassword(env);
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
  AddCommon(*verb, args->common, true);
  verb->footer(example);
  return [args, userAction, systemAction, changesProperties] {
    host::UseConfigDir(args->common.configDir);
    TTabrixCreator creator(nullptr);
    const bool system = !args->scope.user;
    creator.SetAction(system ? systemAction : userAction);
    creator.SetDSNNameOrAlias(args->name);
    if (changesProperties) {
      if (userAction == CONFIG_DSN) Prefill(creator, system);
      Apply(args->properties, creator);
      ReadPassword(args->properties, creator);
    }
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

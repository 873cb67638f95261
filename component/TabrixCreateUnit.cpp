#include "component/TabrixCreateUnit.h"

#include "library/TabrixCodeUnit.h"
#include "platform/framework/Application.h"
#include "platform/odbcinst/Installer.h"
#include "platform/registry/Registry.h"

namespace TabrixCreateUnit {

TTabrixCreator::TTabrixCreator(platform::TComponent* owner) : platform::TComponent(owner) {
  AutoInitialize();
}

TTabrixCreator::~TTabrixCreator() { AutoDestroy(); }

// The initial values go to the fields directly: the initial DefaultDir keeps its backslash.
void TTabrixCreator::AutoInitialize() {
  FAction = ADD_SYS_DSN;
  FDSNNameOrAlias = "NewTabrix";
  FDSNUserDescription = "New Tabrix Description";
  FDatabasePath = "";
  FDefaultDir = "C:\\";
  FDatabaseType = DB_EXCEL;
  FUserID = "admin";
  FoptExcelVersion = Excel2000;
  FoptSafeTransactions = 0;
  FoptDSNReadOnly = false;
  FoptFirstRowHasNames = true;
  FMaxScanRows = 8;
  FoptThreads = 3;
  FoptUserCommitSync = false;
}

void TTabrixCreator::AutoDestroy() {}

void TTabrixCreator::Loaded() { platform::TComponent::Loaded(); }

const platform::TClassInfo& TTabrixCreator::StaticClass() {
  using C = TTabrixCreator;
  using P = platform::Published<C>;
  // The stream defaults equal the initial values, so whatever a designer sets survives
  // storing and reloading the form. The strings that start non-empty are always written, so
  // that a blank set by a designer is stored too.
  static const platform::TClassInfo info{
      .Name = "TTabrixCreator",
      .Parent = &platform::TComponent::StaticClass(),
      .Create = [](platform::TComponent* owner) { return new TTabrixCreator(owner); },
      .Properties = {
          P::Class("About", "TAboutProperty"),
          P::Enumeration<TDSNExecuteAction>(
              "Action", "TDSNExecuteAction", &C::GetAction, &C::SetAction,
              {"ADD_DSN", "CONFIG_DSN", "REMOVE_DSN", "ADD_SYS_DSN", "CONFIG_SYS_DSN",
               "REMOVE_SYS_DSN", "REMOVE_DEFAULT_DSN"},
              ADD_SYS_DSN),
          P::String("DSNNameOrAlias", &C::GetDSNNameOrAlias, &C::SetDSNNameOrAlias, false),
          P::String("DSNUserDescription", &C::GetDSNUserDescription, &C::SetDSNUserDescription,
                    false),
          P::String("DatabasePath", &C::GetDatabasePath, &C::SetDatabasePath),
          P::String("DefaultDir", &C::GetDefaultDir, &C::SetDefaultDir, false),
          P::String("UserID", &C::GetUserID, &C::SetUserID, false),
          P::String("Password", &C::GetPassword, &C::SetPassword),
          P::Integer("MaxScanRows", &C::GetMaxScanRows, &C::SetMaxScanRows, 8),
          P::Enumeration<TExcelVersion>(
              "optExcelVersion", "TExcelVersion", &C::GetoptExcelVersion, &C::SetoptExcelVersion,
              {"Excel3", "Excel4", "Excel5", "Excel95", "Excel97", "Excel2000"}, Excel2000),
          P::String("optImplitCommitSync", &C::GetoptImplitCommitSync, &C::SetoptImplitCommitSync),
          P::Boolean("optDSNReadOnly", &C::GetoptDSNReadOnly, &C::SetoptDSNReadOnly, false),
          P::Boolean("optFirstRowHasNames", &C::GetoptFirstRowHasNames, &C::SetoptFirstRowHasNames,
                     true),
          P::Integer("optSafeTransactions", &C::GetoptSafeTransactions, &C::SetoptSafeTransactions,
                     0),
          P::Integer("optThreads", &C::GetoptThreads, &C::SetoptThreads, 3),
          P::Boolean("optUserCommitSync", &C::GetoptUserCommitSync, &C::SetoptUserCommitSync,
                     false),
      }};
  return info;
}

const platform::TClassInfo& TTabrixCreator::ClassType() const { return StaticClass(); }

void TTabrixCreator::SetDefaultDir(const std::string& value) {
  FDefaultDir = value;
  if (!FDefaultDir.empty() && FDefaultDir.back() == '\\') FDefaultDir.pop_back();
}

bool TTabrixCreator::Execute() { return pCreateTheDSN(); }

bool TTabrixCreator::VerifyParameters() {
  if (!FDSNNameOrAlias.empty()) return true;
  platform::PostInstallerError("Property 'DSNNameOrAlias' must not be blank");
  platform::Application->MessageDlg("Property 'DSNNameOrAlias' must not be blank",
                                    platform::mtError, {platform::mbOK}, 0);
  return false;
}

std::string TTabrixCreator::CreateAdvancedOptions() const {
  std::string options;
  for (const TDataSourceValue& value : DataSourceValues()) {
    if (!value.Advanced) continue;
    options += value.Keyword;
    options += '=';
    options += value.Spell(*this);
    options += '\0';
  }
  return options;
}

const std::vector<TDataSourceValue>& DataSourceValues() {
  using C = TTabrixCreator;
  static const std::vector<TDataSourceValue> values{
      {"DBQ", "DatabasePath", [](const C& c) { return c.GetDatabasePath(); }, false},
      {"DefaultDir", "DefaultDir", [](const C& c) { return c.GetDefaultDir(); }, false},
      {"Description", "DSNUserDescription", [](const C& c) { return c.GetDSNUserDescription(); },
       false},
      {"UID", "UserID", [](const C& c) { return c.GetUserID(); }, false},
      {"PWD", "Password", [](const C& c) { return c.GetPassword(); }, false},
      {"ImplicitCommitSync", "optImplitCommitSync",
       [](const C& c) { return c.GetoptImplitCommitSync(); }, true},
      {"ReadOnly", "optDSNReadOnly",
       [](const C& c) { return std::to_string(GetIntegerFromBoolean(c.GetoptDSNReadOnly())); },
       true},
      {"FirstRowHasNames", "optFirstRowHasNames",
       [](const C& c) { return std::to_string(GetIntegerFromBoolean(c.GetoptFirstRowHasNames())); },
       true},
      {"MaxScanRows", "MaxScanRows", [](const C& c) { return std::to_string(c.GetMaxScanRows()); },
       true},
      {"SafeTransactions", "optSafeTransactions",
       [](const C& c) { return std::to_string(c.GetoptSafeTransactions()); }, true},
      {"Threads", "optThreads", [](const C& c) { return std::to_string(c.GetoptThreads()); }, true},
      {"UserCommitSync", "optUserCommitSync",
       [](const C& c) { return GetYNStringFromBoolean(c.GetoptUserCommitSync()); }, true},
  };
  return values;
}

bool TTabrixCreator::pCreateTheDSN() {
  using namespace TabrixCodeUnit;
  const std::string options = CreateAdvancedOptions();
  const int32_t request = GetDSNActionFromEnumType(FAction);
  const int32_t database = GetDSNDatabaseFromEnumType(FDatabaseType);
  // A NUL in the free-text option would end its pair early and let the rest of the text
  // pass as pairs of its own ("Yes\0DBQ=..."), which the installer could not tell apart.
  const bool optionsSafe = FoptImplitCommitSync.find('\0') == std::string::npos;
  if (!optionsSafe && request != 0)
    platform::PostInstallerError("optImplitCommitSync holds a NUL byte");
  switch (request) {
    case 1:
    case 4:
      if (FindDSN(FDSNNameOrAlias, request)) return Exists(request);
      if (!VerifyParameters()) return false;
      return optionsSafe && CreateDSN(request, database, FDSNNameOrAlias, FDSNUserDescription,
                                      FDatabasePath, FDefaultDir, FUserID, FPassword, options);
    case 2:
    case 5:
      return optionsSafe && ConfigureDSN(request, database, FDSNNameOrAlias, FDSNUserDescription,
                                         FDatabasePath, FDefaultDir, FUserID, FPassword, options);
    case 3:
    case 6:
    case 7:
      return RemoveDSN(request, database, FDSNNameOrAlias);
    default:
      platform::PostInstallerError("the action is not one of the known actions");
      return false;
  }
}

// An add of a data source that exists already answers false without a box; why is kept for
// whoever asks the installer-error text.
bool TTabrixCreator::Exists(int32_t request) const {
  const bool system = platform::IsSystemRequest(request);
  platform::PostInstallerError(
      std::string("the ") + (system ? "system" : "user") + " data source \"" + FDSNNameOrAlias +
      "\" exists already (" +
      platform::CurrentKeyStore().Describe(
          system ? platform::HKEY_LOCAL_MACHINE : platform::HKEY_CURRENT_USER,
          platform::DataSourceKey(FDSNNameOrAlias)) +
      ")");
  return false;
}

int32_t GetDSNActionFromEnumType(TDSNExecuteAction action) {
  return action <= REMOVE_DEFAULT_DSN ? action + 1 : 0;
}

int32_t GetDSNDatabaseFromEnumType(TDatabaseType type) { return type <= DB_CLIPPER ? type + 1 : 0; }

int32_t GetIntegerFromBoolean(bool flag) { return flag ? 1 : 0; }

std::string GetYNStringFromBoolean(bool flag) { return flag ? "Yes" : "No"; }

std::string GetExcelVersion(TExcelVersion version) {
  switch (version) {
    case Excel3:
      return "Excel 3.0;";
    case Excel4:
      return "Excel 4.0;";
    case Excel5:
    case Excel95:
      return "Excel 5.0;";
    default:
      return "Excel 8.0;";
  }
}

}  // namespace TabrixCreateUnit

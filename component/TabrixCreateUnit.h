// The creator component: a non-visual component that an application sets up through its
// published properties and then asks, with Execute, to create, reconfigure or remove an ODBC
// data source for an Excel workbook. Also the translations from its enumerations to the
// library's integer codes, offered to any client.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Export.h"
#include "platform/framework/Component.h"

namespace TabrixCreateUnit {

// Plain enumerations stored in one byte: a value outside the members stays representable,
// and the translation functions answer it.
enum TDSNExecuteAction : uint8_t {
  ADD_DSN,
  CONFIG_DSN,
  REMOVE_DSN,
  ADD_SYS_DSN,
  CONFIG_SYS_DSN,
  REMOVE_SYS_DSN,
  REMOVE_DEFAULT_DSN
};
enum TDatabaseType : uint8_t {
  DB_ACCESS,
  DB_EXCEL,
  DB_TEXT,
  DB_PARADOX,
  DB_DBASE,
  DB_FOXPRO,
  DB_CLIPPER
};
enum TExcelVersion : uint8_t { Excel3, Excel4, Excel5, Excel95, Excel97, Excel2000 };

// The design-time editor of the About property; the property only carries it and is always
// null, so its declaration is all the component needs.
class TAboutProperty;

class TABRIX_API TTabrixCreator : public platform::TComponent {
 public:
  explicit TTabrixCreator(platform::TComponent* owner);  // Create
  ~TTabrixCreator() override;                            // Destroy
  void Loaded() override;

  static const platform::TClassInfo& StaticClass();
  const platform::TClassInfo& ClassType() const override;

  // Carries out the Action on the data source named DSNNameOrAlias; true when the installer
  // reported success. An add of a data source that exists already is false, silently; an
  // add with an empty name shows an error box and is false.
  bool Execute();
  // True when DSNNameOrAlias is not empty; otherwise shows the error box and answers false.
  bool VerifyParameters();
  // The driver options as keyword=value pairs each ended by a NUL, for the attribute list.
  std::string CreateAdvancedOptions() const;

  TAboutProperty* GetAbout() const { return FAbout; }
  void SetAbout(TAboutProperty* value) { FAbout = value; }
  TDSNExecuteAction GetAction() const { return FAction; }
  void SetAction(TDSNExecuteAction value) { FAction = value; }
  std::string GetDSNNameOrAlias() const { return FDSNNameOrAlias; }
  void SetDSNNameOrAlias(const std::string& value) { FDSNNameOrAlias = value; }
  std::string GetDSNUserDescription() const { return FDSNUserDescription; }
  void SetDSNUserDescription(const std::string& value) { FDSNUserDescription = value; }
  std::string GetDatabasePath() const { return FDatabasePath; }
  void SetDatabasePath(const std::string& value) { FDatabasePath = value; }
  std::string GetDefaultDir() const { return FDefaultDir; }
  // Removes one trailing backslash.
  void SetDefaultDir(const std::string& value);
  std::string GetUserID() const { return FUserID; }
  void SetUserID(const std::string& value) { FUserID = value; }
  std::string GetPassword() const { return FPassword; }
  void SetPassword(const std::string& value) { FPassword = value; }
  int32_t GetMaxScanRows() const { return FMaxScanRows; }
  void SetMaxScanRows(int32_t value) { FMaxScanRows = value; }
  TExcelVersion GetoptExcelVersion() const { return FoptExcelVersion; }
  void SetoptExcelVersion(TExcelVersion value) { FoptExcelVersion = value; }
  std::string GetoptImplitCommitSync() const { return FoptImplitCommitSync; }
  void SetoptImplitCommitSync(const std::string& value) { FoptImplitCommitSync = value; }
  bool GetoptDSNReadOnly() const { return FoptDSNReadOnly; }
  void SetoptDSNReadOnly(bool value) { FoptDSNReadOnly = value; }
  bool GetoptFirstRowHasNames() const { return FoptFirstRowHasNames; }
  void SetoptFirstRowHasNames(bool value) { FoptFirstRowHasNames = value; }
  int32_t GetoptSafeTransactions() const { return FoptSafeTransactions; }
  void SetoptSafeTransactions(int32_t value) { FoptSafeTransactions = value; }
  int32_t GetoptThreads() const { return FoptThreads; }
  void SetoptThreads(int32_t value) { FoptThreads = value; }
  bool GetoptUserCommitSync() const { return FoptUserCommitSync; }
  void SetoptUserCommitSync(bool value) { FoptUserCommitSync = value; }

 private:
  void AutoInitialize();
  void AutoDestroy();
  bool pCreateTheDSN();
  bool Exists(int32_t request) const;

  TAboutProperty* FAbout = nullptr;
  TDSNExecuteAction FAction;
  std::string FDSNNameOrAlias;
  std::string FDSNUserDescription;
  std::string FDatabasePath;
  std::string FDefaultDir;
  TDatabaseType FDatabaseType;  // fixed to DB_EXCEL; selects the driver
  std::string FUserID;
  std::string FPassword;
  TExcelVersion FoptExcelVersion;
  std::string FoptImplitCommitSync;
  bool FoptDSNReadOnly;
  int32_t FMaxScanRows;
  bool FoptFirstRowHasNames;
  int32_t FoptSafeTransactions;
  int32_t FoptThreads;
  bool FoptUserCommitSync;
};

// One value a TTabrixCreator gives its data source: the keyword in the attribute list, the
// published property it comes from, and that property's value as the list spells it. The
// library sends the first five from Execute's arguments; CreateAdvancedOptions sends the
// others, in this order.
struct TDataSourceValue {
  const char* Keyword;
  const char* Property;
  std::string (*Spell)(const TTabrixCreator& creator);
  bool Advanced;  // one of CreateAdvancedOptions' pairs
};
TABRIX_API const std::vector<TDataSourceValue>& DataSourceValues();

// The installer request code of an action: ADD_DSN 1 to REMOVE_DEFAULT_DSN 7; 0 for others.
TABRIX_API int32_t GetDSNActionFromEnumType(TDSNExecuteAction action);
// The library's database code: DB_ACCESS 1 to DB_CLIPPER 7; 0 for others.
TABRIX_API int32_t GetDSNDatabaseFromEnumType(TDatabaseType type);
TABRIX_API int32_t GetIntegerFromBoolean(bool flag);       // 1 or 0
TABRIX_API std::string GetYNStringFromBoolean(bool flag);  // "Yes" or "No"
// The driver's file-type text for a version: "Excel 3.0;" to "Excel 8.0;", the last also
// for any value outside the enumeration.
TABRIX_API std::string GetExcelVersion(TExcelVersion version);

}  // namespace TabrixCreateUnit

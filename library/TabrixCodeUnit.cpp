#include "library/TabrixCodeUnit.h"

#include <initializer_list>

#include "platform/framework/Application.h"
#include "platform/odbcinst/AttributeList.h"
#include "platform/odbcinst/Installer.h"
#include "platform/registry/Registry.h"

namespace TabrixCodeUnit {
namespace {

using platform::TRegistry;

bool HasNul(std::initializer_list<const std::string*> args) {
  for (const std::string* s : args)
    if (s->find('\0') != std::string::npos) return true;
  return false;
}

// The installer's request is 16 bits wide: a wider code would wrap to another request (65540
// to 4, a system data source where FindDSN looks under the current user).
// Refuses a call before anything is sent, keeping the reason for the installer-error text.
bool Refuse(const std::string& reason, uint32_t code = 1 /* ODBC_ERROR_GENERAL_ERR */) {
  platform::PostInstallerError("the library refused it: " + reason, code);
  return false;
}

constexpr uint32_t kInvalidRequestType = 5;  // ODBC_ERROR_INVALID_REQUEST_TYPE

bool FitsRequest(int32_t requestCode) { return requestCode >= 0 && requestCode <= 0xFFFF; }

// Empty, or pairs each ended by one NUL; trailing extra NULs are harmless. Anything else
// would end the list early or drop what follows, unseen by the installer.
bool WellFormedExtras(const std::string& extras) {
  if (extras.empty()) return true;
  platform::AttributePairs pairs;
  size_t consumed = 0;
  std::string reason;
  std::string list = extras + '\0';
  if (!platform::ParseAttributeList(list, pairs, consumed, reason)) return false;
  return list.find_first_not_of('\0', consumed) == std::string::npos;
}

bool ConfigDataSource(int32_t requestCode, int32_t databaseCode, const std::string& name,
                      const std::string& description, const std::string& databasePath,
                      const std::string& defaultDir, const std::string& userId,
                      const std::string& password, const std::string& extraAttributes) {
  if (!FitsRequest(requestCode))
    return Refuse("request code " + std::to_string(requestCode) + " is outside 0 to 65535",
                  kInvalidRequestType);
  if (HasNul({&name, &description, &databasePath, &defaultDir, &userId, &password}))
    return Refuse("an argument holds a NUL byte");
  if (!WellFormedExtras(extraAttributes))
    return Refuse("the extra attributes are not keyword=value pairs each ended by a NUL");

  std::string fileType;
  const std::string driver = GetDSNTypeString(databaseCode, fileType);
  const std::string driverPath = GetODBCInfo(driver).Driver.str();

  std::string list;
  platform::AppendAttribute(list, "DSN", name);
  platform::AppendAttribute(list, "Driver", driverPath);
  platform::AppendAttribute(list, "DBQ", databasePath);
  platform::AppendAttribute(list, "DefaultDir", defaultDir);
  platform::AppendAttribute(list, "Description", description);
  platform::AppendAttribute(list, "FIL", fileType);
  platform::AppendAttribute(list, "UID", userId);
  platform::AppendAttribute(list, "PWD", password);
  list += extraAttributes;
  list += '\0';
  return platform::SQLConfigDataSource(nullptr, static_cast<uint16_t>(requestCode), driver, list);
}

bool RegisterWorkgroup(platform::HKEY root, const std::string& name,
                       const std::string& workgroupFile) {
  if (workgroupFile.empty()) return false;
  TRegistry registry;
  registry.SetLazyWrite(false);
  registry.SetRootKey(root);
  if (!registry.OpenKey(platform::DataSourceKey(name), false)) return false;
  registry.WriteString("SystemDB", workgroupFile);
  registry.CloseKey();
  platform::Application->ProcessMessages();
  return true;
}

}  // namespace

std::string GetDSNTypeString(int32_t databaseCode, std::string& fileType) {
  fileType.clear();
  switch (databaseCode) {
    case 1:
      fileType = "MS Access";
      return "Microsoft Access Driver (*.mdb)";
    case 2:
      fileType = "Excel 8.0";
      return "Microsoft Excel Driver (*.xls)";
    case 3:
      return "Microsoft Text Driver (*.txt, *.csv)";
    case 4:
      fileType = "Paradox 5.0";
      return "Microsoft Paradox Driver (*.db )";
    case 5:
    case 7:
      fileType = "dBase 5.0";
      return "Microsoft dBase Driver (*.dbf)";
    case 6:
      fileType = "FoxPro Tables";
      return "Microsoft Visual FoxPro Driver (*.dbf)";
    default:
      return "";
  }
}

TODBCDriverInfo GetODBCInfo(const std::string& driverDescription) {
  // Everything is read before the record is made, so that an error raised by a read leaves
  // the caller's record untouched even where the result is built in place.
  std::string driver, odbcVersion, dsn, fileExtensions, uid;
  TRegistry registry;
  registry.SetRootKey(platform::HKEY_LOCAL_MACHINE);
  if (registry.OpenKeyReadOnly(platform::DriverKey(driverDescription))) {
    driver = registry.ReadString("Driver");
    odbcVersion = registry.ReadString("DriverODBCVer");
    dsn = registry.ReadString("DSN");
    fileExtensions = registry.ReadString("FileExtns");
    uid = registry.ReadString("UID");
  }
  registry.CloseKey();

  TODBCDriverInfo info{};
  info.Driver.assign(driver);
  info.DriverODBCVer.assign(odbcVersion);
  info.DSN.assign(dsn);
  info.FileExtns.assign(fileExtensions);
  info.UID.assign(uid);
  return info;
}

bool FindDSN(const std::string& name, int32_t requestCode) {
  // Refused as every other function refuses such a code, rather than answered "not found".
  if (!FitsRequest(requestCode))
    return Refuse("request code " + std::to_string(requestCode) + " is outside 0 to 65535",
                  kInvalidRequestType);
  TRegistry registry;
  if (requestCode == platform::ODBC_ADD_DSN) registry.SetRootKey(platform::HKEY_CURRENT_USER);
  if (requestCode == platform::ODBC_ADD_SYS_DSN) registry.SetRootKey(platform::HKEY_LOCAL_MACHINE);
  const bool found = registry.OpenKey(platform::DataSourceKey(name), false);
  registry.CloseKey();
  return found;
}

bool CreateDSN(int32_t requestCode, int32_t databaseCode, const std::string& name,
               const std::string& description, const std::string& databasePath,
               const std::string& defaultDir, const std::string& userId,
               const std::string& password, const std::string& extraAttributes) {
  return ConfigDataSource(requestCode, databaseCode, name, description, databasePath, defaultDir,
                          userId, password, extraAttributes);
}

bool ConfigureDSN(int32_t requestCode, int32_t databaseCode, const std::string& name,
                  const std::string& description, const std::string& databasePath,
                  const std::string& defaultDir, const std::string& userId,
                  const std::string& password, const std::string& extraAttributes) {
  return ConfigDataSource(requestCode, databaseCode, name, description, databasePath, defaultDir,
                          userId, password, extraAttributes);
}

bool RemoveDSN(int32_t requestCode, int32_t databaseCode, const std::string& name) {
  if (!FitsRequest(requestCode))
    return Refuse("request code " + std::to_string(requestCode) + " is outside 0 to 65535",
                  kInvalidRequestType);
  if (HasNul({&name})) return Refuse("the name holds a NUL byte");
  std::string fileType;
  const std::string driver = GetDSNTypeString(databaseCode, fileType);
  uint16_t request = platform::ODBC_REMOVE_DSN;
  if (requestCode == platform::ODBC_REMOVE_SYS_DSN ||
      requestCode == platform::ODBC_REMOVE_DEFAULT_DSN)
    request = static_cast<uint16_t>(requestCode);
  std::string list;
  platform::AppendAttribute(list, "DSN", name);
  list += '\0';
  return platform::SQLConfigDataSource(nullptr, request, driver, list);
}

bool RegisterSystemMDW(const std::string& name, const std::string& workgroupFile) {
  return RegisterWorkgroup(platform::HKEY_LOCAL_MACHINE, name, workgroupFile);
}

bool RegisterMDW(const std::string& name, const std::string& workgroupFile) {
  return RegisterWorkgroup(platform::HKEY_CURRENT_USER, name, workgroupFile);
}

}  // namespace TabrixCodeUnit

// The installer on Linux.
//
// Where the driver's section in odbcinst.ini names a setup library, the request goes to
// unixODBC's SQLConfigDataSource and the driver's own ConfigDSN decides, as on Windows.
// Otherwise this installer does what a driver's setup would: it writes the data source into
// the user (requests 1-3, 7) or system (4-6) odbc.ini with one locked, atomic rewrite.
// Either way it first refuses what could break or inject into odbc.ini.
#include <algorithm>
#include <system_error>
#include <variant>

#include "platform/odbcini/OdbcIni.h"
#include "platform/odbcinst/AttributeList.h"
#include "platform/odbcinst/Installer.h"
#include "platform/text/Text.h"

// After our own headers: unixODBC defines the request codes as macros of the same values.
#include <odbcinst.h>

namespace platform {
namespace {

namespace ini = odbcini;

thread_local std::string lastError;

bool Refuse(DWORD code, std::string why) {
  lastError = std::move(why);
  SQLPostInstallerError(code, lastError.c_str());
  return false;
}

// The section's keys: Driver first (as the description, so unixODBC resolves it through
// odbcinst.ini), then the other pairs in order; a repeated keyword keeps its first place
// and takes the last value.
ini::KeyValues SectionKeys(const AttributePairs& pairs, const std::string& driver) {
  ini::KeyValues keys{{"Driver", driver}};
  for (const auto& pair : pairs) {
    const std::string& keyword = pair.first;
    if (text::EqualsIgnoreCase(keyword, "DSN") || text::EqualsIgnoreCase(keyword, "Driver"))
      continue;
    auto same = [&](const auto& kv) { return text::EqualsIgnoreCase(kv.first, keyword); };
    if (auto it = std::find_if(keys.begin(), keys.end(), same); it != keys.end())
      it->second = pair.second;
    else
      keys.push_back(pair);
  }
  return keys;
}

// A request that passed every check, and where it goes.
struct Checked {
  uint16_t request = 0;
  std::string name;
  AttributePairs pairs;
  std::string setup;  // the driver's setup library, or empty: we write the file ourselves
  std::string file;   // the odbc.ini we write

  bool adds() const { return request == ODBC_ADD_DSN || request == ODBC_ADD_SYS_DSN; }
  bool configures() const { return request == ODBC_CONFIG_DSN || request == ODBC_CONFIG_SYS_DSN; }
};

struct Refusal {
  DWORD code;
  std::string reason;
};

std::variant<Checked, Refusal> Check(uint16_t request, const std::string& driver,
                                     const std::string& attributes) {
  Checked c;
  c.request = request;
  if (request < ODBC_ADD_DSN || request > ODBC_REMOVE_DEFAULT_DSN)
    return Refusal{ODBC_ERROR_INVALID_REQUEST_TYPE,
                   "invalid request code " + std::to_string(request)};

  size_t consumed = 0;
  std::string why;
  if (!ParseAttributeList(attributes, c.pairs, consumed, why))
    return Refusal{ODBC_ERROR_INVALID_KEYWORD_VALUE, why};

  c.name = request == ODBC_REMOVE_DEFAULT_DSN ? "Default" : "";
  for (const auto& [k, v] : c.pairs) {
    if (!(why = ini::CheckKeyword(k)).empty() || !(why = ini::CheckValue(k, v)).empty())
      return Refusal{ODBC_ERROR_INVALID_KEYWORD_VALUE, why};
    if (request != ODBC_REMOVE_DEFAULT_DSN && text::EqualsIgnoreCase(k, "DSN")) c.name = v;
  }
  if (!(why = ini::CheckSectionName(c.name)).empty()) return Refusal{ODBC_ERROR_INVALID_DSN, why};

  std::string drivers;
  std::optional<ini::Section> definition;
  const std::string driversFile = ini::DriversFile();
  try {
    if (!driver.empty() && ini::ReadFile(driversFile, drivers))
      definition = ini::FindSection(drivers, driver);
  } catch (const std::system_error& e) {
    return Refusal{ODBC_ERROR_GENERAL_ERR, e.what()};
  }
  if (!definition)
    return Refusal{ODBC_ERROR_INVALID_NAME,
                   "the driver \"" + driver + "\" is not defined in " + driversFile};
  if (!(why = ini::CheckValue(c.name, driver)).empty())
    return Refusal{ODBC_ERROR_INVALID_NAME, why};

  std::string_view body =
      std::string_view(drivers).substr(definition->body, definition->end - definition->body);
  c.setup = ini::FindKey(body, "Setup64").value_or("");
  if (c.setup.empty()) c.setup = ini::FindKey(body, "Setup").value_or("");
  const bool system = request >= ODBC_ADD_SYS_DSN && request <= ODBC_REMOVE_SYS_DSN;
  c.file = system ? ini::SystemFile() : ini::UserFile();
  return c;
}

std::string Missing(const Checked& c) {
  return "the data source \"" + c.name + "\" does not exist in " + c.file;
}

class UnixOdbcInstaller : public Installer {
 public:
  InstallPlan Plan(uint16_t request, const std::string& driver,
                   const std::string& attributes) override {
    auto checked = Check(request, driver, attributes);
    if (auto* refusal = std::get_if<Refusal>(&checked)) return {false, refusal->reason, ""};
    const Checked& c = std::get<Checked>(checked);
    if (!c.setup.empty()) return {true, "", "decided by the driver's setup library " + c.setup};
    if (!c.adds()) {
      std::string text;
      try {
        if (!ini::ReadFile(c.file, text) || !ini::FindSection(text, c.name))
          return {false, Missing(c), ""};
      } catch (const std::system_error& e) {
        return {false, e.what(), ""};
      }
    }
    return {true, "", c.file + ", section [" + c.name + "]"};
  }

  bool ConfigDataSource(HWND, uint16_t request, const std::string& driver,
                        const std::string& attributes) override {
    lastError.clear();
    auto checked = Check(request, driver, attributes);
    if (auto* refusal = std::get_if<Refusal>(&checked))
      return Refuse(refusal->code, refusal->reason);
    const Checked& c = std::get<Checked>(checked);
    if (!c.setup.empty()) return Delegate(request, driver, attributes);
    return Write(c, driver);
  }

  std::string LastError() const override { return lastError; }

 private:
  // The driver's own setup library decides, through unixODBC.
  static bool Delegate(uint16_t request, const std::string& driver, const std::string& attributes) {
    if (::SQLConfigDataSource(nullptr, request, driver.c_str(), attributes.data())) return true;
    DWORD code = 0;
    char message[SQL_MAX_MESSAGE_LENGTH] = {};
    WORD length = 0;
    if (SQLInstallerError(1, &code, message, sizeof message, &length) == SQL_SUCCESS)
      lastError = message;
    if (lastError.empty()) lastError = "the driver's setup library refused the request";
    return false;
  }

  static bool Write(const Checked& c, const std::string& driver) {
    const std::string sources(ini::kDataSourcesSection);
    auto edit = [&](std::string& text, std::string& why) {
      if (!c.adds() && !ini::FindSection(text, c.name)) {
        why = Missing(c);
        return false;
      }
      if (c.adds() || c.configures()) {
        ini::SetKey(text, sources, c.name, driver);
        ini::WriteSection(text, c.name, SectionKeys(c.pairs, driver),
                          c.adds() ? ini::Merge::Replace : ini::Merge::Update);
      } else {
        ini::RemoveSection(text, c.name);
        ini::RemoveKey(text, sources, c.name);
      }
      return true;
    };
    std::string why;
    const bool system = c.request >= ODBC_ADD_SYS_DSN && c.request <= ODBC_REMOVE_SYS_DSN;
    // Files made for the user hold passwords: readable by the user alone.
    if (ini::RewriteFile(c.file, c.adds(), system ? 0644 : 0600, edit, why)) return true;
    return Refuse(c.adds()         ? ODBC_ERROR_CREATE_DSN_FAILED
                  : c.configures() ? ODBC_ERROR_REQUEST_FAILED
                                   : ODBC_ERROR_REMOVE_DSN_FAILED,
                  why);
  }
};

}  // namespace

Installer& DefaultInstaller() {
  static UnixOdbcInstaller installer;
  return installer;
}

}  // namespace platform

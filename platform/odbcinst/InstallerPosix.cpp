// The installer on Linux.
//
// Where the driver's section in odbcinst.ini names a setup library, the request goes to
// unixODBC's SQLConfigDataSource and the driver's own ConfigDSN decides, as on Windows.
// Otherwise this installer does what a driver's setup would: it writes the data source into
// the user (requests 1-3, 7) or system (4-6) odbc.ini with one locked, atomic rewrite.
// Either way it first refuses what could break or inject into odbc.ini.
#include <dlfcn.h>

#include <algorithm>
#include <mutex>
#include <system_error>

#include "platform/odbcini/OdbcIni.h"
#include "platform/odbcinst/AttributeList.h"
#include "platform/odbcinst/Installer.h"
#include "platform/odbcinst/InstallerLog.h"
#include "platform/odbcinst/OdbcInstLibrary.h"
#include "platform/text/Text.h"

// After our own headers: unixODBC defines the request codes as macros of the same values.
#include <odbcinst.h>

namespace platform {
namespace {

namespace ini = odbcini;

std::mutex& LogMutex() {
  static std::mutex mutex;
  return mutex;
}

// A refusal of our own, posted to libodbcinst's log too, as a driver's setup would post it.
Failure Refuse(Failure refusal) {
  ResetInstallerLog(refusal.reason, static_cast<uint32_t>(refusal.code));
  return refusal;
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
  std::vector<std::string> libraries;  // the driver's Driver64 and Driver, its other names

  bool adds() const { return request == ODBC_ADD_DSN || request == ODBC_ADD_SYS_DSN; }
  bool configures() const { return request == ODBC_CONFIG_DSN || request == ODBC_CONFIG_SYS_DSN; }
};

// Its code is the installer's error code.
using Refusal = Failure;

// The request's code, its attribute list and the data source's name, into `c`.
std::optional<Refusal> CheckRequest(uint16_t request, const std::string& attributes, Checked& c) {
  c.request = request;
  if (request < ODBC_ADD_DSN || request > ODBC_REMOVE_DEFAULT_DSN)
    return Refusal{ODBC_ERROR_INVALID_REQUEST_TYPE,
                   "invalid request code " + std::to_string(request)};
  size_t consumed = 0;
  std::string why;
  if (!ParseAttributeList(attributes, c.pairs, consumed, why))
    return Refusal{ODBC_ERROR_INVALID_KEYWORD_VALUE, why};
  c.name = request == ODBC_REMOVE_DEFAULT_DSN ? "Default" : "";
  if (!(why = ini::CheckPairs(c.pairs)).empty())
    return Refusal{ODBC_ERROR_INVALID_KEYWORD_VALUE, why};
  for (const auto& [k, v] : c.pairs)
    if (request != ODBC_REMOVE_DEFAULT_DSN && text::EqualsIgnoreCase(k, "DSN")) c.name = v;
  if (!(why = ini::CheckSectionName(c.name)).empty() || !(why = WhyListingName(c.name)).empty())
    return Refusal{ODBC_ERROR_INVALID_DSN, why};
  return std::nullopt;
}

Result<Checked> Check(uint16_t request, const std::string& driver,
                      const std::string& attributes) {
  Checked c;
  if (std::optional<Refusal> refused = CheckRequest(request, attributes, c)) return *refused;
  std::string why;
  std::string drivers;
  std::optional<ini::Section> definition;
  ini::Reader reader = ini::Reader::Open;
  const std::string driversFile = ini::DriversFile();
  try {
    // [ODBC] holds the driver manager's own settings, never a driver (unixODBC skips it).
    if (!driver.empty() && !text::EqualsIgnoreCase(driver, "ODBC") &&
        ini::ReadDriversFile(driversFile, drivers))
      definition = ini::FindSection(drivers, driver);
  } catch (const std::system_error& e) {
    return Refusal{ODBC_ERROR_GENERAL_ERR, e.what()};
  }
  if (!(why = ini::WhyUnread(drivers, driversFile, ini::Holds::Drivers)).empty())
    return Refusal{ODBC_ERROR_GENERAL_ERR, why};
  // unixODBC reads the user's drivers beneath the drivers file: one the drivers file lacks
  // may be defined there.
  if (!definition && !driver.empty() && !text::EqualsIgnoreCase(driver, "ODBC")) {
    std::string user;
    try {
      if (ini::ReadFile(ini::UserDriversFile(), user) && !ini::FindRejection(user) &&
          (definition = ini::FindSection(user, driver, ini::Reader::Append))) {
        drivers = std::move(user);
        reader = ini::Reader::Append;
      }
    } catch (const std::system_error&) {
      // unixODBC adds nothing from a file it cannot read.
    }
  }
  if (!definition)
    return Refusal{ODBC_ERROR_INVALID_NAME,
                   "the driver \"" + driver + "\" is not defined in " + driversFile};
  if (!(why = ini::CheckValue(c.name, driver)).empty())
    return Refusal{ODBC_ERROR_INVALID_NAME, why};

  std::string_view body =
      std::string_view(drivers).substr(definition->body, definition->end - definition->body);
  c.setup = ini::FindKey(body, "Setup64", reader).value_or("");
  if (c.setup.empty()) c.setup = ini::FindKey(body, "Setup", reader).value_or("");
  for (const char* key : {"Driver64", "Driver"})
    if (auto library = ini::FindKey(body, key, reader); library && !library->empty())
      c.libraries.push_back(*library);
  const bool system = IsSystemRequest(request);
  c.file = system ? ini::SystemFile() : ini::UserFile();
  return c;
}

// A configure changes the pairs it was given and nothing else. The Driver value and the
// listing line stay as they are while they name the same driver (by its description or its
// library); when they name another, both take this driver's description, the listing line
// under the section's own spelling of the name.
void Configure(std::string& text, const Checked& c, const std::string& driver);

std::string Missing(const Checked& c) {
  return "the data source \"" + c.name + "\" does not exist in " + c.file;
}

// A data source's Driver value names the driver by its description, or by its library.
bool NamesDriver(std::string_view value, const std::string& driver, const Checked& c) {
  if (text::EqualsIgnoreCase(value, driver)) return true;
  return std::find(c.libraries.begin(), c.libraries.end(), value) != c.libraries.end();
}

// Whether our own writer can carry out a configure or remove: the section exists, or, for a
// remove, a listing line is left over without its section.
bool Present(std::string_view text, const Checked& c) {
  if (ini::FindSection(text, c.name)) return true;
  if (c.configures()) return false;
  auto listing = ini::FindSection(text, ini::kDataSourcesSection);
  return listing && ini::FindKey(text.substr(listing->body, listing->end - listing->body), c.name);
}

// Why a setup library cannot serve a request, where unixODBC gives only its general error.
std::string SetupProblem(const std::string& setup) {
  void* library = dlopen(setup.c_str(), RTLD_LAZY | RTLD_LOCAL);
  if (!library) return "the driver's setup library cannot be loaded: " + std::string(dlerror());
  const bool hasConfigDsn = dlsym(library, "ConfigDSN") != nullptr;
  dlclose(library);
  return hasConfigDsn ? "" : "the driver's setup library " + setup + " has no ConfigDSN function";
}

void Configure(std::string& text, const Checked& c, const std::string& driver) {
  const ini::Section s = *ini::FindSection(text, c.name);
  const std::string name(s.name);
  auto current = ini::FindKey(std::string_view(text).substr(s.body, s.end - s.body), "Driver");
  ini::KeyValues keys = SectionKeys(c.pairs, driver);
  if (current && NamesDriver(*current, driver, c)) {
    keys.erase(keys.begin());  // Driver, as written
    ini::WriteSection(text, name, keys, ini::Merge::Update);
    return;
  }
  ini::WriteSection(text, name, keys, ini::Merge::Update);
  ini::SetKey(text, ini::kDataSourcesSection, name, driver);
}

class UnixOdbcInstaller : public Installer {
 public:
  InstallPlan Plan(uint16_t request, const std::string& driver,
                   const std::string& attributes) override {
    auto checked = Check(request, driver, attributes);
    if (!checked) return {false, checked.reason(), ""};
    const Checked& c = *checked;
    if (!c.setup.empty()) return {true, "", "decided by the driver's setup library " + c.setup};
    if (!c.adds()) {
      try {
        // Shared: under the caller's lock, the text its own existence test read.
        const auto text = ini::ReadSharedFile(c.file);
        if (!text || !Present(*text, c)) return {false, Missing(c), "", true};
      } catch (const std::system_error& e) {
        return {false, e.what(), ""};
      }
    }
    return {true, "", c.file + ", section [" + c.name + "]"};
  }

  Status ConfigDataSource(HWND, uint16_t request, const std::string& driver,
                          const std::string& attributes) override {
    ResetInstallerLog();  // a success leaves no reason behind
    auto checked = Check(request, driver, attributes);
    if (!checked) return Refuse(checked.failure());
    if (!checked->setup.empty()) return Delegate(request, driver, attributes);
    return Write(*checked, driver);
  }

 private:
  // The driver's own setup library decides, through unixODBC.
  static Status Delegate(uint16_t request, const std::string& driver,
                         const std::string& attributes) {
    std::optional<Failure> failure;
    {
      InstallerLogLock serial;
      ResetLogLocked("", 0);  // the log is the process's: what it holds next is this call's
      if (CurrentOdbcInstLibrary().ConfigDataSource(request, driver, attributes)) return {};
      failure = NewestLogRecord();
    }
    if (!failure) failure = Refused("");
    if (failure->code == ODBC_ERROR_GENERAL_ERR) {
      std::string setup = SetupLibrary(driver);
      if (std::string problem = setup.empty() ? "" : SetupProblem(setup); !problem.empty())
        failure->reason = problem;
    }
    if (failure->reason.empty()) failure->reason = "the driver's setup library refused the request";
    return *failure;
  }

  static std::string SetupLibrary(const std::string& driver) {
    auto checked = Check(ODBC_ADD_DSN, driver, std::string("DSN=x\0\0", 7));
    return checked ? checked->setup : "";
  }

  static Status Write(const Checked& c, const std::string& driver) {
    const std::string sources(ini::kDataSourcesSection);
    // The listing's line is added or removed as the file is written (a splice), where that
    // is one whole line: a large file's listing comes first, and everything after it would
    // otherwise move in memory.
    auto edit = [&](std::string& text, std::optional<ini::Splice>& splice, std::string& why) {
      if (c.configures() && !Present(text, c)) {
        why = Missing(c);
        return false;
      }
      if (c.adds()) {
        // Where the listing is not the last section, the two changes touch separate parts of
        // the file and their order does not matter; else the listing's comes first.
        const auto listing = ini::FindSection(text, sources);
        const bool apart = listing && listing->end < text.size();
        if (!apart) ini::SetKey(text, sources, c.name, driver);
        ini::WriteSection(text, c.name, SectionKeys(c.pairs, driver), ini::Merge::Replace);
        if (apart && !(splice = ini::SetKeySplice(text, sources, c.name, driver)))
          ini::SetKey(text, sources, c.name, driver);
      } else if (c.configures()) {
        Configure(text, c, driver);
      } else {
        // One pass finds and removes the sections; without one, a listing line must be there.
        if (!ini::RemoveSection(text, c.name) && !Present(text, c)) {
          why = Missing(c);
          return false;
        }
        if (!(splice = ini::RemoveKeySplice(text, sources, c.name)))
          ini::RemoveKey(text, sources, c.name);
      }
      return true;
    };
    std::string why;
    const bool system = IsSystemRequest(c.request);
    // Files made for the user hold passwords: readable by the user alone.
    // A missing file reads as empty, so a configure or remove of it is refused by the edit,
    // with the reason its plan gives, and nothing is written.
    if (ini::RewriteFile(c.file, true, system ? 0644 : 0600, edit, why)) return {};
    return Refuse(Failure{c.adds()         ? ODBC_ERROR_CREATE_DSN_FAILED
                          : c.configures() ? ODBC_ERROR_REQUEST_FAILED
                                           : ODBC_ERROR_REMOVE_DSN_FAILED,
                          why});
  }
};

}  // namespace

InstallerLogLock::InstallerLogLock() { LogMutex().lock(); }
InstallerLogLock::~InstallerLogLock() { LogMutex().unlock(); }

Installer& DefaultInstaller() {
  static UnixOdbcInstaller installer;
  return installer;
}

}  // namespace platform

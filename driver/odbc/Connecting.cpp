// Opening a connection: the data source's keys, from the ODBC files or a connection string,
// read into the engine's options.
#include <dirent.h>
#include <odbcinst.h>
#include <sys/stat.h>

#include <cstring>
#include <map>
#include <optional>

#include "formats/Folder.h"
#include "odbc/ConnectionString.h"
#include "odbc/Handles.h"

namespace tabrix::odbc {
namespace {

using Keys = std::map<std::string, std::string>;  // by lower-case key

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// The keys this driver reads, and the ones it accepts as having no effect here.
const char* const kKeys[] = {"DBQ", "DefaultDir", "FirstRowHasNames", "HDR", "MaxScanRows",
                             "TypeGuessRows", "ReadOnly", "IMEX", "Extensions", "Format",
                             "ColNameHeader", "CharacterSet"};

// Which driver the data source names: its description as the catalogue has it (the
// descriptions of later versions say the same words), else nothing.
std::optional<formats::DatabaseKind> KindOfDescription(const std::string& description) {
  const std::string d = Lower(description);
  if (d.find("text") != std::string::npos) return formats::DatabaseKind::Text;
  if (d.find("foxpro") != std::string::npos) return formats::DatabaseKind::FoxPro;
  if (d.find("dbase") != std::string::npos) return formats::DatabaseKind::DBase;
  if (d.find("excel") != std::string::npos) return formats::DatabaseKind::Excel;
  return std::nullopt;
}

bool IsFolder(const std::string& path) {
  struct stat st{};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A folder without a description to go by (Driver= names the library): of .dbf tables when
// it holds one and no text file, else of text files.
formats::DatabaseKind KindOfFolder(const std::string& folder) {
  bool dbf = false, text = false;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = Lower(entry->d_name);
      const size_t dot = name.rfind('.');
      const std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
      if (ext == "dbf") dbf = true;
      if (ext == "txt" || ext == "csv" || ext == "tab" || ext == "asc") text = true;
    }
    ::closedir(dir);
  }
  return dbf && !text ? formats::DatabaseKind::DBase : formats::DatabaseKind::Text;
}

bool ParseBool(const std::string& value, bool& out) {
  std::string v = Lower(value);
  if (v == "1" || v == "yes" || v == "true" || v == "on") return out = true, true;
  if (v == "0" || v == "no" || v == "false" || v == "off") return out = false, true;
  return false;
}

// A key's value; null when it is missing or empty.
const std::string* Get(const Keys& keys, const char* key) {
  auto it = keys.find(Lower(key));
  return it == keys.end() || it->second.empty() ? nullptr : &it->second;
}

SQLRETURN Refuse(Dbc* dbc, const std::string& why) { return dbc->Error("08001", "[Tabrix] " + why); }

// The data source as messages name it.
std::string SourceName(const Dbc* dbc) {
  return dbc->dsn.empty() ? std::string("string") : "'" + dbc->dsn + "'";
}

// DBQ, under DefaultDir when it is relative.
std::string PathOf(const Keys& keys) {
  std::string path = Get(keys, "DBQ") ? *Get(keys, "DBQ") : "";
  if (!path.empty() && path[0] != '/' && Get(keys, "DefaultDir")) {
    std::string dir = *Get(keys, "DefaultDir");
    if (!dir.empty() && dir.back() != '/') dir += '/';
    path = dir + path;
  }
  return path;
}

formats::DatabaseKind KindOf(const Keys& keys, const std::string& path) {
  const std::string* driver = Get(keys, "Driver");
  if (auto kind = KindOfDescription(driver ? *driver : "")) return *kind;
  // Driver= names a library, or nothing: the files tell.
  const std::string* defaultDir = Get(keys, "DefaultDir");
  const std::string folder = IsFolder(path) ? path : path.empty() && defaultDir ? *defaultDir : "";
  return IsFolder(folder) ? KindOfFolder(folder) : formats::DatabaseKind::Excel;
}

// A number of rows to scan, 0 for every row: false when `text` is none.
bool ParseRows(const std::string& text, long& rows) {
  char* end = nullptr;
  rows = std::strtol(text.c_str(), &end, 10);
  return !*end && rows >= 0 && rows <= 1048576;
}

SQLRETURN RowsRefused(Dbc* dbc, const char* key, const std::string& value) {
  return Refuse(dbc, std::string(key) + " must be a number of rows (0 for every row), not '" + value + "'");
}

// What the drivers of folders read by: the files' extensions, their format, the header row.
SQLRETURN ReadFolderOptions(Dbc* dbc, const Keys& keys, formats::DatabaseOptions& database) {
  if (const auto* v = Get(keys, "Extensions")) {
    for (std::string e : formats::ParseExtensions(*v)) {
      database.extensions.push_back(e == "none" ? std::string() : e);
    }
  }
  if (const auto* v = Get(keys, "Format")) database.format = *v;
  if (const auto* v = Get(keys, "CharacterSet")) database.characterSet = *v;
  bool flag;
  for (const char* key : {"FirstRowHasNames", "HDR", "ColNameHeader"}) {  // the last wins
    const auto* v = Get(keys, key);
    if (!v) continue;
    if (!ParseBool(*v, flag)) {
      return Refuse(dbc, std::string(key) + " must be " +
                             (std::strcmp(key, "ColNameHeader") == 0 ? "True or False" : "1 or 0") +
                             ", not '" + *v + "'");
    }
    database.colNameHeader = flag ? 1 : 0;
  }
  if (const auto* v = Get(keys, "MaxScanRows")) {
    long rows;
    if (!ParseRows(*v, rows)) return RowsRefused(dbc, "MaxScanRows", *v);
    database.maxScanRows = static_cast<int32_t>(rows);
  }
  return SQL_SUCCESS;
}

// What every table is read by: its header row, how many rows decide its types, mixed columns.
SQLRETURN ReadTableOptions(Dbc* dbc, const Keys& keys, sql::TableOptions& table) {
  bool flag;
  if (const auto* v = Get(keys, "FirstRowHasNames")) {
    if (!ParseBool(*v, flag)) return Refuse(dbc, "FirstRowHasNames must be 1 or 0, not '" + *v + "'");
    table.firstRowHasNames = flag;
  }
  if (const auto* v = Get(keys, "HDR")) {
    if (!ParseBool(*v, flag)) return Refuse(dbc, "HDR must be Yes or No, not '" + *v + "'");
    table.firstRowHasNames = flag;
  }
  for (const char* key : {"TypeGuessRows", "MaxScanRows"}) {  // MaxScanRows wins
    if (const auto* v = Get(keys, key)) {
      long rows;
      if (!ParseRows(*v, rows)) return RowsRefused(dbc, key, *v);
      table.maxScanRows = static_cast<unsigned>(rows);
    }
  }
  if (const auto* v = Get(keys, "IMEX")) table.mixedAsText = *v == "1";
  if (const auto* v = Get(keys, "ReadOnly")) {
    if (!ParseBool(*v, flag)) return Refuse(dbc, "ReadOnly must be 1 or 0, not '" + *v + "'");
  }
  return SQL_SUCCESS;
}

SQLRETURN OpenDatabase(Dbc* dbc, const sql::ConnectOptions& options) {
  try {
    dbc->database = sql::Database::Open(options);
  } catch (const sql::EngineError& e) {
    return dbc->Error(e.State(), e.what());
  } catch (const std::bad_alloc&) {
    return dbc->Error("HY001", "[Tabrix] out of memory opening '" + options.path + "'");
  } catch (const std::exception& e) {
    return Refuse(dbc, std::string("cannot open ") +
                           (options.kind == formats::DatabaseKind::Excel ? "the workbook '" : "the folder '") +
                           options.path + "': " + e.what());
  }
  return SQL_SUCCESS;
}

SQLRETURN OpenConnection(Dbc* dbc, const Keys& keys) {
  sql::ConnectOptions options;
  std::string path = PathOf(keys);
  options.kind = KindOf(keys, path);
  if (options.kind != formats::DatabaseKind::Excel) {
    // The folder is the database: DefaultDir, or a DBQ that names a folder.
    if (!IsFolder(path) && Get(keys, "DefaultDir")) path = *Get(keys, "DefaultDir");
    if (path.empty()) {
      return Refuse(dbc, "cannot open the folder of tables: the data source " + SourceName(dbc) +
                             " names no folder (DefaultDir and DBQ are missing or empty)");
    }
    SQLRETURN rc = ReadFolderOptions(dbc, keys, options.database);
    if (rc != SQL_SUCCESS) return rc;
  }
  options.path = path;
  if (path.empty()) {
    return Refuse(dbc, "cannot open the workbook: the data source " + SourceName(dbc) +
                           " names no workbook (DBQ is missing or empty)");
  }
  SQLRETURN rc = ReadTableOptions(dbc, keys, options.table);
  if (rc != SQL_SUCCESS) return rc;
  return OpenDatabase(dbc, options);
}

// Reads this driver's keys of a data source from the ODBC files.
void ReadDsn(const std::string& dsn, Keys& keys) {
  // The data source's driver, by its description (a connection string's DRIVER= wins).
  if (!keys.count("driver")) {
    char value[4096] = "";
    int n = SQLGetPrivateProfileString(dsn.c_str(), "Driver", "", value, sizeof value, "odbc.ini");
    if (n > 0 && value[0]) keys["driver"] = value;
  }
  for (const char* key : kKeys) {
    if (keys.count(Lower(key))) continue;
    char value[4096] = "";
    int n = SQLGetPrivateProfileString(dsn.c_str(), key, "", value, sizeof value, "odbc.ini");
    if (n > 0 && value[0]) keys[Lower(key)] = value;
  }
}

}  // namespace

SQLRETURN Connect(Dbc* dbc, const std::string& dsn) {
  if (dbc->database) return dbc->Error("08002", "[Tabrix] the connection is already open");
  dbc->dsn = dsn;
  Keys keys;
  ReadDsn(dsn, keys);
  return OpenConnection(dbc, keys);
}

SQLRETURN DriverConnect(Dbc* dbc, const std::string& in, std::string& completed) {
  if (dbc->database) return dbc->Error("08002", "[Tabrix] the connection is already open");
  std::vector<std::pair<std::string, std::string>> pairs;
  std::string error;
  if (!ParseConnectionString(in, pairs, error)) return Refuse(dbc, error);
  Keys keys;
  for (const auto& [key, value] : pairs) {
    std::string k = Lower(key);
    if (!keys.count(k)) keys[k] = value;  // the first of a repeated key wins
  }
  dbc->dsn = keys.count("dsn") ? keys["dsn"] : "";
  const Keys own = keys;
  if (!dbc->dsn.empty()) ReadDsn(dbc->dsn, keys);
  SQLRETURN rc = OpenConnection(dbc, keys);
  if (!SQL_SUCCEEDED(rc)) return rc;
  // The string as given, with what the data source added.
  completed.clear();
  for (const auto& [key, value] : pairs) AppendConnectionPair(completed, key, value);
  for (const char* key : kKeys) {
    std::string k = Lower(key);
    if (!own.count(k) && keys.count(k)) AppendConnectionPair(completed, key, keys[k]);
  }
  return SQL_SUCCESS;
}

SQLRETURN Disconnect(Dbc* dbc) {
  for (const Stmt* stmt : dbc->statements) {
    if (stmt->data != Stmt::Data::None) {
      return dbc->Error("HY010",
                        "[Tabrix] a statement of the connection is waiting for the data "
                        "of its parameters (SQLPutData), or SQLCancel to end it");
    }
  }
  for (Stmt* stmt : dbc->statements) delete stmt;
  dbc->statements.clear();
  dbc->database.reset();
  return SQL_SUCCESS;
}

}  // namespace tabrix::odbc

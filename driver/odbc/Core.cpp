// The driver's one implementation of each ODBC function, strings in UTF-8.
#include <dirent.h>
#include <odbcinst.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>

#include "formats/Folder.h"
#include "odbc/Handles.h"

namespace tabrix::odbc {

SQLRETURN Handle::Error(const std::string& state, const std::string& message) {
  diags.push_back({state, message});
  return SQL_ERROR;
}

void Handle::Warn(const std::string& state, const std::string& message) {
  diags.push_back({state, message});
}

namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string Trim(std::string_view s) {
  size_t b = s.find_first_not_of(" \t\r\n"), e = s.find_last_not_of(" \t\r\n");
  return b == std::string_view::npos ? std::string() : std::string(s.substr(b, e - b + 1));
}

// "KEY=value;KEY={va;lue};": the pairs in order. An entry without '=' is refused.
bool ParseConnectionString(std::string_view text, std::vector<std::pair<std::string, std::string>>& pairs,
                           std::string& error) {
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ';' || text[i] == ' ' || text[i] == '\t')) ++i;
    if (i >= text.size()) break;
    size_t eq = text.find('=', i);
    size_t semi = text.find(';', i);
    if (eq == std::string_view::npos || (semi != std::string_view::npos && semi < eq)) {
      error = "the connection string's entry '" +
              std::string(text.substr(i, semi == std::string_view::npos ? std::string_view::npos : semi - i)) +
              "' has no '='";
      return false;
    }
    std::string key = Trim(text.substr(i, eq - i));
    i = eq + 1;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    std::string value;
    if (i < text.size() && text[i] == '{') {
      ++i;
      bool closed = false;
      while (i < text.size()) {
        if (text[i] == '}') {
          if (i + 1 < text.size() && text[i + 1] == '}') {
            value += '}';
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        value += text[i++];
      }
      if (!closed) {
        error = "the connection string's value of '" + key + "' has no closing '}'";
        return false;
      }
      size_t end = text.find(';', i);
      i = end == std::string_view::npos ? text.size() : end + 1;
    } else {
      size_t end = text.find(';', i);
      value = Trim(text.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i));
      i = end == std::string_view::npos ? text.size() : end + 1;
    }
    if (key.empty()) {
      error = "the connection string has an entry without a key";
      return false;
    }
    pairs.emplace_back(key, value);
  }
  return true;
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

SQLRETURN OpenConnection(Dbc* dbc, std::map<std::string, std::string>& keys) {
  auto get = [&keys](const char* key) -> const std::string* {
    auto it = keys.find(Lower(key));
    return it == keys.end() || it->second.empty() ? nullptr : &it->second;
  };
  bool flag;
  sql::ConnectOptions options;
  std::string path = get("DBQ") ? *get("DBQ") : "";
  if (!path.empty() && path[0] != '/' && get("DefaultDir")) {
    std::string dir = *get("DefaultDir");
    if (!dir.empty() && dir.back() != '/') dir += '/';
    path = dir + path;
  }
  const std::string driver = get("Driver") ? *get("Driver") : "";
  std::optional<formats::DatabaseKind> kind = KindOfDescription(driver);
  if (!kind) {
    // Driver= names a library, or nothing: the files tell.
    const std::string folder = IsFolder(path) ? path : path.empty() && get("DefaultDir") ? *get("DefaultDir") : "";
    kind = IsFolder(folder) ? KindOfFolder(folder) : formats::DatabaseKind::Excel;
  }
  options.kind = *kind;
  if (options.kind != formats::DatabaseKind::Excel) {
    // The folder is the database: DefaultDir, or a DBQ that names a folder.
    if (!IsFolder(path) && get("DefaultDir")) path = *get("DefaultDir");
    if (path.empty()) {
      return dbc->Error("08001", "[Tabrix] cannot open the folder of tables: the data source " +
                                     (dbc->dsn.empty() ? std::string("string") : "'" + dbc->dsn + "'") +
                                     " names no folder (DefaultDir and DBQ are missing or empty)");
    }
    options.path = path;
    if (const auto* v = get("Extensions")) {
      for (std::string e : formats::ParseExtensions(*v)) {
        options.database.extensions.push_back(e == "none" ? std::string() : e);
      }
    }
    if (const auto* v = get("Format")) options.database.format = *v;
    if (const auto* v = get("CharacterSet")) options.database.characterSet = *v;
    for (const char* key : {"FirstRowHasNames", "HDR", "ColNameHeader"}) {  // the last wins
      if (const auto* v = get(key)) {
        if (!ParseBool(*v, flag)) {
          return dbc->Error("08001", std::string("[Tabrix] ") + key + " must be " +
                                         (std::strcmp(key, "ColNameHeader") == 0 ? "True or False" : "1 or 0") +
                                         ", not '" + *v + "'");
        }
        options.database.colNameHeader = flag ? 1 : 0;
      }
    }
    if (const auto* v = get("MaxScanRows")) {
      char* end = nullptr;
      const long rows = std::strtol(v->c_str(), &end, 10);
      if (*end || rows < 0 || rows > 1048576) {
        return dbc->Error("08001", "[Tabrix] MaxScanRows must be a number of rows (0 for every row), not '" + *v + "'");
      }
      options.database.maxScanRows = static_cast<int32_t>(rows);
    }
  } else {
    options.path = path;
  }
  if (path.empty()) {
    return dbc->Error("08001", "[Tabrix] cannot open the workbook: the data source " +
                                   (dbc->dsn.empty() ? std::string("string") : "'" + dbc->dsn + "'") +
                                   " names no workbook (DBQ is missing or empty)");
  }
  if (const auto* v = get("FirstRowHasNames")) {
    if (!ParseBool(*v, flag)) return dbc->Error("08001", "[Tabrix] FirstRowHasNames must be 1 or 0, not '" + *v + "'");
    options.table.firstRowHasNames = flag;
  }
  if (const auto* v = get("HDR")) {
    if (!ParseBool(*v, flag)) return dbc->Error("08001", "[Tabrix] HDR must be Yes or No, not '" + *v + "'");
    options.table.firstRowHasNames = flag;
  }
  for (const char* key : {"TypeGuessRows", "MaxScanRows"}) {  // MaxScanRows wins
    if (const auto* v = get(key)) {
      char* end = nullptr;
      long rows = std::strtol(v->c_str(), &end, 10);
      if (*end || rows < 0 || rows > 1048576) {
        return dbc->Error("08001", std::string("[Tabrix] ") + key +
                                       " must be a number of rows (0 for every row), not '" + *v + "'");
      }
      options.table.maxScanRows = static_cast<unsigned>(rows);
    }
  }
  if (const auto* v = get("IMEX")) options.table.mixedAsText = *v == "1";
  if (const auto* v = get("ReadOnly")) {
    if (!ParseBool(*v, flag)) return dbc->Error("08001", "[Tabrix] ReadOnly must be 1 or 0, not '" + *v + "'");
  }
  try {
    dbc->database = sql::Database::Open(options);
  } catch (const sql::EngineError& e) {
    return dbc->Error(e.State(), e.what());
  } catch (const std::bad_alloc&) {
    return dbc->Error("HY001", "[Tabrix] out of memory opening '" + path + "'");
  } catch (const std::exception& e) {
    return dbc->Error("08001", std::string("[Tabrix] cannot open ") +
                                   (options.kind == formats::DatabaseKind::Excel ? "the workbook '" : "the folder '") +
                                   path + "': " + e.what());
  }
  return SQL_SUCCESS;
}

// Reads this driver's keys of a data source from the ODBC files.
void ReadDsn(const std::string& dsn, std::map<std::string, std::string>& keys) {
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

SQLRETURN AllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  if (!output) return SQL_ERROR;
  try {
    switch (type) {
      case SQL_HANDLE_ENV:
        *output = new Env();
        return SQL_SUCCESS;
      case SQL_HANDLE_DBC: {
        auto* env = static_cast<Env*>(input);
        if (!env) return SQL_INVALID_HANDLE;
        env->diags.clear();
        *output = new Dbc(env);
        return SQL_SUCCESS;
      }
      case SQL_HANDLE_STMT: {
        auto* dbc = static_cast<Dbc*>(input);
        if (!dbc) return SQL_INVALID_HANDLE;
        std::lock_guard<std::recursive_mutex> lock(dbc->mutex);
        dbc->diags.clear();
        if (!dbc->database) {
          *output = SQL_NULL_HSTMT;
          return dbc->Error("08003", "[Tabrix] the connection is not open");
        }
        auto* stmt = new Stmt(dbc);
        dbc->statements.push_back(stmt);
        *output = stmt;
        return SQL_SUCCESS;
      }
      case SQL_HANDLE_DESC: {
        auto* dbc = static_cast<Dbc*>(input);
        if (!dbc) return SQL_INVALID_HANDLE;
        *output = SQL_NULL_HDESC;
        return dbc->Error("HYC00", "[Tabrix] descriptors of the application's own are not offered");
      }
      default:
        return SQL_ERROR;
    }
  } catch (const std::bad_alloc&) {
    *output = nullptr;
    return SQL_ERROR;
  }
}

SQLRETURN FreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
  if (!handle) return SQL_INVALID_HANDLE;
  switch (type) {
    case SQL_HANDLE_ENV:
      delete static_cast<Env*>(handle);
      return SQL_SUCCESS;
    case SQL_HANDLE_DBC: {
      auto* dbc = static_cast<Dbc*>(handle);
      {
        std::lock_guard<std::recursive_mutex> lock(dbc->mutex);
        for (Stmt* stmt : dbc->statements) delete stmt;
        dbc->statements.clear();
        dbc->database.reset();
      }
      delete dbc;
      return SQL_SUCCESS;
    }
    case SQL_HANDLE_STMT: {
      auto* stmt = static_cast<Stmt*>(handle);
      Dbc* dbc = stmt->dbc;
      std::lock_guard<std::recursive_mutex> lock(dbc->mutex);
      dbc->statements.remove(stmt);
      delete stmt;
      return SQL_SUCCESS;
    }
    default:
      return SQL_ERROR;
  }
}

SQLRETURN Connect(Dbc* dbc, const std::string& dsn) {
  if (dbc->database) return dbc->Error("08002", "[Tabrix] the connection is already open");
  dbc->dsn = dsn;
  std::map<std::string, std::string> keys;
  ReadDsn(dsn, keys);
  return OpenConnection(dbc, keys);
}

SQLRETURN DriverConnect(Dbc* dbc, const std::string& in, std::string& completed) {
  if (dbc->database) return dbc->Error("08002", "[Tabrix] the connection is already open");
  std::vector<std::pair<std::string, std::string>> pairs;
  std::string error;
  if (!ParseConnectionString(in, pairs, error)) return dbc->Error("08001", "[Tabrix] " + error);
  std::map<std::string, std::string> keys;
  for (const auto& [key, value] : pairs) {
    std::string k = Lower(key);
    if (!keys.count(k)) keys[k] = value;  // the first of a repeated key wins
  }
  dbc->dsn = keys.count("dsn") ? keys["dsn"] : "";
  std::map<std::string, std::string> own = keys;
  if (!dbc->dsn.empty()) ReadDsn(dbc->dsn, keys);
  SQLRETURN rc = OpenConnection(dbc, keys);
  if (!SQL_SUCCEEDED(rc)) return rc;
  // The string as given, with what the data source added.
  completed.clear();
  auto append = [&completed](const std::string& key, const std::string& value) {
    if (!completed.empty()) completed += ';';
    bool brace = value.find_first_of(";{}= ") != std::string::npos;
    std::string v = value;
    if (brace) {
      std::string escaped;
      for (char c : value) {
        escaped += c;
        if (c == '}') escaped += '}';
      }
      v = "{" + escaped + "}";
    }
    completed += key + "=" + v;
  };
  for (const auto& [key, value] : pairs) append(key, value);
  for (const char* key : kKeys) {
    std::string k = Lower(key);
    if (!own.count(k) && keys.count(k)) append(key, keys[k]);
  }
  return SQL_SUCCESS;
}

SQLRETURN Disconnect(Dbc* dbc) {
  for (Stmt* stmt : dbc->statements) delete stmt;
  dbc->statements.clear();
  dbc->database.reset();
  return SQL_SUCCESS;
}

SQLRETURN SetConnectAttr(Dbc* dbc, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER) {
  const auto number = static_cast<SQLUINTEGER>(reinterpret_cast<uintptr_t>(value));
  switch (attribute) {
    case SQL_ATTR_AUTOCOMMIT:
      // Off is accepted: nothing is ever written, so there is nothing to commit.
      dbc->autocommit = number != SQL_AUTOCOMMIT_OFF;
      return SQL_SUCCESS;
    case SQL_ATTR_LOGIN_TIMEOUT: dbc->loginTimeout = number; return SQL_SUCCESS;
    case SQL_ATTR_CONNECTION_TIMEOUT: dbc->connectionTimeout = number; return SQL_SUCCESS;
    case SQL_ATTR_PACKET_SIZE: dbc->packetSize = number; return SQL_SUCCESS;
    case SQL_ATTR_TXN_ISOLATION: dbc->txnIsolation = number; return SQL_SUCCESS;
    case SQL_ATTR_METADATA_ID: dbc->metadataId = number; return SQL_SUCCESS;
    case SQL_ATTR_ACCESS_MODE:
      if (number == SQL_MODE_READ_WRITE) {
        dbc->Warn("01S02", "[Tabrix] the workbook is opened read-only whatever is asked");
        return SQL_SUCCESS_WITH_INFO;
      }
      return SQL_SUCCESS;
    case SQL_ATTR_CURRENT_CATALOG:
      return SQL_SUCCESS;
    case SQL_ATTR_QUIET_MODE:
    case SQL_ATTR_TRACE:
    case SQL_ATTR_TRACEFILE:
    case SQL_ATTR_TRANSLATE_LIB:
    case SQL_ATTR_TRANSLATE_OPTION:
    case SQL_ATTR_ODBC_CURSORS:
    case SQL_ATTR_ANSI_APP:
    case SQL_ATTR_ASYNC_ENABLE:
    case SQL_ATTR_CONNECTION_DEAD:
    case SQL_ATTR_AUTO_IPD:
      return SQL_SUCCESS;
    default:
      return dbc->Error("HY092", "[Tabrix] the connection attribute " + std::to_string(attribute) +
                                     " is not one this driver knows");
  }
}

SQLRETURN GetConnectAttr(Dbc* dbc, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER bufferLength,
                         SQLINTEGER* length, bool wide) {
  auto put = [&](SQLUINTEGER v) {
    if (value) std::memcpy(value, &v, sizeof v);
    if (length) *length = sizeof v;
    return SQL_SUCCESS;
  };
  switch (attribute) {
    case SQL_ATTR_AUTOCOMMIT: return put(dbc->autocommit ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF);
    case SQL_ATTR_LOGIN_TIMEOUT: return put(dbc->loginTimeout);
    case SQL_ATTR_CONNECTION_TIMEOUT: return put(dbc->connectionTimeout);
    case SQL_ATTR_PACKET_SIZE: return put(dbc->packetSize);
    case SQL_ATTR_TXN_ISOLATION: return put(dbc->txnIsolation);
    case SQL_ATTR_METADATA_ID: return put(dbc->metadataId);
    case SQL_ATTR_ACCESS_MODE: return put(SQL_MODE_READ_ONLY);
    case SQL_ATTR_ASYNC_ENABLE: return put(SQL_ASYNC_ENABLE_OFF);
    case SQL_ATTR_AUTO_IPD: return put(SQL_FALSE);
    case SQL_ATTR_CONNECTION_DEAD: return put(dbc->database ? SQL_CD_FALSE : SQL_CD_TRUE);
    case SQL_ATTR_CURRENT_CATALOG: {
      SQLLEN full = 0;
      bool cut = PutString(dbc->database ? dbc->database->Path() : "", value, bufferLength, &full,
                           wide, true);
      if (length) *length = static_cast<SQLINTEGER>(full);
      if (cut) {
        dbc->Warn("01004", "[Tabrix] the catalogue's name was cut to the buffer");
        return SQL_SUCCESS_WITH_INFO;
      }
      return SQL_SUCCESS;
    }
    default:
      return dbc->Error("HY092", "[Tabrix] the connection attribute " + std::to_string(attribute) +
                                     " is not one this driver knows");
  }
}

SQLRETURN NativeSql(Dbc* dbc, const std::string& in, std::string& out) {
  try {
    out = sql::Database::Translate(in);
    return SQL_SUCCESS;
  } catch (const sql::EngineError& e) {
    return dbc->Error(e.State(), e.what());
  }
}

SQLRETURN EndTran(SQLSMALLINT handleType, SQLHANDLE handle, SQLSMALLINT completion) {
  if (completion != SQL_COMMIT && completion != SQL_ROLLBACK) {
    auto* h = static_cast<Handle*>(handle);
    return h->Error("HY012", "[Tabrix] the transaction's completion must be SQL_COMMIT or SQL_ROLLBACK");
  }
  (void)handleType;
  return SQL_SUCCESS;  // nothing is ever written: nothing to commit or roll back
}

namespace {

Handle* DiagHandle(SQLSMALLINT type, SQLHANDLE handle) {
  if (!handle) return nullptr;
  switch (type) {
    case SQL_HANDLE_ENV: case SQL_HANDLE_DBC: case SQL_HANDLE_STMT: return static_cast<Handle*>(handle);
    default: return nullptr;
  }
}

}  // namespace

SQLRETURN GetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, std::string& state,
                     SQLINTEGER* native, std::string& message) {
  Handle* h = DiagHandle(type, handle);
  if (!h) return SQL_INVALID_HANDLE;
  if (record < 1) return SQL_ERROR;
  if (static_cast<size_t>(record) > h->diags.size()) return SQL_NO_DATA;
  const DiagRecord& r = h->diags[static_cast<size_t>(record - 1)];
  state = r.state;
  message = r.message;
  if (native) *native = r.native;
  return SQL_SUCCESS;
}

SQLRETURN GetDiagField(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLSMALLINT field,
                       SQLPOINTER value, std::string* text, bool& isText) {
  Handle* h = DiagHandle(type, handle);
  if (!h) return SQL_INVALID_HANDLE;
  isText = false;
  // Header fields.
  switch (field) {
    case SQL_DIAG_NUMBER: {
      SQLINTEGER n = static_cast<SQLINTEGER>(h->diags.size());
      if (value) std::memcpy(value, &n, sizeof n);
      return SQL_SUCCESS;
    }
    case SQL_DIAG_RETURNCODE: {
      SQLRETURN rc = h->lastReturn;
      if (value) std::memcpy(value, &rc, sizeof rc);
      return SQL_SUCCESS;
    }
    case SQL_DIAG_ROW_COUNT:
    case SQL_DIAG_CURSOR_ROW_COUNT: {
      if (type != SQL_HANDLE_STMT) return SQL_ERROR;
      SQLLEN n = static_cast<Stmt*>(h)->rowCount;
      if (value) std::memcpy(value, &n, sizeof n);
      return SQL_SUCCESS;
    }
    case SQL_DIAG_DYNAMIC_FUNCTION:
      if (type != SQL_HANDLE_STMT) return SQL_ERROR;
      isText = true;
      *text = "SELECT CURSOR";
      return SQL_SUCCESS;
    case SQL_DIAG_DYNAMIC_FUNCTION_CODE: {
      SQLINTEGER code = SQL_DIAG_SELECT_CURSOR;
      if (value) std::memcpy(value, &code, sizeof code);
      return SQL_SUCCESS;
    }
    default:
      break;
  }
  if (record < 1) return SQL_ERROR;
  if (static_cast<size_t>(record) > h->diags.size()) return SQL_NO_DATA;
  const DiagRecord& r = h->diags[static_cast<size_t>(record - 1)];
  switch (field) {
    case SQL_DIAG_SQLSTATE: isText = true; *text = r.state; return SQL_SUCCESS;
    case SQL_DIAG_MESSAGE_TEXT: isText = true; *text = r.message; return SQL_SUCCESS;
    case SQL_DIAG_CLASS_ORIGIN:
    case SQL_DIAG_SUBCLASS_ORIGIN:
      isText = true;
      // The states ODBC itself defines, told apart from ISO's as ODBC's reference tells them.
      *text = (r.state.rfind("IM", 0) == 0 || r.state.rfind("HY", 0) == 0 ||
               (field == SQL_DIAG_SUBCLASS_ORIGIN &&
                (r.state == "01S00" || r.state == "01S01" || r.state == "01S02" ||
                 r.state == "01S07" || r.state == "07S01" || r.state == "08S01" ||
                 r.state == "21S01" || r.state == "42S02" || r.state == "42S22" ||
                 r.state == "HYC00")))
                  ? "ODBC 3.0"
                  : "ISO 9075";
      return SQL_SUCCESS;
    case SQL_DIAG_CONNECTION_NAME:
    case SQL_DIAG_SERVER_NAME:
      isText = true;
      *text = "";
      return SQL_SUCCESS;
    case SQL_DIAG_NATIVE: {
      if (value) std::memcpy(value, &r.native, sizeof r.native);
      return SQL_SUCCESS;
    }
    case SQL_DIAG_ROW_NUMBER: {
      SQLLEN n = r.row;
      if (value) std::memcpy(value, &n, sizeof n);
      return SQL_SUCCESS;
    }
    case SQL_DIAG_COLUMN_NUMBER: {
      SQLINTEGER n = r.column;
      if (value) std::memcpy(value, &n, sizeof n);
      return SQL_SUCCESS;
    }
    default:
      return SQL_ERROR;
  }
}

}  // namespace tabrix::odbc

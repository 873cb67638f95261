// Preparing a statement: translated, its tables made as the engine asks for them, changes
// refused, and the engine's failures told with their SQLSTATE.
#include <algorithm>
#include <cstring>

#include "formats/Ascii.h"
#include "sql/EngineImpl.h"

namespace tabrix::sql {
namespace {

const char* ActionName(int action) {
  switch (action) {
    case SQLITE_INSERT: return "INSERT";
    case SQLITE_UPDATE: return "UPDATE";
    case SQLITE_DELETE: return "DELETE";
    case SQLITE_ALTER_TABLE: return "ALTER";
    case SQLITE_ATTACH: return "ATTACH";
    case SQLITE_DETACH: return "DETACH";
    case SQLITE_PRAGMA: return "PRAGMA";
    case SQLITE_TRANSACTION: return "a transaction statement";
    case SQLITE_SAVEPOINT: return "SAVEPOINT";
    case SQLITE_ANALYZE: return "ANALYZE";
    case SQLITE_REINDEX: return "REINDEX";
    case SQLITE_DROP_INDEX: case SQLITE_DROP_TABLE: case SQLITE_DROP_TEMP_INDEX:
    case SQLITE_DROP_TEMP_TABLE: case SQLITE_DROP_TEMP_TRIGGER: case SQLITE_DROP_TEMP_VIEW:
    case SQLITE_DROP_TRIGGER: case SQLITE_DROP_VIEW: case SQLITE_DROP_VTABLE:
      return "DROP";
    case SQLITE_CREATE_INDEX: case SQLITE_CREATE_TABLE: case SQLITE_CREATE_TEMP_INDEX:
    case SQLITE_CREATE_TEMP_TABLE: case SQLITE_CREATE_TEMP_TRIGGER: case SQLITE_CREATE_TEMP_VIEW:
    case SQLITE_CREATE_TRIGGER: case SQLITE_CREATE_VIEW: case SQLITE_CREATE_VTABLE:
      return "CREATE";
    default: return nullptr;
  }
}

std::string FirstWord(std::string_view sql) {
  size_t i = sql.find_first_not_of(" \t\r\n(");
  if (i == std::string_view::npos) return "this statement";
  size_t e = i;
  while (e < sql.size() && formats::IsAsciiAlpha(sql[e])) ++e;
  std::string word(sql.substr(i, e - i));
  formats::ToAsciiUpper(word);
  return word.empty() ? "this statement" : word;
}

}  // namespace

bool IsChange(std::string_view sql) {
  std::string word = Lower(FirstWord(sql));
  return word == "insert" || word == "update" || word == "delete" || word == "create" ||
         word == "drop" || word == "alter" || word == "replace" || word == "attach" ||
         word == "detach" || word == "pragma" || word == "vacuum" || word == "reindex";
}

void Database::Fail(int code, const std::string& sql) {
  std::string message = sqlite3_errmsg(impl_->db);
  if (code == SQLITE_INTERRUPT && impl_->timedOut) {
    impl_->timedOut = false;
    throw EngineError("HYT00", "timeout expired: the statement ran past its query timeout of " +
                                   std::to_string(impl_->timeout) +
                                   (impl_->timeout == 1 ? " second" : " seconds"));
  }
  if (code == SQLITE_INTERRUPT) throw EngineError("HY008", "the statement was cancelled");
  if (code == SQLITE_AUTH || impl_->denied) {
    const char* action = ActionName(impl_->denied);
    std::string what = IsChange(sql) ? FirstWord(sql) : action ? action : "this statement";
    impl_->denied = 0;
    throw EngineError("42000", Where() + " is read-only: " + what + " is refused (the driver never changes " +
                                   (impl_->folder ? "a file)" : "a workbook)"));
  }
  if (message.rfind("no such column: ", 0) == 0) {
    throw EngineError("42S22", "no column '" + message.substr(16) + "' in the tables of this statement");
  }
  if (code == SQLITE_NOMEM) throw EngineError("HY001", "out of memory");
  // The driver's own functions name their SQLSTATE first: "22018: CONVERT: ...".
  if (message.size() > 7 && message[5] == ':' && message[6] == ' ' &&
      std::all_of(message.begin(), message.begin() + 5, [](char c) {
        return formats::IsAsciiDigit(c) || (c >= 'A' && c <= 'Z');
      })) {
    throw EngineError(message.substr(0, 5), message.substr(7));
  }
  (void)sql;
  throw EngineError("42000", message);
}

std::unique_ptr<Query> Database::Prepare(std::string_view text) {
  const std::string sql = Translate(text);
  std::vector<std::pair<std::string, std::string>> reads;
  for (int attempt = 0;; ++attempt) {
    reads.clear();
    impl_->reads = &reads;
    impl_->denied = 0;
    sqlite3_stmt* statement = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v3(impl_->db, sql.c_str(), static_cast<int>(sql.size()),
                                SQLITE_PREPARE_PERSISTENT, &statement, &tail);
    impl_->reads = nullptr;
    if (rc == SQLITE_OK) {
      if (!statement) throw EngineError("42000", "the statement is empty");
      std::string_view rest(tail ? tail : "");
      if (rest.find_first_not_of(" \t\r\n;") != std::string_view::npos) {
        sqlite3_finalize(statement);
        throw EngineError("42000", "one statement at a time: the text after ';' is refused");
      }
      if (!sqlite3_stmt_readonly(statement)) {
        sqlite3_finalize(statement);
        throw EngineError("42000", Where() + " is read-only: " +
                                       (IsChange(sql) ? FirstWord(sql) : "this statement") +
                                       " is refused (the driver never changes " +
                                       (impl_->folder ? "a file)" : "a workbook)"));
      }
      std::unique_ptr<Query> query(new Query(*this, statement));
      query->reads_ = std::move(reads);
      query->PlanDirect(sql);
      return query;
    }
    std::string message = sqlite3_errmsg(impl_->db);
    const std::string prefix = "no such table: ";
    if (message.rfind(prefix, 0) == 0 && attempt < 64 && !impl_->denied) {
      std::string name = message.substr(prefix.size());
      for (const char* schema : {"main.", "temp."}) {
        if (name.rfind(schema, 0) == 0) name = name.substr(std::strlen(schema));
      }
      if (!View(name) && Resolve(name)) continue;
      std::string list;
      for (const auto& table : Tables()) list += (list.empty() ? "'" : ", '") + table.name + "'";
      throw EngineError("42S02", "no table '" + name + "' in " + Where() + ": its tables are " + (list.empty() ? "none" : list));
    }
    // A change is refused as one, whatever the engine found wrong with it first.
    if (IsChange(sql) && message.find("syntax error") == std::string::npos) {
      if (!impl_->denied) impl_->denied = -1;
      Fail(SQLITE_AUTH, sql);
    }
    Fail(rc, sql);
  }
}

}  // namespace tabrix::sql

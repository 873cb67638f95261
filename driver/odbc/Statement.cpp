// A statement's life: preparing and running SQL, its cursor opened and closed, cancelling.
#include <algorithm>

#include "odbc/Statement.h"

namespace tabrix::odbc {
namespace {

// The engine's rows.
class QueryResult : public Result {
 public:
  explicit QueryResult(sql::Query& query) : query_(query) {
    for (int i = 0; i < query.ColumnCount(); ++i) metas_.push_back(MetaFor(query.Column(i)));
  }
  size_t ColumnCount() const override { return metas_.size(); }
  const ColumnMeta& Meta(size_t column) const override { return metas_[column]; }
  bool Next() override {
    if (!started_) {
      started_ = true;
      return query_.HasRow();
    }
    return query_.Next();
  }
  Value Get(size_t column) const override {
    Value v;
    const int c = static_cast<int>(column);
    v.type = query_.Type(c);
    switch (v.type) {
      case sql::ValueType::Integer: v.integer = query_.Integer(c); break;
      case sql::ValueType::Real: v.real = query_.Real(c); break;
      case sql::ValueType::Text: v.text = query_.Text(c); break;
      default: break;
    }
    return v;
  }

 private:
  sql::Query& query_;
  std::vector<ColumnMeta> metas_;
  bool started_ = false;
};

}  // namespace

void ResetCursor(Stmt* stmt) {
  stmt->result.reset();
  if (stmt->query) stmt->query->Close();
  stmt->executed = false;
  stmt->onRow = false;
  stmt->pieceColumn = 0;
  stmt->rowsDelivered = 0;
}

SQLRETURN EngineFailure(Stmt* stmt, const std::exception& e) {
  if (const auto* engine = dynamic_cast<const sql::EngineError*>(&e)) {
    return stmt->Error(engine->State(), engine->what());
  }
  if (dynamic_cast<const std::bad_alloc*>(&e)) return stmt->Error("HY001", "[Tabrix] out of memory");
  return stmt->Error("HY000", std::string("[Tabrix] ") + e.what());
}

// The cursor is closed too: the driver manager takes the statement as having none after the
// failure, and would refuse the application's SQLCloseCursor itself.
SQLRETURN CursorOpen(Stmt* stmt) {
  ResetCursor(stmt);
  return stmt->Error("24000",
                     "[Tabrix] invalid cursor state: the statement's cursor was open "
                     "(close it with SQLCloseCursor or SQLFreeStmt(SQL_CLOSE) before the "
                     "next statement); it is closed now");
}

Stepping::Stepping(Stmt* stmt) : dbc_(stmt->dbc) {
  dbc_->database->SetTimeout(
      static_cast<unsigned>(std::min<SQLULEN>(stmt->queryTimeout, 86400u * 365)));
  dbc_->running.store(stmt);
}

Stepping::~Stepping() { dbc_->running.store(nullptr); }

SQLRETURN Prepare(Stmt* stmt, const std::string& text) {
  if (stmt->result) return CursorOpen(stmt);
  ResetCursor(stmt);
  stmt->query.reset();
  stmt->prepared = false;
  try {
    stmt->query = stmt->dbc->database->Prepare(text);
  } catch (const std::exception& e) {
    return EngineFailure(stmt, e);
  }
  stmt->sql = text;
  stmt->prepared = true;
  return SQL_SUCCESS;
}

SQLRETURN Run(Stmt* stmt) {
  std::vector<sql::Warning> warnings;
  try {
    Stepping stepping(stmt);
    stmt->query->Execute(warnings);
  } catch (const std::exception& e) {
    return EngineFailure(stmt, e);
  }
  if (stmt->paramsProcessed) *stmt->paramsProcessed = 1;
  if (stmt->paramStatus) *stmt->paramStatus = SQL_PARAM_SUCCESS;
  stmt->result = std::make_unique<QueryResult>(*stmt->query);
  stmt->executed = true;
  stmt->rowCount = -1;
  for (const auto& w : warnings) stmt->Warn(w.state, w.message);
  return warnings.empty() ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
}

SQLRETURN Execute(Stmt* stmt) {
  if (!stmt->prepared || !stmt->query) {
    return stmt->Error("HY010", "[Tabrix] no statement is prepared");
  }
  if (stmt->result) return CursorOpen(stmt);
  ResetCursor(stmt);
  EndData(stmt);
  if (stmt->paramsetSize != 1) {
    return stmt->Error("HYC00", "[Tabrix] arrays of parameters are not offered");
  }
  const SQLRETURN rc = BindParameters(stmt);
  if (!SQL_SUCCEEDED(rc)) return rc;  // a failure, or SQL_NEED_DATA
  return Run(stmt);
}

SQLRETURN ExecDirect(Stmt* stmt, const std::string& text) {
  SQLRETURN rc = Prepare(stmt, text);
  if (!SQL_SUCCEEDED(rc)) return rc;
  return Execute(stmt);
}

SQLRETURN RowCount(Stmt* stmt, SQLLEN* count) {
  if (!stmt->executed) return stmt->Error("HY010", "[Tabrix] no statement has run");
  if (count) *count = stmt->rowCount;
  return SQL_SUCCESS;
}

SQLRETURN MoreResults(Stmt* stmt) {
  ResetCursor(stmt);
  return SQL_NO_DATA;
}

SQLRETURN CloseCursor(Stmt* stmt, bool mustBeOpen) {
  if (mustBeOpen && !stmt->result) return stmt->Error("24000", "[Tabrix] no cursor is open");
  ResetCursor(stmt);
  return SQL_SUCCESS;
}

SQLRETURN FreeStmt(Stmt* stmt, SQLUSMALLINT option) {
  switch (option) {
    case SQL_CLOSE: return CloseCursor(stmt, false);
    case SQL_UNBIND: stmt->columns.clear(); return SQL_SUCCESS;
    case SQL_RESET_PARAMS: stmt->params.clear(); return SQL_SUCCESS;
    case SQL_DROP: return FreeHandle(SQL_HANDLE_STMT, stmt);
    default: return stmt->Error("HY092", "[Tabrix] SQLFreeStmt's option " + std::to_string(option) + " is not one ODBC has");
  }
}

SQLRETURN Cancel(Stmt* stmt) {
  Dbc* dbc = stmt->dbc;
  std::unique_lock<std::recursive_mutex> lock(dbc->mutex, std::try_to_lock);
  if (!lock.owns_lock()) {
    // Another thread is in a call on this connection: stop the engine if it steps this statement.
    if (dbc->running.load() == stmt && dbc->database) dbc->database->Interrupt();
    return SQL_SUCCESS;
  }
  if (stmt->data != Stmt::Data::None) {
    // Another thread's diagnostics are left alone: only ending the sequence is a call of its own.
    stmt->diags.clear();
    EndData(stmt);  // the parameters sent at execution time so far are dropped
  }
  return SQL_SUCCESS;
}

}  // namespace tabrix::odbc

// The handles' lives: allocated under their parent, freed with everything they own.
#include "odbc/Handles.h"

namespace tabrix::odbc {

SQLRETURN Handle::Error(const std::string& state, const std::string& message) {
  diags.push_back({state, message});
  return SQL_ERROR;
}

void Handle::Warn(const std::string& state, const std::string& message) {
  diags.push_back({state, message});
}

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

}  // namespace tabrix::odbc

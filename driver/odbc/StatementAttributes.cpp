// The statement's attributes: those this driver offers kept, the forward-only read-only cursor
// told, the rest refused.
#include <cstring>

#include "odbc/Statement.h"

namespace tabrix::odbc {

SQLRETURN SetStmtAttr(Stmt* stmt, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER) {
  const auto number = static_cast<SQLULEN>(reinterpret_cast<uintptr_t>(value));
  switch (attribute) {
    case SQL_ATTR_ROW_ARRAY_SIZE:
    case SQL_ROWSET_SIZE:
      if (number == 0) return stmt->Error("HY024", "[Tabrix] the row array size must be 1 or more");
      stmt->rowArraySize = number;
      return SQL_SUCCESS;
    case SQL_ATTR_ROW_BIND_TYPE: stmt->rowBindType = number; return SQL_SUCCESS;
    case SQL_ATTR_ROW_STATUS_PTR: stmt->rowStatus = static_cast<SQLUSMALLINT*>(value); return SQL_SUCCESS;
    case SQL_ATTR_ROWS_FETCHED_PTR: stmt->rowsFetched = static_cast<SQLULEN*>(value); return SQL_SUCCESS;
    case SQL_ATTR_ROW_BIND_OFFSET_PTR: stmt->rowBindOffset = static_cast<SQLULEN*>(value); return SQL_SUCCESS;
    case SQL_ATTR_PARAMSET_SIZE: stmt->paramsetSize = number; return SQL_SUCCESS;
    case SQL_ATTR_PARAMS_PROCESSED_PTR: stmt->paramsProcessed = static_cast<SQLULEN*>(value); return SQL_SUCCESS;
    case SQL_ATTR_PARAM_STATUS_PTR: stmt->paramStatus = static_cast<SQLUSMALLINT*>(value); return SQL_SUCCESS;
    case SQL_ATTR_PARAM_BIND_OFFSET_PTR: stmt->paramBindOffset = static_cast<SQLULEN*>(value); return SQL_SUCCESS;
    case SQL_ATTR_PARAM_BIND_TYPE: stmt->paramBindType = number; return SQL_SUCCESS;
    case SQL_ATTR_MAX_ROWS: stmt->maxRows = number; return SQL_SUCCESS;
    case SQL_ATTR_MAX_LENGTH: stmt->maxLength = number; return SQL_SUCCESS;
    case SQL_ATTR_QUERY_TIMEOUT: stmt->queryTimeout = number; return SQL_SUCCESS;
    case SQL_ATTR_NOSCAN: stmt->noscan = number; return SQL_SUCCESS;
    case SQL_ATTR_RETRIEVE_DATA: stmt->retrieveData = number; return SQL_SUCCESS;
    case SQL_ATTR_METADATA_ID: stmt->metadataId = number; return SQL_SUCCESS;
    case SQL_ATTR_ASYNC_ENABLE:
    case SQL_ATTR_ENABLE_AUTO_IPD:
      return SQL_SUCCESS;
    case SQL_ATTR_USE_BOOKMARKS:
      if (number != SQL_UB_OFF) return stmt->Error("HYC00", "[Tabrix] bookmarks are not offered");
      return SQL_SUCCESS;
    case SQL_ATTR_CURSOR_TYPE:
      if (number != SQL_CURSOR_FORWARD_ONLY) {
        stmt->Warn("01S02", "[Tabrix] the cursor is forward-only");
        return SQL_SUCCESS_WITH_INFO;
      }
      return SQL_SUCCESS;
    case SQL_ATTR_CONCURRENCY:
      if (number != SQL_CONCUR_READ_ONLY) {
        stmt->Warn("01S02", "[Tabrix] the cursor is read-only");
        return SQL_SUCCESS_WITH_INFO;
      }
      return SQL_SUCCESS;
    case SQL_ATTR_CURSOR_SCROLLABLE:
      if (number != SQL_NONSCROLLABLE) return stmt->Error("HYC00", "[Tabrix] scrollable cursors are not offered");
      return SQL_SUCCESS;
    case SQL_ATTR_CURSOR_SENSITIVITY:
      return SQL_SUCCESS;
    default:
      return stmt->Error("HY092", "[Tabrix] the statement attribute " + std::to_string(attribute) +
                                      " is not one this driver offers");
  }
}

SQLRETURN GetStmtAttr(Stmt* stmt, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER,
                      SQLINTEGER* length) {
  auto put = [&](auto v) {
    if (value) std::memcpy(value, &v, sizeof v);
    if (length) *length = sizeof v;
    return SQL_SUCCESS;
  };
  switch (attribute) {
    case SQL_ATTR_ROW_ARRAY_SIZE: case SQL_ROWSET_SIZE: return put(stmt->rowArraySize);
    case SQL_ATTR_ROW_BIND_TYPE: return put(stmt->rowBindType);
    case SQL_ATTR_ROW_STATUS_PTR: return put(static_cast<SQLPOINTER>(stmt->rowStatus));
    case SQL_ATTR_ROWS_FETCHED_PTR: return put(static_cast<SQLPOINTER>(stmt->rowsFetched));
    case SQL_ATTR_ROW_BIND_OFFSET_PTR: return put(static_cast<SQLPOINTER>(stmt->rowBindOffset));
    case SQL_ATTR_PARAMSET_SIZE: return put(stmt->paramsetSize);
    case SQL_ATTR_PARAMS_PROCESSED_PTR: return put(static_cast<SQLPOINTER>(stmt->paramsProcessed));
    case SQL_ATTR_PARAM_STATUS_PTR: return put(static_cast<SQLPOINTER>(stmt->paramStatus));
    case SQL_ATTR_PARAM_BIND_OFFSET_PTR: return put(static_cast<SQLPOINTER>(stmt->paramBindOffset));
    case SQL_ATTR_PARAM_BIND_TYPE: return put(stmt->paramBindType);
    case SQL_ATTR_MAX_ROWS: return put(stmt->maxRows);
    case SQL_ATTR_MAX_LENGTH: return put(stmt->maxLength);
    case SQL_ATTR_QUERY_TIMEOUT: return put(stmt->queryTimeout);
    case SQL_ATTR_NOSCAN: return put(stmt->noscan);
    case SQL_ATTR_RETRIEVE_DATA: return put(stmt->retrieveData);
    case SQL_ATTR_METADATA_ID: return put(stmt->metadataId);
    case SQL_ATTR_USE_BOOKMARKS: return put(SQLULEN{SQL_UB_OFF});
    case SQL_ATTR_CURSOR_TYPE: return put(SQLULEN{SQL_CURSOR_FORWARD_ONLY});
    case SQL_ATTR_CONCURRENCY: return put(SQLULEN{SQL_CONCUR_READ_ONLY});
    case SQL_ATTR_CURSOR_SCROLLABLE: return put(SQLULEN{SQL_NONSCROLLABLE});
    case SQL_ATTR_CURSOR_SENSITIVITY: return put(SQLULEN{SQL_INSENSITIVE});
    case SQL_ATTR_ASYNC_ENABLE: return put(SQLULEN{SQL_ASYNC_ENABLE_OFF});
    case SQL_ATTR_ENABLE_AUTO_IPD: return put(SQLULEN{SQL_FALSE});
    case SQL_ATTR_ROW_NUMBER: return put(SQLULEN{stmt->rowsDelivered});
    case SQL_ATTR_APP_ROW_DESC:
    case SQL_ATTR_APP_PARAM_DESC:
    case SQL_ATTR_IMP_ROW_DESC:
    case SQL_ATTR_IMP_PARAM_DESC:
      return stmt->Error("HYC00", "[Tabrix] descriptors are not offered");
    default:
      return stmt->Error("HY092", "[Tabrix] the statement attribute " + std::to_string(attribute) +
                                      " is not one this driver offers");
  }
}

}  // namespace tabrix::odbc

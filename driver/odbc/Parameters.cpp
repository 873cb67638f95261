// Parameters: bound, described, and sent at execution time (SQLParamData names each in turn,
// SQLPutData gives its value, in pieces for texts and bytes).
#include <algorithm>
#include <cstring>

#include "odbc/Statement.h"

namespace tabrix::odbc {
namespace {

// A parameter's buffer and length indicator, the bind offset applied.
char* ParamData(const Stmt* stmt, const Binding& b) {
  char* data = static_cast<char*>(b.target);
  if (data && stmt->paramBindOffset) data += *stmt->paramBindOffset;
  return data;
}

SQLLEN ParamLength(const Stmt* stmt, const Binding& b) {
  SQLLEN* indicator = b.indicator;
  if (!indicator) return SQL_NTS;
  if (stmt->paramBindOffset) {
    indicator =
        reinterpret_cast<SQLLEN*>(reinterpret_cast<char*>(indicator) + *stmt->paramBindOffset);
  }
  return *indicator;
}

bool AtExecution(SQLLEN length) {
  return length == SQL_DATA_AT_EXEC || length <= SQL_LEN_DATA_AT_EXEC_OFFSET;
}

}  // namespace

SQLRETURN NumParams(Stmt* stmt, SQLSMALLINT* count) {
  if (!stmt->query) return stmt->Error("HY010", "[Tabrix] no statement is prepared");
  if (count) *count = static_cast<SQLSMALLINT>(stmt->query->ParameterCount());
  return SQL_SUCCESS;
}

SQLRETURN DescribeParam(Stmt* stmt, SQLUSMALLINT param, SQLSMALLINT* type, SQLULEN* size,
                        SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  if (!stmt->query) return stmt->Error("HY010", "[Tabrix] no statement is prepared");
  if (param < 1 || param > stmt->query->ParameterCount()) {
    return stmt->Error("07009", "[Tabrix] there is no parameter " + std::to_string(param));
  }
  // The engine gives parameters no type: any value is compared as the column's own.
  if (type) *type = SQL_VARCHAR;
  if (size) *size = 255;
  if (digits) *digits = 0;
  if (nullable) *nullable = SQL_NULLABLE;
  return SQL_SUCCESS;
}

SQLRETURN BindParameter(Stmt* stmt, SQLUSMALLINT param, SQLSMALLINT ioType, SQLSMALLINT cType,
                        SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT digits, SQLPOINTER value,
                        SQLLEN bufferLength, SQLLEN* indicator) {
  if (param < 1) return stmt->Error("07009", "[Tabrix] parameters are numbered from 1");
  if (ioType != SQL_PARAM_INPUT) {
    return stmt->Error("HYC00", "[Tabrix] output parameters are not offered: a workbook has no procedures");
  }
  if (!IsCType(cType)) return BadCType(stmt, cType);
  if (!value && !indicator) {
    return stmt->Error("HY009", "[Tabrix] parameter " + std::to_string(param) +
                                    ": neither a value nor a length indicator is given");
  }
  if (bufferLength < 0) {
    return stmt->Error(
        "HY090", "[Tabrix] parameter " + std::to_string(param) + ": the buffer length is negative");
  }
  if (stmt->params.size() <= param) stmt->params.resize(param + 1u);
  Binding& b = stmt->params[param];
  b.bound = true;
  b.ioType = ioType;
  b.cType = cType;
  b.sqlType = sqlType;
  b.columnSize = size;
  b.decimalDigits = digits;
  b.target = value;
  b.bufferLength = bufferLength;
  b.indicator = indicator;
  return SQL_SUCCESS;
}

SQLRETURN BindParameters(Stmt* stmt) {
  const int count = stmt->query->ParameterCount();
  stmt->query->ClearBindings();
  std::vector<Stmt::Pending> pending;
  for (int p = 1; p <= count; ++p) {
    if (static_cast<size_t>(p) >= stmt->params.size() || !stmt->params[p].bound) {
      return stmt->Error("07002", "[Tabrix] the statement has " + std::to_string(count) +
                                      " parameters and parameter " + std::to_string(p) + " is not bound");
    }
    const Binding& b = stmt->params[p];
    const SQLLEN length = ParamLength(stmt, b);
    if (AtExecution(length)) {
      pending.push_back({static_cast<SQLUSMALLINT>(p), {}, false, false});
      continue;
    }
    SQLRETURN rc = BindValue(stmt, static_cast<SQLUSMALLINT>(p), b, ParamData(stmt, b), length);
    if (!SQL_SUCCEEDED(rc)) return rc;
  }
  if (!pending.empty()) {
    stmt->pending = std::move(pending);
    stmt->data = Stmt::Data::Need;
    return SQL_NEED_DATA;
  }
  return SQL_SUCCESS;
}

void EndData(Stmt* stmt) {
  stmt->data = Stmt::Data::None;
  stmt->pending.clear();
  stmt->current = 0;
}

SQLRETURN ParamData(Stmt* stmt, SQLPOINTER* value) {
  if (stmt->data == Stmt::Data::None) {
    return stmt->Error("HY010",
                       "[Tabrix] no parameter is waiting for data: SQLParamData follows "
                       "an SQLExecute or SQLExecDirect that answered SQL_NEED_DATA");
  }
  if (stmt->data == Stmt::Data::Put) {
    Stmt::Pending& d = stmt->pending[stmt->current - 1];
    const Binding& b = stmt->params[d.param];
    SQLSMALLINT cType = b.cType == SQL_C_DEFAULT ? DefaultCType(b.sqlType) : b.cType;
    SQLRETURN rc;
    if (!d.given && !IsPieceType(cType)) {
      rc = stmt->Error("HY000", "[Tabrix] parameter " + std::to_string(d.param) +
                                    ": no value was sent with SQLPutData");
    } else {
      const SQLLEN length = d.null ? SQL_NULL_DATA : static_cast<SQLLEN>(d.bytes.size());
      d.bytes.resize(std::max<size_t>(d.bytes.size() + 2, FixedSize(cType)),
                     '\0');  // room for a fixed type
      rc = BindValue(stmt, d.param, b, d.bytes.data(), length);
    }
    if (!SQL_SUCCEEDED(rc)) {
      EndData(stmt);
      return rc;
    }
    d.bytes = std::string();
  }
  if (stmt->current < stmt->pending.size()) {
    ++stmt->current;
    stmt->data = Stmt::Data::Put;
    if (value) *value = stmt->params[stmt->pending[stmt->current - 1].param].target;
    return SQL_NEED_DATA;
  }
  EndData(stmt);
  return Run(stmt);
}

namespace {

SQLRETURN PutNullPiece(Stmt* stmt, Stmt::Pending& d, const std::string& which) {
  if (d.given && !d.null) {
    return stmt->Error("HY020", which + "a NULL cannot follow the pieces of a value already sent");
  }
  d.given = d.null = true;
  return SQL_SUCCESS;
}

SQLRETURN PutFixedPiece(Stmt* stmt, Stmt::Pending& d, const std::string& which, SQLPOINTER data,
                        size_t fixed) {
  if (d.given) {
    return stmt->Error("HY019", which +
                                    "a value of a fixed-size C type is sent in one piece, "
                                    "not in several");
  }
  if (!data) return stmt->Error("HY009", which + "the value's pointer is null");
  d.bytes.assign(static_cast<const char*>(data), fixed);
  d.given = true;
  return SQL_SUCCESS;
}

// The length in bytes of a piece of a text or of bytes.
SQLRETURN PieceBytes(Stmt* stmt, const std::string& which, SQLSMALLINT cType, SQLPOINTER data,
                     SQLLEN length, size_t& bytes) {
  if (length == SQL_NTS) {
    if (cType == SQL_C_BINARY) {
      return stmt->Error("HY090", which + "bytes have no terminator: give their length, not SQL_NTS");
    }
    if (!data) return stmt->Error("HY009", which + "the value's pointer is null");
    if (cType == SQL_C_WCHAR) {
      const auto* w = static_cast<const SQLWCHAR*>(data);
      size_t units = 0;
      while (w[units]) ++units;
      bytes = units * sizeof(SQLWCHAR);
    } else {
      bytes = std::strlen(static_cast<const char*>(data));
    }
    return SQL_SUCCESS;
  }
  if (length < 0) {
    return stmt->Error("HY090", which + "the length " + std::to_string(length) +
                                    " is none ODBC has (0 or more, SQL_NTS or SQL_NULL_DATA)");
  }
  bytes = static_cast<size_t>(length);
  // Pieces may split a character, even a UTF-16 unit (pyodbc sends 255 bytes at a time):
  // only the whole value is read.
  if (bytes && !data) return stmt->Error("HY009", which + "the value's pointer is null");
  return SQL_SUCCESS;
}

SQLRETURN PutPiece(Stmt* stmt, SQLPOINTER data, SQLLEN length) {
  if (stmt->data != Stmt::Data::Put) {
    return stmt->Error("HY010",
                       "[Tabrix] SQLPutData gives the value of the parameter SQLParamData "
                       "has just named, and none is named");
  }
  Stmt::Pending& d = stmt->pending[stmt->current - 1];
  const Binding& b = stmt->params[d.param];
  const SQLSMALLINT cType = b.cType == SQL_C_DEFAULT ? DefaultCType(b.sqlType) : b.cType;
  const std::string which = "[Tabrix] parameter " + std::to_string(d.param) + ": ";
  if (length == SQL_NULL_DATA) return PutNullPiece(stmt, d, which);
  if (d.null) return stmt->Error("HY020", which + "nothing can follow a NULL sent for it");
  if (length == SQL_DEFAULT_PARAM) {
    return stmt->Error("07S01", which +
                                    "SQL_DEFAULT_PARAM is for the parameters of procedures, "
                                    "and a workbook has none");
  }
  if (const size_t fixed = FixedSize(cType)) return PutFixedPiece(stmt, d, which, data, fixed);
  size_t bytes = 0;
  SQLRETURN rc = PieceBytes(stmt, which, cType, data, length, bytes);
  if (rc != SQL_SUCCESS) return rc;
  d.bytes.append(static_cast<const char*>(data ? data : ""), bytes);
  d.given = true;
  return SQL_SUCCESS;
}

}  // namespace

// A failed piece ends the sequence, as ODBC's state tables have it: the statement is back to
// prepared and runs again from SQLExecute.
SQLRETURN PutData(Stmt* stmt, SQLPOINTER data, SQLLEN length) {
  SQLRETURN rc = PutPiece(stmt, data, length);
  if (rc == SQL_ERROR && stmt->data == Stmt::Data::Put) EndData(stmt);
  return rc;
}

}  // namespace tabrix::odbc

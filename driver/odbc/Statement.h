// What the parts of a statement share: its cursor's life, the engine's rows, the C types'
// facts and the parameters given to the engine. Internal to the driver.
#pragma once

#include <exception>
#include <memory>

#include "odbc/Handles.h"

namespace tabrix::odbc {

// The C types.
SQLSMALLINT DefaultCType(SQLSMALLINT sqlType);  // the C type SQL_C_DEFAULT stands for
// Whether `cType` is one of ODBC's C types (a type this driver does not convert to is told
// when a value is converted, 07006; a number that is no C type at all is refused at once).
bool IsCType(SQLSMALLINT cType);
SQLRETURN BadCType(Stmt* stmt, SQLSMALLINT cType);
bool IsPieceType(SQLSMALLINT cType);  // texts and bytes, which come in pieces
size_t FixedSize(SQLSMALLINT cType);  // the size of a fixed-size C type's value; 0 for the rest
// The size of one element of a column bound as an array: a fixed C type's own size, else the
// buffer length given.
SQLULEN ElementSize(const Binding& b, const ColumnMeta& meta);

// The cursor.
void ResetCursor(Stmt* stmt);
SQLRETURN EngineFailure(Stmt* stmt, const std::exception& e);
// A statement run while the cursor of the last is open is refused, and the cursor closed.
SQLRETURN CursorOpen(Stmt* stmt);
ColumnMeta MetaFor(const sql::ResultColumn& column);

// Marks the statement as the one the engine steps, for SQLCancel from another thread, and gives
// the engine the statement's query timeout.
class Stepping {
 public:
  explicit Stepping(Stmt* stmt);
  ~Stepping();
  Stepping(const Stepping&) = delete;
  Stepping& operator=(const Stepping&) = delete;

 private:
  Dbc* dbc_;
};

// Runs the prepared statement, its parameters bound.
SQLRETURN Run(Stmt* stmt);

// The parameters.
// Gives the engine every bound parameter's value; SQL_NEED_DATA when some are sent at
// execution time.
SQLRETURN BindParameters(Stmt* stmt);
void EndData(Stmt* stmt);  // ends a sequence of parameters sent at execution time
// A parameter's value, `length` bytes at `data` in the C type of `b` (or as its length
// indicator says), given to the engine.
SQLRETURN BindValue(Stmt* stmt, SQLUSMALLINT number, const Binding& b, const char* data,
                    SQLLEN length);

}  // namespace tabrix::odbc

// What the engine's scalar functions share: reading their arguments, failing with a SQLSTATE,
// and the table each family of them is registered from.
#pragma once

#include <sqlite3.h>

#include <span>
#include <string>
#include <string_view>

#include "sql/When.h"

namespace tabrix::sql {

struct Function {
  const char* name;
  int args;  // -1: any number
  void (*call)(sqlite3_context*, int, sqlite3_value**);
  bool deterministic = true;  // false for the clock's, whose value changes between calls
};

void RegisterEach(sqlite3* db, std::span<const Function> functions);
// The families, each in its own file.
void RegisterDateFunctions(sqlite3* db);
void RegisterConvert(sqlite3* db);

std::string_view TextOf(sqlite3_value* v);
bool AnyNull(int argc, sqlite3_value** argv);
// An argument as a message shows it: quoted, a long one cut.
std::string Shown(sqlite3_value* v);
// Errors carry their SQLSTATE before the message, for the engine to report.
void Fail(sqlite3_context* context, const std::string& message);

// A date argument: false (with the error set) when it is not one; NULL is left to the caller.
bool WhenOf(sqlite3_context* context, sqlite3_value* v, const char* function, When& when);
// The date as the function's result, or an error when its year has no four digits.
void ResultWhen(sqlite3_context* context, const When& when, const char* function);

}  // namespace tabrix::sql

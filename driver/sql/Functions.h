// The scalar functions of the ODBC escapes ({fn UCASE(x)}) and of the desktop dialect (Mid,
// Len, IIf, Nz, Year, ...) that SQLite lacks, made functions of one connection's engine.
#pragma once

struct sqlite3;

namespace tabrix::sql {

void RegisterFunctions(sqlite3* db);

}  // namespace tabrix::sql

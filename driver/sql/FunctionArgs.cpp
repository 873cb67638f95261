#include "sql/FunctionArgs.h"

#include "formats/Dates.h"

namespace tabrix::sql {

void RegisterEach(sqlite3* db, std::span<const Function> functions) {
  for (const Function& f : functions) {
    int flags = SQLITE_UTF8 | SQLITE_INNOCUOUS;
    if (f.deterministic) flags |= SQLITE_DETERMINISTIC;
    sqlite3_create_function_v2(db, f.name, f.args, flags, nullptr, f.call, nullptr, nullptr,
                               nullptr);
  }
}

std::string_view TextOf(sqlite3_value* v) {
  const char* s = reinterpret_cast<const char*>(sqlite3_value_text(v));
  return s ? std::string_view(s, static_cast<size_t>(sqlite3_value_bytes(v))) : std::string_view();
}

void Fail(sqlite3_context* context, const std::string& message) {
  sqlite3_result_error(context, message.c_str(), static_cast<int>(message.size()));
}

std::string Shown(sqlite3_value* v) {
  std::string text(TextOf(v));
  if (text.size() > 40) text = text.substr(0, 40) + "...";
  return "'" + text + "'";
}

bool WhenOf(sqlite3_context* context, sqlite3_value* v, const char* function, When& when) {
  if (sqlite3_value_type(v) == SQLITE_TEXT && ParseWhen(TextOf(v), when)) return true;
  Fail(context, std::string("22018: ") + function + ": " + Shown(v) +
                    " is not a date or time (a date cell, {d 'YYYY-MM-DD'}, {ts ...} or {t ...})");
  return false;
}

bool AnyNull(int argc, sqlite3_value** argv) {
  for (int i = 0; i < argc; ++i) {
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return true;
  }
  return false;
}

void ResultWhen(sqlite3_context* context, const When& when, const char* function) {
  int64_t y, m, d;
  formats::CivilFromDays(when.days, y, m, d);
  if (y < 1 || y > 9999) {
    Fail(context,
         std::string("22008: ") + function + ": the date falls outside the years 1 to 9999");
    return;
  }
  std::string text = FormatWhen(when);
  sqlite3_result_text(context, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

}  // namespace tabrix::sql

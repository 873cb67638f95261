// A prepared statement: its parameters bound, run, its columns described and its rows read,
// from the engine or directly from a sheet.
#include <algorithm>
#include <cmath>

#include "formats/Ascii.h"
#include "sql/EngineImpl.h"

namespace tabrix::sql {

Query::Query(Database& database, sqlite3_stmt* statement)
    : database_(database), statement_(statement) {
  DescribeColumns(false);
}

Query::~Query() { sqlite3_finalize(statement_); }

int Query::ParameterCount() const { return sqlite3_bind_parameter_count(statement_); }
void Query::BindNull(int index) { sqlite3_bind_null(statement_, index); }
void Query::BindInteger(int index, int64_t value) { sqlite3_bind_int64(statement_, index, value); }
void Query::BindReal(int index, double value) { sqlite3_bind_double(statement_, index, value); }
void Query::BindText(int index, std::string_view value) {
  sqlite3_bind_text64(statement_, index, value.data(), value.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}
void Query::BindBlob(int index, std::string_view bytes) {
  sqlite3_bind_blob64(statement_, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
}
void Query::ClearBindings() { sqlite3_clear_bindings(statement_); }

namespace {

bool LooksLikeTimestamp(const unsigned char* s, int n) {
  if (n != 19 && n != 23) return false;
  static const char pattern[] = "dddd-dd-dd dd:dd:dd.ddd";
  for (int i = 0; i < n; ++i) {
    if (pattern[i] == 'd' ? !formats::IsAsciiDigit(s[i])
                          : s[i] != static_cast<unsigned char>(pattern[i])) {
      return false;
    }
  }
  return true;
}

}  // namespace

void Query::DescribeColumns(bool fromRow) {
  const int count = sqlite3_column_count(statement_);
  columns_.resize(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    ResultColumn& column = columns_[static_cast<size_t>(i)];
    const char* name = sqlite3_column_name(statement_, i);
    column.name = name ? name : "";
    const char* origin = sqlite3_column_origin_name(statement_, i);
    const char* table = sqlite3_column_table_name(statement_, i);
    column.baseName = origin ? origin : "";
    column.table = table ? table : "";
    const char* declared = sqlite3_column_decltype(statement_, i);
    if (declared) {
      std::string d = Lower(declared);
      column.type = d == "double"        ? ResultType::Double
                    : d == "timestamp"   ? ResultType::Timestamp
                    : d == "bit"         ? ResultType::Bit
                    : d == "longvarchar" ? ResultType::LongVarchar
                                         : ResultType::Varchar;
      continue;
    }
    if (!fromRow) {
      column.type = ResultType::Varchar;
      continue;
    }
    switch (hasRow_ ? sqlite3_column_type(statement_, i) : SQLITE_NULL) {
      case SQLITE_INTEGER:
        column.type = ResultType::BigInt;
        break;
      case SQLITE_FLOAT:
        column.type = ResultType::Double;
        break;
      case SQLITE_TEXT: {
        const unsigned char* s = sqlite3_column_text(statement_, i);
        int n = sqlite3_column_bytes(statement_, i);
        column.type = LooksLikeTimestamp(s, n) ? ResultType::Timestamp
                      : n > 255                ? ResultType::LongVarchar
                                               : ResultType::Varchar;
        break;
      }
      default:
        column.type = ResultType::Varchar;
        break;
    }
  }
}

void Query::PlanDirect(std::string_view sql) {
  if (!IsPlainShape(sql) || sqlite3_bind_parameter_count(statement_) != 0) return;
  const int count = sqlite3_column_count(statement_);
  if (count <= 0) return;
  std::shared_ptr<const TableView> view;
  std::string table;
  std::vector<size_t> columns;
  for (int i = 0; i < count; ++i) {
    // Each result column must be a column of the one sheet's table, by the engine's own word.
    const char* from = sqlite3_column_table_name(statement_, i);
    const char* origin = sqlite3_column_origin_name(statement_, i);
    if (!from || !origin) return;
    if (i == 0) {
      table = from;
      view = database_.SharedView(table);
      if (!view) return;
    } else if (!IEquals(from, table)) {
      return;
    }
    const auto& names = view->ColumnNames();
    size_t c = 0;
    while (c < names.size() && !IEquals(names[c], origin)) ++c;
    if (c == names.size()) return;
    columns.push_back(c);
  }
  direct_ = std::move(view);
  directColumns_ = std::move(columns);
  directValues_.assign(static_cast<size_t>(count), DirectValue{});
}

const Query::DirectValue& Query::Direct(int column) const {
  DirectValue& value = directValues_[static_cast<size_t>(column)];
  if (value.row == directRow_) return value;
  const CellValue cell =
      ValueAt(*direct_, directRow_, directColumns_[static_cast<size_t>(column)], value.buffer);
  value.row = directRow_;
  value.type = cell.type;
  value.integer = cell.integer;
  value.real = cell.real;
  value.text = cell.text;
  return value;
}

namespace {

const char* KindOf(ColumnType type) {
  return type == ColumnType::Double      ? "numbers"
         : type == ColumnType::Timestamp ? "dates"
                                         : "booleans";
}

// A value a column's type could not hold, told with where it is and how to keep it.
Warning MisfitWarning(const TableView& view, const Misfit& misfit) {
  const std::string& name = view.ColumnNames()[misfit.column];
  const std::string holds =
      "[Tabrix] column '" + name + "' holds " + KindOf(view.ColumnTypes()[misfit.column]);
  const std::string scan = std::to_string(view.MaxScanRows());
  const std::string decided = ", as its first " + scan + " rows decided (MaxScanRows=" + scan + ")";
  const std::string others = std::to_string(misfit.count - 1);
  if (view.Records()) {
    // A file's rows are its records, counted from 1 as its lines are.
    const std::string where =
        "row " + std::to_string(uint64_t{misfit.row} + 1) + " of '" + view.SheetName() + "'";
    const std::string more = misfit.count > 1 ? " and " + others + " more rows below it" : "";
    return {"01000", holds + (view.Declared() ? std::string(", as the file declares") : decided) +
                         ": the value in " + where + more + " is not one and comes back NULL" +
                         (view.Declared() ? "" : "; MaxScanRows=0 keeps it as text")};
  }
  const std::string cell = view.SheetName() + CellName(misfit.row, misfit.sheetColumn);
  const std::string more = misfit.count > 1 ? " and " + others + " more cells below it" : "";
  return {"01000", holds + decided + ": the value at " + cell + more +
                       " is not one and comes back NULL; MaxScanRows=0 or IMEX=1 keeps it as text"};
}

}  // namespace

void Query::Execute(std::vector<Warning>& warnings) {
  FirstRow();
  if (!described_) {
    DescribeColumns(true);
    described_ = true;
  }
  TellLostValues(warnings);
}

void Query::FirstRow() {
  sqlite3_reset(statement_);
  hasRow_ = false;
  if (direct_) {
    directRow_ = direct_->FirstDataRow();
    directEnd_ = directRow_ + direct_->RowCount();
    hasRow_ = directRow_ < directEnd_;
    for (DirectValue& value : directValues_) value.row = UINT64_MAX;
    return;
  }
  int rc = sqlite3_step(statement_);
  if (rc == SQLITE_ROW) {
    hasRow_ = true;
  } else if (rc != SQLITE_DONE) {
    int code = sqlite3_errcode(database_.impl_->db);
    sqlite3_reset(statement_);
    database_.Fail(code, "");
  }
}

// The readers' warnings of each file read, and the values the guessed types could not hold
// in the columns this statement reads, each told once.
void Query::TellLostValues(std::vector<Warning>& warnings) const {
  std::vector<std::pair<std::string, size_t>> told;
  std::vector<const TableView*> toldFiles;
  for (const auto& [table, column] : reads_) {
    const TableView* view = database_.View(table);
    if (!view) continue;
    if (std::find(toldFiles.begin(), toldFiles.end(), view) == toldFiles.end()) {
      toldFiles.push_back(view);
      for (const std::string& message : view->Data().Warnings()) {
        warnings.push_back({"01000", "[Tabrix] " + message});
      }
    }
    for (const Misfit& misfit : view->Misfits()) {
      if (!IEquals(view->ColumnNames()[misfit.column], column)) continue;
      if (std::find(told.begin(), told.end(), std::make_pair(table, misfit.column)) != told.end()) {
        continue;
      }
      told.emplace_back(table, misfit.column);
      warnings.push_back(MisfitWarning(*view, misfit));
    }
  }
}

bool Query::Next() {
  if (!hasRow_) return false;
  if (direct_) {
    hasRow_ = ++directRow_ < directEnd_;
    return hasRow_;
  }
  int rc = sqlite3_step(statement_);
  if (rc == SQLITE_ROW) return true;
  hasRow_ = false;
  if (rc == SQLITE_DONE) return false;
  int code = sqlite3_errcode(database_.impl_->db);
  sqlite3_reset(statement_);
  database_.Fail(code, "");
}

void Query::Close() {
  sqlite3_reset(statement_);
  hasRow_ = false;
}

ValueType Query::Type(int column) const {
  if (direct_) return Direct(column).type;
  switch (sqlite3_column_type(statement_, column)) {
    case SQLITE_INTEGER:
      return ValueType::Integer;
    case SQLITE_FLOAT:
      return ValueType::Real;
    case SQLITE_NULL:
      return ValueType::Null;
    default:
      return ValueType::Text;
  }
}
int64_t Query::Integer(int column) const {
  if (direct_) {
    const DirectValue& v = Direct(column);
    return v.type == ValueType::Integer                              ? v.integer
           : v.type == ValueType::Real && std::fabs(v.real) < 9.2e18 ? static_cast<int64_t>(v.real)
                                                                     : 0;
  }
  return sqlite3_column_int64(statement_, column);
}
double Query::Real(int column) const {
  if (direct_) {
    const DirectValue& v = Direct(column);
    return v.type == ValueType::Real      ? v.real
           : v.type == ValueType::Integer ? static_cast<double>(v.integer)
                                          : 0;
  }
  return sqlite3_column_double(statement_, column);
}
std::string_view Query::Text(int column) const {
  if (direct_) return Direct(column).text;  // a number's text is asked for only as a number
  const unsigned char* text = sqlite3_column_text(statement_, column);
  int n = sqlite3_column_bytes(statement_, column);
  return text ? std::string_view(reinterpret_cast<const char*>(text), static_cast<size_t>(n))
              : std::string_view();
}

}  // namespace tabrix::sql

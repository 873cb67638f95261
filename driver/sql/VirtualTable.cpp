// The virtual table over a sheet's view: columns declared in their types, rows scanned or
// looked up in a column's index, each cell's value as a statement sees it.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "sql/EngineImpl.h"
#include "sql/Functions.h"

namespace tabrix::sql {

CellValue ValueAt(const TableView& view, uint64_t row, size_t column, char* buffer) {
  CellValue value;
  const SheetData& data = view.Data();
  const auto* cell = data.Find(static_cast<uint32_t>(row), view.SheetColumn(column));
  if (!cell || cell->Kind() == CellKind::Error) return value;
  const ColumnType type = view.ColumnTypes()[column];
  if (!TableView::Fits(cell->Kind(), type)) return value;
  if (cell->Kind() == CellKind::Number && type == ColumnType::Double) {
    if (std::isnan(cell->number)) return value;  // the engine holds no NaN: NULL, as it makes it
    value.type = ValueType::Real;
    value.real = cell->number;
  } else if (cell->Kind() == CellKind::Boolean && type == ColumnType::Bit) {
    value.type = ValueType::Integer;
    value.integer = cell->number != 0;
  } else {
    value.type = ValueType::Text;
    value.text = CellText(data, *cell, buffer);
  }
  return value;
}

std::string Quote(std::string_view identifier) {
  std::string out = "\"";
  for (char c : identifier) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

namespace {

// The virtual table over one TableView.
struct VTab : sqlite3_vtab {
  std::shared_ptr<const TableView> view;
};
struct Cursor : sqlite3_vtab_cursor {
  uint64_t row = 0, end = 0;       // a scan of the rows [row, end)
  const uint32_t* next = nullptr;  // or the rows an index found, [next, last)
  const uint32_t* last = nullptr;
  bool indexed = false;
};

const char* DeclaredType(ColumnType type) {
  switch (type) {
    case ColumnType::Double:
      return "DOUBLE";
    case ColumnType::Timestamp:
      return "TIMESTAMP";
    case ColumnType::Bit:
      return "BIT";
    case ColumnType::Varchar:
      return "VARCHAR(255)";
    case ColumnType::LongVarchar:
      return "LONGVARCHAR";
  }
  return "VARCHAR(255)";
}

int ModuleConnect(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out,
                  char** error) {
  auto* impl = static_cast<Database::Impl*>(aux);
  if (argc < 4) return SQLITE_ERROR;
  size_t index = std::strtoul(argv[3], nullptr, 10);
  if (index >= impl->views.size()) {
    *error = sqlite3_mprintf("no such table view");
    return SQLITE_ERROR;
  }
  const auto& view = impl->views[index];
  std::string declaration = "CREATE TABLE x(";
  for (size_t c = 0; c < view->ColumnNames().size(); ++c) {
    if (c) declaration += ", ";
    declaration += Quote(view->ColumnNames()[c]);
    declaration += ' ';
    declaration += DeclaredType(view->ColumnTypes()[c]);
  }
  declaration += ")";
  int rc = sqlite3_declare_vtab(db, declaration.c_str());
  if (rc != SQLITE_OK) {
    *error = sqlite3_mprintf("%s", sqlite3_errmsg(db));
    return rc;
  }
  auto* vtab = new VTab();
  vtab->view = view;
  *out = vtab;
  return SQLITE_OK;
}

// An equality on a column is looked up in the column's index; everything else scans. The
// engine checks the condition again (omit stays 0), so a lookup may find too much, never
// too little: a value of another kind than the column's scans instead.
int ModuleBestIndex(sqlite3_vtab* base, sqlite3_index_info* info) {
  auto* vtab = static_cast<VTab*>(base);
  const double rows = std::max<double>(1, vtab->view->RowCount());
  info->estimatedRows = static_cast<sqlite3_int64>(rows);
  info->estimatedCost = rows;
  info->idxNum = 0;
  for (int i = 0; i < info->nConstraint; ++i) {
    const auto& c = info->aConstraint[i];
    if (!c.usable || c.op != SQLITE_INDEX_CONSTRAINT_EQ || c.iColumn < 0) continue;
    info->aConstraintUsage[i].argvIndex = 1;
    info->aConstraintUsage[i].omit = 0;
    info->idxNum = c.iColumn + 1;
    info->estimatedRows = std::max<sqlite3_int64>(1, static_cast<sqlite3_int64>(rows / 100));
    info->estimatedCost = 10 + rows / 100;
    break;
  }
  return SQLITE_OK;
}

int ModuleDisconnect(sqlite3_vtab* base) {
  delete static_cast<VTab*>(base);
  return SQLITE_OK;
}

int ModuleOpen(sqlite3_vtab*, sqlite3_vtab_cursor** out) {
  *out = new Cursor();
  return SQLITE_OK;
}

int ModuleClose(sqlite3_vtab_cursor* cursor) {
  delete static_cast<Cursor*>(cursor);
  return SQLITE_OK;
}

int ModuleFilter(sqlite3_vtab_cursor* base, int idxNum, const char*, int argc,
                 sqlite3_value** argv) {
  auto* cursor = static_cast<Cursor*>(base);
  const TableView& view = *static_cast<VTab*>(base->pVtab)->view;
  cursor->indexed = false;
  cursor->row = view.FirstDataRow();
  cursor->end = uint64_t{view.FirstDataRow()} + view.RowCount();
  if (idxNum > 0 && argc == 1) {
    const auto column = static_cast<size_t>(idxNum - 1);
    const ColumnType type = view.ColumnTypes()[column];
    const int valueType = sqlite3_value_type(argv[0]);
    TableView::RowSpan span;
    bool lookup = false;
    if (valueType == SQLITE_NULL) {
      lookup = true;  // = NULL is never true
    } else if ((type == ColumnType::Double || type == ColumnType::Bit) &&
               (valueType == SQLITE_INTEGER || valueType == SQLITE_FLOAT)) {
      span = view.RowsWithNumber(column, sqlite3_value_double(argv[0]));
      lookup = true;
    } else if ((type == ColumnType::Varchar || type == ColumnType::LongVarchar ||
                type == ColumnType::Timestamp) &&
               valueType == SQLITE_TEXT) {
      const char* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
      span = view.RowsWithText(
          column, std::string_view(text, static_cast<size_t>(sqlite3_value_bytes(argv[0]))));
      lookup = true;
    }
    if (lookup) {
      cursor->indexed = true;
      cursor->next = span.begin;
      cursor->last = span.end;
      if (cursor->next != cursor->last) cursor->row = *cursor->next;
    }
  }
  return SQLITE_OK;
}

int ModuleNext(sqlite3_vtab_cursor* base) {
  auto* cursor = static_cast<Cursor*>(base);
  if (cursor->indexed) {
    if (cursor->next != cursor->last && ++cursor->next != cursor->last) cursor->row = *cursor->next;
  } else {
    ++cursor->row;
  }
  return SQLITE_OK;
}

int ModuleEof(sqlite3_vtab_cursor* base) {
  auto* cursor = static_cast<Cursor*>(base);
  return cursor->indexed ? cursor->next == cursor->last : cursor->row >= cursor->end;
}

int ModuleColumn(sqlite3_vtab_cursor* base, sqlite3_context* context, int column) {
  auto* cursor = static_cast<Cursor*>(base);
  const TableView& view = *static_cast<VTab*>(base->pVtab)->view;
  char buffer[32];
  const CellValue value = ValueAt(view, cursor->row, static_cast<size_t>(column), buffer);
  switch (value.type) {
    case ValueType::Null:
      break;
    case ValueType::Integer:
      sqlite3_result_int64(context, value.integer);
      break;
    case ValueType::Real:
      sqlite3_result_double(context, value.real);
      break;
    case ValueType::Text:
      // A sheet's own text lives as long as the sheet; a formatted one is copied.
      sqlite3_result_text(context, value.text.data(), static_cast<int>(value.text.size()),
                          value.text.data() == buffer ? SQLITE_TRANSIENT : SQLITE_STATIC);
      break;
  }
  return SQLITE_OK;
}

int ModuleRowid(sqlite3_vtab_cursor* base, sqlite3_int64* rowid) {
  *rowid = static_cast<sqlite3_int64>(static_cast<Cursor*>(base)->row + 1);
  return SQLITE_OK;
}

sqlite3_module MakeModule() {
  sqlite3_module module{};
  module.iVersion = 1;
  module.xCreate = ModuleConnect;
  module.xConnect = ModuleConnect;
  module.xBestIndex = ModuleBestIndex;
  module.xDisconnect = ModuleDisconnect;
  module.xDestroy = ModuleDisconnect;
  module.xOpen = ModuleOpen;
  module.xClose = ModuleClose;
  module.xFilter = ModuleFilter;
  module.xNext = ModuleNext;
  module.xEof = ModuleEof;
  module.xColumn = ModuleColumn;
  module.xRowid = ModuleRowid;
  return module;  // no xUpdate: the tables are read-only whatever is asked
}
const sqlite3_module kModule = MakeModule();

}  // namespace

const sqlite3_module& SheetModule() { return kModule; }

}  // namespace tabrix::sql

#include "sql/Engine.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <tuple>
#include <unordered_map>

#include "sql/Functions.h"

namespace tabrix::sql {
namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string Quote(std::string_view identifier) {
  std::string out = "\"";
  for (char c : identifier) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

// Which file a workbook is: a sheet read from it is good while these are unchanged.
struct FileKey {
  std::string path;
  uint64_t device = 0, inode = 0, size = 0;
  int64_t mtimeNs = 0;
  uintptr_t object = 0;  // a workbook given directly, not by a file: its number
  std::string readAs;    // a folder's file: how its format reads it
  bool table = false;    // a folder's file, whose key is taken when a statement first reads it
  bool operator<(const FileKey& o) const {
    return std::tie(path, device, inode, size, mtimeNs, object, readAs) <
           std::tie(o.path, o.device, o.inode, o.size, o.mtimeNs, o.object, o.readAs);
  }
  bool SameFile(const FileKey& o) const {
    return path == o.path && object == o.object && readAs == o.readAs;
  }
};

FileKey KeyOf(const std::string& path, const struct stat& st) {
  FileKey key;
  key.path = path;
  key.device = st.st_dev;
  key.inode = st.st_ino;
  key.size = static_cast<uint64_t>(st.st_size);
  key.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return key;
}

// Throws when the file at `file.path` is no longer the one `file` describes.
void CheckUnchanged(const FileKey& file) {
  if (file.object != 0) return;  // a workbook given directly has no file to change
  struct stat st{};
  bool same = stat(file.path.c_str(), &st) == 0 && static_cast<uint64_t>(st.st_dev) == file.device &&
              static_cast<uint64_t>(st.st_ino) == file.inode &&
              static_cast<uint64_t>(st.st_size) == file.size &&
              static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec == file.mtimeNs;
  if (!same && file.table) {
    throw EngineError("HY000", "the file '" + file.path +
                                   "' changed while it was read: run the statement again");
  }
  if (!same) {
    throw EngineError("HY000", "the workbook '" + file.path +
                                   "' changed since the connection opened: reconnect to read it");
  }
}

// The process's sheets: each read once, when a statement first uses it, and shared by every
// connection and thread while its file is unchanged. A file that changed drops its old sheets.
class SheetCache {
 public:
  static SheetCache& Instance() {
    static SheetCache* cache = new SheetCache;  // never destroyed: drivers unload late
    return *cache;
  }

  std::shared_ptr<const SheetData> Get(const FileKey& file, size_t sheet,
                                       formats::Workbook& workbook, uint32_t expectedCells) {
    std::shared_ptr<Entry> entry;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->first.first.SameFile(file) && (it->first.first < file || file < it->first.first)) {
          it = entries_.erase(it);  // the file changed since
        } else {
          ++it;
        }
      }
      auto& slot = entries_[{file, sheet}];
      if (!slot) slot = std::make_shared<Entry>();
      entry = slot;
    }
    std::lock_guard<std::mutex> lock(entry->mutex);
    if (!entry->data) {
      // The connection's structure is the file's as it was at connect: a sheet read from a
      // file changed since would be another sheet, or the same one with other columns.
      CheckUnchanged(file);
      auto data = SheetData::Read(workbook, sheet, expectedCells);
      CheckUnchanged(file);
      entry->data = std::move(data);
      ++reads_;
    }
    return entry->data;
  }

  // Keeps the sheets of `keep` and of every file still in use; forgets the others.
  void Trim(const FileKey& keep) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = entries_.begin(); it != entries_.end();) {
      // An entry being read is in use: never wait for it here, with every lookup held up.
      std::unique_lock<std::mutex> entryLock(it->second->mutex, std::try_to_lock);
      if (!entryLock.owns_lock()) {
        ++it;
        continue;
      }
      std::shared_ptr<const SheetData> data = it->second->data;
      entryLock.unlock();
      bool unused = it->second.use_count() == 1 && (!data || data.use_count() == 2);
      if (unused && !it->first.first.SameFile(keep)) {
        it = entries_.erase(it);
      } else {
        ++it;
      }
    }
  }

 private:
  struct Entry {
    std::mutex mutex;
    std::shared_ptr<const SheetData> data;
  };
  std::mutex mutex_;
  std::map<std::pair<FileKey, size_t>, std::shared_ptr<Entry>> entries_;

 public:
  std::atomic<size_t> reads_{0};
};

// A cell's value as a statement sees it: in its column's type, NULL where it does not fit
// (told at execute), empty or an error; numbers, dates and booleans in text columns as text.
// `buffer` (32 bytes) holds a text made here.
struct CellValue {
  ValueType type = ValueType::Null;
  int64_t integer = 0;
  double real = 0;
  std::string_view text;
};

CellValue ValueAt(const TableView& view, uint64_t row, size_t column, char* buffer) {
  CellValue value;
  const SheetData& data = view.Data();
  const auto* cell = data.Find(static_cast<uint32_t>(row), view.SheetColumn(column));
  if (!cell || cell->Kind() == CellKind::Error) return value;
  const ColumnType type = view.ColumnTypes()[column];
  if (!TableView::Fits(cell->Kind(), type)) return value;
  switch (cell->Kind()) {
    case CellKind::Text:
      value.type = ValueType::Text;
      value.text = data.Text(*cell);
      break;
    case CellKind::Number:
      if (type == ColumnType::Double) {
        if (std::isnan(cell->number)) break;  // the engine holds no NaN: NULL, as it makes it
        value.type = ValueType::Real;
        value.real = cell->number;
      } else {
        value.type = ValueType::Text;
        value.text = std::string_view(buffer, FormatNumber(cell->number, buffer));
      }
      break;
    case CellKind::DateTime:
      value.type = ValueType::Text;
      value.text = std::string_view(buffer, FormatSerial(cell->number, data.Date1904(), buffer));
      break;
    case CellKind::Boolean:
      if (type == ColumnType::Bit) {
        value.type = ValueType::Integer;
        value.integer = cell->number != 0;
      } else {
        value.type = ValueType::Text;
        value.text = cell->number != 0 ? "TRUE" : "FALSE";
      }
      break;
    case CellKind::Error:
      break;
  }
  return value;
}

// Whether a statement only lists columns of one table, and nothing else:
//   SELECT * FROM t    or    SELECT a [AS x], b, ... FROM t    (a ';' may end it)
// A condition, an order, an expression, a second table or a comment is more than that.
class PlainShape {
 public:
  static bool Of(std::string_view sql) {
    PlainShape p(sql);
    if (!p.Word("select")) return false;
    if (!p.Punct('*')) {
      do {
        if (!p.Identifier()) return false;
        if (p.Word("as") && !p.Identifier()) return false;
      } while (p.Punct(','));
    }
    if (!p.Word("from") || !p.Identifier()) return false;
    p.Punct(';');
    p.Blank();
    return p.at_ == p.s_.size();
  }

 private:
  explicit PlainShape(std::string_view s) : s_(s) {}
  static bool IsWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' ||
           static_cast<unsigned char>(c) >= 0x80;
  }
  void Blank() {
    while (at_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[at_]))) ++at_;
  }
  bool Punct(char c) {
    Blank();
    if (at_ < s_.size() && s_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  bool Word(std::string_view word) {
    Blank();
    if (s_.size() - at_ < word.size()) return false;
    for (size_t k = 0; k < word.size(); ++k) {
      if (std::tolower(static_cast<unsigned char>(s_[at_ + k])) != word[k]) return false;
    }
    if (at_ + word.size() < s_.size() && IsWordChar(s_[at_ + word.size()])) return false;
    at_ += word.size();
    return true;
  }
  bool Identifier() {
    Blank();
    if (at_ >= s_.size()) return false;
    const char open = s_[at_];
    if (open == '[') {
      const size_t close = s_.find(']', at_ + 1);
      if (close == std::string_view::npos || close == at_ + 1) return false;
      at_ = close + 1;
      return true;
    }
    if (open == '"' || open == '`') {
      for (size_t j = at_ + 1; j < s_.size(); ++j) {
        if (s_[j] != open) continue;
        if (j + 1 < s_.size() && s_[j + 1] == open) {
          ++j;
          continue;
        }
        if (j == at_ + 1) return false;
        at_ = j + 1;
        return true;
      }
      return false;
    }
    if (!std::isalpha(static_cast<unsigned char>(open)) && open != '_') return false;
    while (at_ < s_.size() && IsWordChar(s_[at_])) ++at_;
    return true;
  }

  std::string_view s_;
  size_t at_ = 0;
};

// The virtual table over one TableView.
struct VTab : sqlite3_vtab {
  std::shared_ptr<const TableView> view;
};
struct Cursor : sqlite3_vtab_cursor {
  uint64_t row = 0, end = 0;  // a scan of the rows [row, end)
  const uint32_t* next = nullptr;  // or the rows an index found, [next, last)
  const uint32_t* last = nullptr;
  bool indexed = false;
};

}  // namespace

struct Database::Impl {
  sqlite3* db = nullptr;
  std::unique_ptr<formats::Workbook> workbook;
  FileKey file;
  std::vector<std::shared_ptr<const TableView>> views;  // by the index the module is given
  std::unordered_map<std::string, size_t> byName;       // lower-cased table name -> views index
  bool internal = false;                                // our own DDL is being run
  int denied = 0;                                       // the action the last prepare was refused
  std::vector<std::pair<std::string, std::string>>* reads = nullptr;
  std::mutex interruptMutex;
  // The query timeout: when the statement being stepped must stop, and whether it was stopped
  // for it (rather than cancelled).
  unsigned timeout = 0;
  std::chrono::steady_clock::time_point deadline;
  bool timedOut = false;
  bool folder = false;  // a folder of files, each a table of its own
};

namespace {

int Authorize(void* context, int action, const char* a1, const char* a2, const char*,
              const char*) {
  auto* impl = static_cast<Database::Impl*>(context);
  if (impl->internal) return SQLITE_OK;
  switch (action) {
    case SQLITE_SELECT:
    case SQLITE_FUNCTION:
    case SQLITE_RECURSIVE:
      return SQLITE_OK;
    case SQLITE_READ:
      if (impl->reads && a1 && a2) impl->reads->emplace_back(Lower(a1), a2);
      return SQLITE_OK;
    default:
      impl->denied = action;
      return SQLITE_DENY;
  }
}

const char* ActionName(int action) {
  switch (action) {
    case SQLITE_INSERT: return "INSERT";
    case SQLITE_UPDATE: return "UPDATE";
    case SQLITE_DELETE: return "DELETE";
    case SQLITE_ALTER_TABLE: return "ALTER";
    case SQLITE_ATTACH: return "ATTACH";
    case SQLITE_DETACH: return "DETACH";
    case SQLITE_PRAGMA: return "PRAGMA";
    case SQLITE_TRANSACTION: return "a transaction statement";
    case SQLITE_SAVEPOINT: return "SAVEPOINT";
    case SQLITE_ANALYZE: return "ANALYZE";
    case SQLITE_REINDEX: return "REINDEX";
    case SQLITE_DROP_INDEX: case SQLITE_DROP_TABLE: case SQLITE_DROP_TEMP_INDEX:
    case SQLITE_DROP_TEMP_TABLE: case SQLITE_DROP_TEMP_TRIGGER: case SQLITE_DROP_TEMP_VIEW:
    case SQLITE_DROP_TRIGGER: case SQLITE_DROP_VIEW: case SQLITE_DROP_VTABLE:
      return "DROP";
    case SQLITE_CREATE_INDEX: case SQLITE_CREATE_TABLE: case SQLITE_CREATE_TEMP_INDEX:
    case SQLITE_CREATE_TEMP_TABLE: case SQLITE_CREATE_TEMP_TRIGGER: case SQLITE_CREATE_TEMP_VIEW:
    case SQLITE_CREATE_TRIGGER: case SQLITE_CREATE_VIEW: case SQLITE_CREATE_VTABLE:
      return "CREATE";
    default: return nullptr;
  }
}

const char* DeclaredType(ColumnType type) {
  switch (type) {
    case ColumnType::Double: return "DOUBLE";
    case ColumnType::Timestamp: return "TIMESTAMP";
    case ColumnType::Bit: return "BIT";
    case ColumnType::Varchar: return "VARCHAR(255)";
    case ColumnType::LongVarchar: return "LONGVARCHAR";
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

int ModuleFilter(sqlite3_vtab_cursor* base, int idxNum, const char*, int argc, sqlite3_value** argv) {
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
      span = view.RowsWithText(column, std::string_view(text, static_cast<size_t>(sqlite3_value_bytes(argv[0]))));
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
    case ValueType::Null: break;
    case ValueType::Integer: sqlite3_result_int64(context, value.integer); break;
    case ValueType::Real: sqlite3_result_double(context, value.real); break;
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

// Why a path cannot be a workbook, before any reader opens it; empty when it may be one.
std::string RefusePath(const std::string& path, FileKey& key) {
  struct stat st{};
  if (stat(path.c_str(), &st) != 0) {
    return errno == ENOENT ? "no such file" : std::strerror(errno);
  }
  if (S_ISDIR(st.st_mode)) return "a folder, not a workbook";
  if (S_ISFIFO(st.st_mode)) return "a FIFO, not a workbook";
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "a device, not a workbook";
  if (S_ISSOCK(st.st_mode)) return "a socket, not a workbook";
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  close(fd);
  key = KeyOf(path, st);
  return {};
}

// "A1", "$A$1", "A", "1" -> a zero-based row and column; either may be absent.
bool ParseCellRef(std::string_view text, int64_t& row, int64_t& column) {
  row = column = -1;
  size_t i = 0;
  if (i < text.size() && text[i] == '$') ++i;
  int64_t col = 0;
  size_t letters = 0;
  while (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i]))) {
    col = col * 26 + (std::toupper(static_cast<unsigned char>(text[i])) - 'A' + 1);
    if (++letters > 3) return false;
    ++i;
  }
  if (letters) column = col - 1;
  if (i < text.size() && text[i] == '$') ++i;
  int64_t r = 0;
  size_t digits = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
    r = r * 10 + (text[i] - '0');
    if (++digits > 7) return false;
    ++i;
  }
  if (digits) {
    if (r == 0) return false;
    row = r - 1;
  }
  return i == text.size() && (letters || digits) && column < 16384 && row < 1048576;
}

bool ParseRange(std::string_view text, Range& range) {
  size_t colon = text.find(':');
  int64_t r1, c1, r2, c2;
  if (colon == std::string_view::npos) {
    if (!ParseCellRef(text, r1, c1) || r1 < 0 || c1 < 0) return false;
    r2 = r1, c2 = c1;
  } else if (!ParseCellRef(text.substr(0, colon), r1, c1) ||
             !ParseCellRef(text.substr(colon + 1), r2, c2)) {
    return false;
  }
  if ((r1 < 0) != (r2 < 0) || (c1 < 0) != (c2 < 0)) return false;
  if (r1 < 0) r1 = 0, r2 = 1048575;       // A:C
  if (c1 < 0) c1 = 0, c2 = 16383;         // 1:10
  range.firstRow = static_cast<uint32_t>(std::min(r1, r2));
  range.lastRow = static_cast<uint32_t>(std::max(r1, r2));
  range.firstColumn = static_cast<uint32_t>(std::min(c1, c2));
  range.lastColumn = static_cast<uint32_t>(std::max(c1, c2));
  return true;
}

bool IEquals(std::string_view a, std::string_view b) { return Lower(a) == Lower(b); }

}  // namespace

namespace {

std::string FirstWord(std::string_view sql) {
  size_t i = sql.find_first_not_of(" \t\r\n(");
  if (i == std::string_view::npos) return "this statement";
  size_t e = i;
  while (e < sql.size() && std::isalpha(static_cast<unsigned char>(sql[e]))) ++e;
  std::string word(sql.substr(i, e - i));
  for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return word.empty() ? "this statement" : word;
}

}  // namespace

bool IsChange(std::string_view sql) {
  std::string word = Lower(FirstWord(sql));
  return word == "insert" || word == "update" || word == "delete" || word == "create" ||
         word == "drop" || word == "alter" || word == "replace" || word == "attach" ||
         word == "detach" || word == "pragma" || word == "vacuum" || word == "reindex";
}

Database::Database(const ConnectOptions& options)
    : options_(options), impl_(std::make_unique<Impl>()) {}

Database::~Database() {
  if (impl_->db) sqlite3_close_v2(impl_->db);
  impl_->views.clear();
  SheetCache::Instance().Trim(impl_->file);
}

std::unique_ptr<Database> Database::Open(const ConnectOptions& options) {
  if (options.kind != formats::DatabaseKind::Excel) {
    // A folder: its files are listed now and each is read when a statement first uses it.
    if (options.path.empty()) {
      throw EngineError("08001", "cannot open the folder of tables: none is given (DefaultDir "
                                 "and DBQ are empty)");
    }
    std::unique_ptr<formats::Workbook> folder;
    try {
      folder = formats::OpenDatabase(options.kind, options.path, options.database);
    } catch (const std::exception& e) {
      std::string_view why = e.what();
      if (why.starts_with(options.path + ": ")) why.remove_prefix(options.path.size() + 2);
      throw EngineError("08001", "cannot open the folder '" + options.path + "': " + std::string(why));
    }
    auto database = Open(options, std::move(folder));
    database->impl_->file.object = 0;
    database->impl_->file.path = options.path;
    database->impl_->folder = true;
    return database;
  }
  FileKey key;
  std::string reason = options.path.empty() ? "no workbook given (DBQ is empty)"
                                            : RefusePath(options.path, key);
  if (!reason.empty()) {
    throw EngineError("08001", "cannot open the workbook '" + options.path + "': " + reason);
  }
  std::unique_ptr<formats::Workbook> workbook;
  try {
    workbook = formats::OpenWorkbook(options.path);
  } catch (const std::exception& e) {
    // The readers' reasons start with the path; the message names it once.
    std::string_view why = e.what();
    if (why.starts_with(options.path + ": ")) why.remove_prefix(options.path.size() + 2);
    throw EngineError("08001", "cannot open the workbook '" + options.path + "': " + std::string(why));
  }
  auto database = Open(options, std::move(workbook));
  database->impl_->file = key;
  return database;
}

std::unique_ptr<Database> Database::Open(const ConnectOptions& options,
                                         std::unique_ptr<formats::Workbook> workbook) {
  std::unique_ptr<Database> database(new Database(options));
  Impl& impl = *database->impl_;
  impl.file.path = options.path;
  // A workbook given directly is its own file: never the one an earlier object at the same
  // address was.
  static std::atomic<uintptr_t> given{0};
  impl.file.object = ++given;
  impl.workbook = std::move(workbook);
  int rc = sqlite3_open_v2(":memory:", &impl.db,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX |
                               SQLITE_OPEN_PRIVATECACHE,
                           nullptr);
  if (rc != SQLITE_OK) {
    throw EngineError("08001", std::string("cannot start the SQL engine: ") + sqlite3_errstr(rc));
  }
  sqlite3_db_config(impl.db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(impl.db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
  sqlite3_db_config(impl.db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  sqlite3_limit(impl.db, SQLITE_LIMIT_ATTACHED, 0);
  sqlite3_create_module_v2(impl.db, "tabrix", &kModule, &impl, nullptr);
  RegisterFunctions(impl.db);
  sqlite3_set_authorizer(impl.db, Authorize, &impl);
  return database;
}

std::vector<Database::Table> Database::Tables() const {
  std::vector<Table> tables;
  for (const auto& info : impl_->workbook->Tables()) {
    tables.push_back({info.isSheet && info.file.empty() ? info.name + "$" : info.name, info.isSheet,
                      !info.file.empty()});
  }
  return tables;
}

bool Database::ResolveFile(const std::string& name) {
  const auto& infos = impl_->workbook->Tables();
  size_t sheet = infos.size();
  for (size_t t = 0; t < infos.size() && sheet == infos.size(); ++t) {
    if (infos[t].file.empty()) continue;
    if (IEquals(infos[t].name, name)) sheet = t;
    for (const auto& alias : infos[t].aliases) {
      if (IEquals(alias, name)) sheet = t;
    }
  }
  if (sheet == infos.size()) return false;
  const formats::TableInfo& info = infos[sheet];
  std::shared_ptr<const SheetData> data;
  try {
    struct stat st{};
    if (stat(info.file.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      FileKey key = KeyOf(info.file, st);
      key.readAs = info.readAs;
      key.table = true;
      data = SheetCache::Instance().Get(key, sheet, *impl_->workbook, 0);
    } else {
      data = SheetData::Read(*impl_->workbook, sheet, 0);  // the reader says what it is
    }
  } catch (const EngineError&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw EngineError("HY001", "out of memory reading the table '" + info.name + "' ('" +
                                   info.file + "')");
  } catch (const std::exception& e) {
    throw EngineError("HY000", "cannot read the table '" + info.name + "': " + e.what());
  }
  TableOptions options = options_.table;
  RecordTable records{info.columns};
  if (info.firstRowHasNames >= 0) options.firstRowHasNames = info.firstRowHasNames != 0;
  if (!info.columns.empty()) options.firstRowHasNames = info.firstRowHasNames == 1;
  if (info.maxScanRows >= 0) options.maxScanRows = static_cast<unsigned>(info.maxScanRows);
  std::shared_ptr<TableView> view;
  try {
    view = std::make_shared<TableView>(data, nullptr, info.name, options, &records);
  } catch (const std::length_error& e) {
    throw EngineError("42000", "the table '" + name + "' cannot be read: " + e.what());
  }
  return AddView(name, std::move(view));
}

bool Database::AddView(const std::string& name, std::shared_ptr<TableView> view) {
  impl_->views.push_back(std::move(view));
  size_t index = impl_->views.size() - 1;
  std::string ddl = "CREATE VIRTUAL TABLE temp." + Quote(name) + " USING tabrix(" +
                    std::to_string(index) + ")";
  impl_->internal = true;
  char* error = nullptr;
  int rc = sqlite3_exec(impl_->db, ddl.c_str(), nullptr, nullptr, &error);
  impl_->internal = false;
  if (rc != SQLITE_OK) {
    std::string message = error ? error : sqlite3_errstr(rc);
    sqlite3_free(error);
    throw EngineError("HY000", "cannot make the table '" + name + "': " + message);
  }
  impl_->byName[Lower(name)] = index;
  return true;
}

bool Database::Resolve(const std::string& name) {
  if (impl_->folder) return ResolveFile(name);
  const auto& infos = impl_->workbook->Tables();
  const formats::TableInfo* found = nullptr;
  Range range{};
  bool hasRange = false;
  size_t sheet = 0;
  for (const auto& info : infos) {
    if (!info.isSheet && IEquals(info.name, name)) {
      found = &info;
      sheet = info.sheet;
      hasRange = info.hasRange;
      range = info.range;
      break;
    }
  }
  for (size_t s = 0; !found && s < infos.size(); ++s) {
    const auto& info = infos[s];
    if (!info.isSheet || name.size() < info.name.size() + 1) continue;
    if (!IEquals(std::string_view(name).substr(0, info.name.size()), info.name)) continue;
    char marker = name[info.name.size()];
    if (marker != '$' && marker != '!') continue;
    std::string_view rest = std::string_view(name).substr(info.name.size() + 1);
    if (rest.empty()) {
      found = &info;
      sheet = s;
    } else if (ParseRange(rest, range)) {
      found = &info;
      sheet = s;
      hasRange = true;
    }
  }
  if (!found || sheet >= infos.size() || !infos[sheet].isSheet) return false;

  uint32_t expected = 0;
  if (infos[sheet].hasRange) {
    const Range& d = infos[sheet].range;
    uint64_t cells = (uint64_t{d.lastRow} - d.firstRow + 1) * (uint64_t{d.lastColumn} - d.firstColumn + 1);
    expected = static_cast<uint32_t>(std::min<uint64_t>(cells, 1u << 22));
  }
  std::shared_ptr<const SheetData> data;
  try {
    data = SheetCache::Instance().Get(impl_->file, sheet, *impl_->workbook, expected);
  } catch (const EngineError&) {
    throw;
  } catch (const std::exception& e) {
    throw EngineError("HY000", "cannot read the sheet '" + infos[sheet].name + "' of '" +
                                   options_.path + "': " + e.what());
  }
  std::shared_ptr<TableView> view;
  try {
    view = std::make_shared<TableView>(data, hasRange ? &range : nullptr, infos[sheet].name + "$",
                                       options_.table);
  } catch (const std::length_error& e) {
    throw EngineError("42000", "the table '" + name + "' cannot be read: " + e.what());
  }
  return AddView(name, std::move(view));
}

std::string Database::Where() const {
  return (impl_->folder ? "the folder '" : "the workbook '") + options_.path + "'";
}

const TableView* Database::View(const std::string& table) const {
  auto it = impl_->byName.find(Lower(table));
  return it == impl_->byName.end() ? nullptr : impl_->views[it->second].get();
}

std::shared_ptr<const TableView> Database::SharedView(const std::string& table) const {
  auto it = impl_->byName.find(Lower(table));
  return it == impl_->byName.end() ? nullptr : impl_->views[it->second];
}

void Database::Fail(int code, const std::string& sql) {
  std::string message = sqlite3_errmsg(impl_->db);
  if (code == SQLITE_INTERRUPT && impl_->timedOut) {
    impl_->timedOut = false;
    throw EngineError("HYT00", "timeout expired: the statement ran past its query timeout of " +
                                   std::to_string(impl_->timeout) +
                                   (impl_->timeout == 1 ? " second" : " seconds"));
  }
  if (code == SQLITE_INTERRUPT) throw EngineError("HY008", "the statement was cancelled");
  if (code == SQLITE_AUTH || impl_->denied) {
    const char* action = ActionName(impl_->denied);
    std::string what = IsChange(sql) ? FirstWord(sql) : action ? action : "this statement";
    impl_->denied = 0;
    throw EngineError("42000", Where() + " is read-only: " + what + " is refused (the driver never changes " +
                                   (impl_->folder ? "a file)" : "a workbook)"));
  }
  if (message.rfind("no such column: ", 0) == 0) {
    throw EngineError("42S22", "no column '" + message.substr(16) + "' in the tables of this statement");
  }
  if (code == SQLITE_NOMEM) throw EngineError("HY001", "out of memory");
  // The driver's own functions name their SQLSTATE first: "22018: CONVERT: ...".
  if (message.size() > 7 && message[5] == ':' && message[6] == ' ' &&
      std::all_of(message.begin(), message.begin() + 5, [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'Z');
      })) {
    throw EngineError(message.substr(0, 5), message.substr(7));
  }
  (void)sql;
  throw EngineError("42000", message);
}

std::unique_ptr<Query> Database::Prepare(std::string_view text) {
  const std::string sql = Translate(text);
  std::vector<std::pair<std::string, std::string>> reads;
  for (int attempt = 0;; ++attempt) {
    reads.clear();
    impl_->reads = &reads;
    impl_->denied = 0;
    sqlite3_stmt* statement = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v3(impl_->db, sql.c_str(), static_cast<int>(sql.size()),
                                SQLITE_PREPARE_PERSISTENT, &statement, &tail);
    impl_->reads = nullptr;
    if (rc == SQLITE_OK) {
      if (!statement) throw EngineError("42000", "the statement is empty");
      std::string_view rest(tail ? tail : "");
      if (rest.find_first_not_of(" \t\r\n;") != std::string_view::npos) {
        sqlite3_finalize(statement);
        throw EngineError("42000", "one statement at a time: the text after ';' is refused");
      }
      if (!sqlite3_stmt_readonly(statement)) {
        sqlite3_finalize(statement);
        throw EngineError("42000", Where() + " is read-only: " +
                                       (IsChange(sql) ? FirstWord(sql) : "this statement") +
                                       " is refused (the driver never changes " +
                                       (impl_->folder ? "a file)" : "a workbook)"));
      }
      std::unique_ptr<Query> query(new Query(*this, statement));
      query->reads_ = std::move(reads);
      query->PlanDirect(sql);
      return query;
    }
    std::string message = sqlite3_errmsg(impl_->db);
    const std::string prefix = "no such table: ";
    if (message.rfind(prefix, 0) == 0 && attempt < 64 && !impl_->denied) {
      std::string name = message.substr(prefix.size());
      for (const char* schema : {"main.", "temp."}) {
        if (name.rfind(schema, 0) == 0) name = name.substr(std::strlen(schema));
      }
      if (!View(name) && Resolve(name)) continue;
      std::string list;
      for (const auto& table : Tables()) list += (list.empty() ? "'" : ", '") + table.name + "'";
      throw EngineError("42S02", "no table '" + name + "' in " + Where() + ": its tables are " + (list.empty() ? "none" : list));
    }
    // A change is refused as one, whatever the engine found wrong with it first.
    if (IsChange(sql) && message.find("syntax error") == std::string::npos) {
      if (!impl_->denied) impl_->denied = -1;
      Fail(SQLITE_AUTH, sql);
    }
    Fail(rc, sql);
  }
}

std::vector<std::pair<std::string, ColumnType>> Database::Columns(const std::string& table) {
  if (!View(table) && !Resolve(table)) {
    std::string list;
    for (const auto& t : Tables()) list += (list.empty() ? "'" : ", '") + t.name + "'";
    throw EngineError("42S02", "no table '" + table + "' in " + Where() + ": its tables are " + (list.empty() ? "none" : list));
  }
  const TableView* view = View(table);
  std::vector<std::pair<std::string, ColumnType>> columns;
  for (size_t c = 0; c < view->ColumnNames().size(); ++c) {
    columns.emplace_back(view->ColumnNames()[c], view->ColumnTypes()[c]);
  }
  return columns;
}

size_t SheetsRead() { return SheetCache::Instance().reads_.load(); }

void Database::Interrupt() { sqlite3_interrupt(impl_->db); }

namespace {

int CheckDeadline(void* context) {
  auto* impl = static_cast<Database::Impl*>(context);
  if (std::chrono::steady_clock::now() < impl->deadline) return 0;
  impl->timedOut = true;
  return 1;  // the engine stops the statement with SQLITE_INTERRUPT
}

}  // namespace

void Database::SetTimeout(unsigned seconds) {
  impl_->timeout = seconds;
  impl_->timedOut = false;
  if (seconds == 0) {
    sqlite3_progress_handler(impl_->db, 0, nullptr, nullptr);
    return;
  }
  impl_->deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  sqlite3_progress_handler(impl_->db, 10000, CheckDeadline, impl_.get());
}

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
    if (pattern[i] == 'd' ? !std::isdigit(s[i]) : s[i] != static_cast<unsigned char>(pattern[i])) {
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
      column.type = d == "double" ? ResultType::Double
                    : d == "timestamp" ? ResultType::Timestamp
                    : d == "bit" ? ResultType::Bit
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
                      : n > 255 ? ResultType::LongVarchar
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
  if (!PlainShape::Of(sql) || sqlite3_bind_parameter_count(statement_) != 0) return;
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

void Query::Execute(std::vector<Warning>& warnings) {
  sqlite3_reset(statement_);
  hasRow_ = false;
  if (direct_) {
    directRow_ = direct_->FirstDataRow();
    directEnd_ = directRow_ + direct_->RowCount();
    hasRow_ = directRow_ < directEnd_;
    for (DirectValue& value : directValues_) value.row = UINT64_MAX;
  } else {
    int rc = sqlite3_step(statement_);
    if (rc == SQLITE_ROW) {
      hasRow_ = true;
    } else if (rc != SQLITE_DONE) {
      int code = sqlite3_errcode(database_.impl_->db);
      sqlite3_reset(statement_);
      database_.Fail(code, "");
    }
  }
  if (!described_) {
    DescribeColumns(true);
    described_ = true;
  }
  // The values the guessed types could not hold, in the columns this statement reads.
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
      const std::string& name = view->ColumnNames()[misfit.column];
      if (!IEquals(name, column)) continue;
      if (std::find(told.begin(), told.end(), std::make_pair(table, misfit.column)) != told.end()) {
        continue;
      }
      told.emplace_back(table, misfit.column);
      const ColumnType type = view->ColumnTypes()[misfit.column];
      const char* kind = type == ColumnType::Double ? "numbers"
                         : type == ColumnType::Timestamp ? "dates"
                                                        : "booleans";
      std::string more = misfit.count > 1
                             ? " and " + std::to_string(misfit.count - 1) + " more cells below it"
                             : "";
      if (view->Records()) {
        // A file's rows are its records, counted from 1 as its lines are.
        const std::string where = "row " + std::to_string(uint64_t{misfit.row} + 1) + " of '" +
                                  view->SheetName() + "'";
        more = misfit.count > 1 ? " and " + std::to_string(misfit.count - 1) + " more rows below it" : "";
        warnings.push_back(
            {"01000", "[Tabrix] column '" + name + "' holds " + kind +
                          (view->Declared()
                               ? std::string(", as the file declares")
                               : ", as its first " + std::to_string(view->MaxScanRows()) +
                                     " rows decided (MaxScanRows=" + std::to_string(view->MaxScanRows()) + ")") +
                          ": the value in " + where + more + " is not one and comes back NULL" +
                          (view->Declared() ? "" : "; MaxScanRows=0 keeps it as text")});
        continue;
      }
      std::string cell = view->SheetName() + CellName(misfit.row, misfit.sheetColumn);
      warnings.push_back(
          {"01000", "[Tabrix] column '" + name + "' holds " + kind +
                        ", as its first " + std::to_string(view->MaxScanRows()) +
                        " rows decided (MaxScanRows=" + std::to_string(view->MaxScanRows()) +
                        "): the value at " + cell + more +
                        " is not one and comes back NULL; MaxScanRows=0 or IMEX=1 keeps it as text"});
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
    case SQLITE_INTEGER: return ValueType::Integer;
    case SQLITE_FLOAT: return ValueType::Real;
    case SQLITE_NULL: return ValueType::Null;
    default: return ValueType::Text;
  }
}
int64_t Query::Integer(int column) const {
  if (direct_) {
    const DirectValue& v = Direct(column);
    return v.type == ValueType::Integer ? v.integer
           : v.type == ValueType::Real && std::fabs(v.real) < 9.2e18 ? static_cast<int64_t>(v.real)
                                                                    : 0;
  }
  return sqlite3_column_int64(statement_, column);
}
double Query::Real(int column) const {
  if (direct_) {
    const DirectValue& v = Direct(column);
    return v.type == ValueType::Real ? v.real
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

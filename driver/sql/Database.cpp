// A connection's database: the workbook or folder opened, its tables made virtual tables when a
// statement first names them, the query timeout.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "formats/Ascii.h"
#include "sql/EngineImpl.h"
#include "sql/Functions.h"

namespace tabrix::sql {
namespace {

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
  while (i < text.size() && formats::IsAsciiAlpha(text[i])) {
    col = col * 26 + (formats::AsciiUpper(text[i]) - 'A' + 1);
    if (++letters > 3) return false;
    ++i;
  }
  if (letters) column = col - 1;
  if (i < text.size() && text[i] == '$') ++i;
  int64_t r = 0;
  size_t digits = 0;
  while (i < text.size() && formats::IsAsciiDigit(text[i])) {
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

}  // namespace

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
  sqlite3_create_module_v2(impl.db, "tabrix", &SheetModule(), &impl, nullptr);
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

}  // namespace tabrix::sql

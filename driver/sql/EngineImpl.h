// The engine's insides, shared by its parts: the state of a Database, the process's cache of
// sheets, the virtual table over a sheet and a few small rules of names. Internal to the engine.
#pragma once

#include <sqlite3.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>

#include "sql/Engine.h"

namespace tabrix::sql {

// Names compare without regard to ASCII case, as SQL compares them.
inline char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

inline bool IEquals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

std::string Quote(std::string_view identifier);  // as SQL quotes a name: "..."

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

FileKey KeyOf(const std::string& path, const struct stat& st);

// The process's sheets: each read once, when a statement first uses it, and shared by every
// connection and thread while its file is unchanged. A file that changed drops its old sheets.
class SheetCache {
 public:
  static SheetCache& Instance();
  std::shared_ptr<const SheetData> Get(const FileKey& file, size_t sheet,
                                       formats::Workbook& workbook, uint32_t expectedCells);
  // Keeps the sheets of `keep` and of every file still in use; forgets the others.
  void Trim(const FileKey& keep);

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
CellValue ValueAt(const TableView& view, uint64_t row, size_t column, char* buffer);

// Whether a statement only lists columns of one table, and nothing else:
//   SELECT * FROM t    or    SELECT a [AS x], b, ... FROM t    (a ';' may end it)
// A condition, an order, an expression, a second table or a comment is more than that.
bool IsPlainShape(std::string_view sql);

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

// The virtual table module over the sheets' views ("tabrix"), given the Impl as its context.
const sqlite3_module& SheetModule();

// The authorizer: reads are allowed and noted, every change is refused.
int Authorize(void* context, int action, const char* a1, const char* a2, const char*, const char*);

}  // namespace tabrix::sql

// The process's cache of sheets, by the file they were read from.
#include <fcntl.h>
#include <sys/stat.h>

#include "sql/EngineImpl.h"

namespace tabrix::sql {
namespace {

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

}  // namespace

FileKey KeyOf(const std::string& path, const struct stat& st) {
  FileKey key;
  key.path = path;
  key.device = st.st_dev;
  key.inode = st.st_ino;
  key.size = static_cast<uint64_t>(st.st_size);
  key.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return key;
}

SheetCache& SheetCache::Instance() {
  static SheetCache* cache = new SheetCache;  // never destroyed: drivers unload late
  return *cache;
}

std::shared_ptr<const SheetData> SheetCache::Get(const FileKey& file, size_t sheet,
                                               formats::Workbook& workbook,
                                               uint32_t expectedCells) {
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

void SheetCache::Trim(const FileKey& keep) {
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

size_t SheetsRead() { return SheetCache::Instance().reads_.load(); }

}  // namespace tabrix::sql

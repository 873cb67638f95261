// The data sources of one scope (the user's or the system's): read at once or one by its
// name, changed many at a time in one rewrite, under a lock held across the
// read-modify-write.
//
// unixODBC's odbc.ini files on Linux (DataSourceStorePosix.cpp), the registry on Windows
// (DataSourceStoreWindows.cpp, over the key store); a test puts a store of its own in place,
// RegistryDataSources over an in-memory key store.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Failure.h"
#include "platform/Pairs.h"
#include "platform/Seam.h"

namespace platform {

// One data source as the driver manager reads it, in the store's order.
struct StoredSource {
  std::string name;
  Pairs values;  // one per keyword: the value the driver manager reads (the first)
  // The values it does not read, a keyword given again in its section: "FILE:LINE: ..." each.
  std::vector<std::string> ignored;
};

// One scope's data sources (a name given twice: its first only), and the listing's
// name = driver lines.
struct StoredSources {
  std::vector<StoredSource> sources;
  Pairs listing;
  // The sections with no name, which hold no data source: the driver manager's own listing of
  // the data sources stops at the first. None in a registry.
  size_t unnamed = 0;
};

// One data source looked up by its name, as the driver manager finds it.
struct FoundSource {
  // Its values, the first of each keyword; nullopt when the scope holds no such data source.
  std::optional<Pairs> values;
  // Its line in the listing (the driver's description), where it has one: with no values, a
  // line left behind by a data source removed by hand.
  std::optional<std::string> listed;
  // Where it is, for messages, as Where names it: found, with the name as the store spells it.
  std::string where;
};

// One data source's change. Replace writes Driver (the driver's description in odbc.ini, its
// library in the registry, as create writes it) and then `values`, dropping every other
// value; Update sets `values` only, and Driver too when `driver` is given; Remove drops the
// data source. Replace, and Update with a driver, set its line in the listing.
struct SourceEdit {
  enum class Kind { Replace, Update, Remove };
  Kind kind = Kind::Update;
  std::string name;
  std::string driver;  // the description as the drivers' definitions spell it
  Pairs values;
};

class DataSourceStore {
 public:
  // Held from before the first read of a change to after its last write.
  using Lock = std::shared_ptr<void>;

  virtual ~DataSourceStore() = default;

  // Takes the lock of one scope; a null lock where the store serialises each write itself.
  virtual Result<Lock> LockScope(bool system) = 0;
  // How long LockScope waits for a lock another process holds (0: not at all), and whom it
  // tells, once, with the locked file's name, when it starts to wait.
  virtual void SetLockWait(double seconds, std::function<void(const std::string&)> waiting) = 0;
  // The scope's data sources, in one read however many there are. A Failure names the file
  // or key when the scope cannot be read, or the driver manager would read nothing from it.
  virtual Result<StoredSources> Read(bool system) = 0;
  // What a listing shows, for less than a Read costs: Read's data sources, in its order, each
  // with its Driver value alone (none where it is missing or empty), and no listing.
  virtual Result<StoredSources> List(bool system) = 0;
  // One data source by its name (not empty; compared without regard to case): its first
  // section or key, and its line in the listing, in one read of the scope however many it
  // holds. A Failure as Read's. Under the scope's lock, a change that follows reads nothing
  // again.
  virtual Result<FoundSource> Find(bool system, const std::string& name) = 0;
  // Where a data source of that name is, or would be, for people: its file and section as the
  // file spells it ("FILE, section [Name]"), or its registry key; with no name, the scope's
  // file or key. Never fails: what cannot be read is named as asked.
  virtual std::string Where(bool system, const std::string& name) = 0;
  // Whether a data source can be stored exactly as it stands: its name, keywords and values.
  virtual Status Storable(const std::string& name, const Pairs& values) = 0;
  // Makes the changes of one scope, whose names, keywords and values are Storable: in a file,
  // one locked, atomic rewrite (all or nothing); in the registry key by key, the first
  // refusal stopping the rest.
  virtual Status Edit(bool system, const std::vector<SourceEdit>& edits) = 0;
  // Where other users can read what the scope stores (its file and mode), or "" where they
  // cannot.
  virtual std::string ReadableByOthers(bool system) = 0;
};

// The store of the target OS: DataSourceStorePosix.cpp or DataSourceStoreWindows.cpp.
DataSourceStore& DefaultDataSourceStore();

using DataSourceStoreSeam = Seam<DataSourceStore, DefaultDataSourceStore>;
template <>
DataSourceStore* DataSourceStoreSeam::override_;  // DataSourceStoreSeam.cpp

inline DataSourceStore& CurrentDataSourceStore() { return DataSourceStoreSeam::Current(); }
using ScopedDataSourceStore = DataSourceStoreSeam::Scoped;

}  // namespace platform

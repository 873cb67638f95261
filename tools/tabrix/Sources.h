// The client's way to the data-source store in force: a Failure raised as std::runtime_error
// with its reason, as the verbs report every other error.
#pragma once

#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/sources/DataSourceStore.h"
#include "tools/tabrix/Cli.h"

namespace tabrix::cli::sources {

inline platform::DataSourceStore& Store() { return platform::CurrentDataSourceStore(); }

template <typename T>
T Take(platform::Result<T> result) {
  if (!result) throw std::runtime_error(result.failure().reason);
  return std::move(*result);
}
inline void Take(const platform::Status& status) {
  if (!status) throw std::runtime_error(status.failure().reason);
}

// One data source by its name, and where it is for messages.
inline platform::FoundSource Find(bool system, const std::string& name) {
  return Take(Store().Find(system, name));
}

// The lock of one scope, from before the first read of a change to after its last write.
inline platform::DataSourceStore::Lock Lock(bool system) {
  return Take(Store().LockScope(system));
}
inline platform::StoredSources Read(bool system) { return Take(Store().Read(system)); }
inline platform::StoredSources List(bool system) { return Take(Store().List(system)); }
inline void Edit(bool system, const std::vector<platform::SourceEdit>& edits) {
  Take(Store().Edit(system, edits));
}

// How long a change waits for a lock another process holds; 0 does not wait. Standard error
// says which file is locked as soon as waiting starts.
inline void UseLockWait(double seconds) {
  Store().SetLockWait(seconds, [](const std::string& file) {
    Notice(file + " is locked by another process (" + file + ".lock); waiting");
  });
}

}  // namespace tabrix::cli::sources

// The data sources in the registry, through the key store in force.
#include "platform/sources/RegistryDataSources.h"

namespace platform {

DataSourceStore& DefaultDataSourceStore() {
  static RegistryDataSources store;
  return store;
}

}  // namespace platform

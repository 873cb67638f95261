#include "platform/sources/DataSourceStore.h"

namespace platform {

template <>
DataSourceStore* DataSourceStoreSeam::override_ = nullptr;

}  // namespace platform

// unixODBC's configuration files: where they are (Locations.h), how unixODBC reads them
// (Dialect.h), what it refuses (Refusals.h), how we change their text (Edits.h), and the
// locked, atomic rewrite of one (Rewrite.h). The one include of the whole, for callers.
#pragma once

#include "platform/odbcini/Dialect.h"
#include "platform/odbcini/Edits.h"
#include "platform/odbcini/Locations.h"
#include "platform/odbcini/Refusals.h"
#include "platform/odbcini/Rewrite.h"
#include "platform/odbcinst/DataSources.h"

namespace platform::odbcini {

// The section listing the data sources (DataSources.h), by the name this layer's callers know.
using platform::kDataSourcesSection;

}  // namespace platform::odbcini

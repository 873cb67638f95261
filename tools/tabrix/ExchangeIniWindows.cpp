// The odbc.ini fragment in the Windows build: none, since data sources live in the registry.
#include "tools/tabrix/Exchange.h"

namespace tabrix::cli::exchange {

std::string WhyNoIni() {
  return "odbc.ini fragments are for unixODBC's files; the Windows build keeps data sources in "
         "the registry and exports them as JSON or a registry file";
}

// The verbs ask WhyNoIni first; these answer the same to any other caller.
std::string ToIni(const std::vector<DataSource>&, bool) { throw Malformed(WhyNoIni()); }
std::vector<Incoming> ParseIni(const std::string&, const std::string&) {
  throw Malformed(WhyNoIni());
}

}  // namespace tabrix::cli::exchange

// Many writers at once on one user odbc.ini, and what the file holds afterwards.
#pragma once

#include <string>

#include "bench/BenchFiles.h"

namespace bench {

// A user file as our parser reads it.
struct Census {
  int sections = 0;  // data source sections, [ODBC Data Sources] aside
  int listed = 0;    // names under [ODBC Data Sources]
  int both = 0;      // sections that are listed too
  int partial = 0;   // sections with fewer keys than the fullest one
};
Census Count(const std::string& path);

struct Outcome {
  int failures = 0;  // adds the way reported as failed
  double seconds = 0;
};

// Starts `writers` processes at the same moment, each adding `each` data sources one after
// the other through `way`: "client" (a tabrix process per add) or "profile" (libodbcinst's
// profile calls, in the writer process itself).
Outcome RunWriters(const std::string& way, const Files& files, const std::string& client,
                   int writers, int each);

}  // namespace bench

// Running a TTabrixCreator for the client and reporting what came of it.
#pragma once

#include <functional>

#include "component/TabrixCreateUnit.h"
#include "tools/tabrix/Cli.h"

namespace tabrix::cli {

// Executes the creator (or, for a dry run, shows what its Execute would send and changes
// nothing), reports the outcome on standard output, or as JSON into `json` when given, and
// answers the exit code. A non-empty `label` (the component's name in a form) starts its lines.
int RunCreator(TabrixCreateUnit::TTabrixCreator& creator, bool dryRun, Json* json,
               const std::string& label = "");

// Why the creator would be refused whatever the data sources hold (a bad name, option or
// driver), found without changing anything; "" when only the data sources could refuse it.
std::string WhyRefusedWhatever(TabrixCreateUnit::TTabrixCreator& creator);

// The same for one installer request that the client builds itself.
int RunRequest(uint16_t request, const std::string& driver, const std::string& attributes,
               const std::string& name, bool dryRun, Json* json);

// The same for a call into the library that the client makes itself: `send` answers its
// result, and `request` is the installer request it makes.
int RunLibraryCall(int32_t request, const std::string& name, bool dryRun, Json* json,
                   const std::function<bool()>& send);

}  // namespace tabrix::cli

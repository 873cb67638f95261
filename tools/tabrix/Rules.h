// The rules every change of data sources keeps, whichever verb asks for it (create, configure,
// remove, import, apply): which data sources are tabrix's to change, when a driver's own setup
// library decides, and when a stored password is worth a warning.
#pragma once

#include <optional>
#include <string>

#include "platform/Pairs.h"

namespace tabrix::cli::rules {

// Which of the six desktop drivers a Driver value names: by its description, or by the
// library odbcinst.ini gives it (Driver64 or Driver); nullopt for any other.
std::optional<std::string> DesktopDriver(const std::string& value);

// Why a data source whose Driver value is `value` is not tabrix's to change ("it names no
// driver", or another driver); "" when it is one of the six desktop drivers'.
std::string WhyNotOurs(const std::string& value);

// The setup library odbcinst.ini names for a driver (Setup64, else Setup); "" when none. A
// driver with one decides itself what a change of its data sources writes.
std::string SetupLibrary(const std::string& description);

// Warns on standard error when a non-empty password among `pairs` is now stored in the file
// of that scope and other users can read the file.
void WarnIfPasswordExposed(bool system, const platform::Pairs& pairs);

}  // namespace tabrix::cli::rules

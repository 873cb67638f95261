// The shell's verbs on a file or web address ("open" starts the default browser for a URL).
// The platform's backend (xdg-open on Linux, ShellExecute on Windows) unless a test has put
// another in its place with ScopedShell.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Seam.h"

namespace platform {

inline constexpr int32_t SW_SHOWNORMAL = 1;

struct TShellRequest {
  const void* Parent;
  std::string Verb;
  std::string File;
  std::string Parameters;
  std::string Directory;
  int32_t ShowCommand;
  bool operator==(const TShellRequest&) const = default;
};

class Shell {
 public:
  virtual ~Shell() = default;
  // Above 32 when the shell took the request; an error code (32 or less) otherwise.
  virtual intptr_t Execute(const TShellRequest& request) = 0;
};

// The platform's shell (ShellPosix.cpp, ShellWindows.cpp).
Shell& DefaultShell();

using ShellSeam = Seam<Shell, DefaultShell>;
template <>
Shell* ShellSeam::override_;  // Shell.cpp

using ScopedShell = ShellSeam::Scoped;

// The host's ShellExecute, through the current backend.
intptr_t ShellExecute(const void* parent, const std::string& verb, const std::string& file,
                      const std::string& parameters, const std::string& directory,
                      int32_t showCommand);

}  // namespace platform

// The shell's verbs on a file or web address ("open" starts the default browser for a URL).
// The platform's backend (xdg-open on Linux, ShellExecute on Windows) unless a test has put
// another in its place with ScopedShell.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

Shell& DefaultShell();

class ScopedShell {
 public:
  explicit ScopedShell(Shell& shell);
  ~ScopedShell();
  ScopedShell(const ScopedShell&) = delete;
  ScopedShell& operator=(const ScopedShell&) = delete;

 private:
  Shell* previous_;
};

// The host's ShellExecute, through the current backend.
intptr_t ShellExecute(const void* parent, const std::string& verb, const std::string& file,
                      const std::string& parameters, const std::string& directory,
                      int32_t showCommand);

// A shell for tests: keeps each request and answers `result`.
class RecordingShell : public Shell {
 public:
  intptr_t Execute(const TShellRequest& request) override {
    requests.push_back(request);
    return result;
  }
  std::vector<TShellRequest> requests;
  intptr_t result = 42;
};

}  // namespace platform

// Ours first: <windows.h> defines macros (DEFAULT_CHARSET, SW_SHOWNORMAL, ShellExecute)
// that would rewrite our declarations.
#include "platform/framework/Shell.h"

#include <windows.h>
// Needs windows.h before it.
#include <shellapi.h>

namespace platform {
namespace {

// Our forms have no window of their own: the shell gets no parent.
class WindowsShell : public Shell {
 public:
  intptr_t Execute(const TShellRequest& request) override {
    auto orNull = [](const std::string& s) { return s.empty() ? nullptr : s.c_str(); };
    return reinterpret_cast<intptr_t>(
        ShellExecuteA(nullptr, orNull(request.Verb), request.File.c_str(),
                      orNull(request.Parameters), orNull(request.Directory), request.ShowCommand));
  }
};

}  // namespace

Shell& DefaultShell() {
  static WindowsShell shell;
  return shell;
}

}  // namespace platform

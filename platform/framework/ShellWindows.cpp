#include "platform/WindowsApi.h"
#include "platform/framework/Shell.h"

namespace platform {
namespace {

// The parent is the window of the form that asked (its Handle), so the shell's own messages
// come up over it; null from a form that is not shown.
class WindowsShell : public Shell {
 public:
  intptr_t Execute(const TShellRequest& request) override {
    auto orNull = [](const std::string& s) { return s.empty() ? nullptr : s.c_str(); };
    const auto parent = static_cast<HWND>(const_cast<void*>(request.Parent));
    return reinterpret_cast<intptr_t>(
        ShellExecuteA(parent, orNull(request.Verb), request.File.c_str(),
                      orNull(request.Parameters), orNull(request.Directory), request.ShowCommand));
  }
};

}  // namespace

Shell& DefaultShell() {
  static WindowsShell shell;
  return shell;
}

}  // namespace platform

#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>

#include "platform/framework/Shell.h"

namespace platform {
namespace {

constexpr intptr_t kStarted = 42;
constexpr intptr_t kNoAssociation = 31;  // the host's "no application for this verb"
constexpr intptr_t kOutOfResources = 0;

// "open" goes to xdg-open, which hands the address to the desktop's browser. It runs in a
// grandchild, so it neither blocks the caller nor stays behind as a zombie.
class XdgShell : public Shell {
 public:
  intptr_t Execute(const TShellRequest& request) override {
    if (request.Verb != "open" || request.File.empty()) return kNoAssociation;
    const char* argv[] = {"xdg-open", request.File.c_str(), nullptr};
    const pid_t child = fork();
    if (child < 0) return kOutOfResources;
    if (child == 0) {
      if (fork() == 0) {
        execvp(argv[0], const_cast<char* const*>(argv));
        _exit(127);
      }
      _exit(0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return kStarted;
  }
};

}  // namespace

Shell& DefaultShell() {
  static XdgShell shell;
  return shell;
}

}  // namespace platform

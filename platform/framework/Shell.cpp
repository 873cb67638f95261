#include "platform/framework/Shell.h"

namespace platform {
namespace {

Shell* overrideShell = nullptr;

}  // namespace

ScopedShell::ScopedShell(Shell& shell) : previous_(overrideShell) { overrideShell = &shell; }
ScopedShell::~ScopedShell() { overrideShell = previous_; }

intptr_t ShellExecute(const void* parent, const std::string& verb, const std::string& file,
                      const std::string& parameters, const std::string& directory,
                      int32_t showCommand) {
  Shell& shell = overrideShell ? *overrideShell : DefaultShell();
  return shell.Execute(TShellRequest{parent, verb, file, parameters, directory, showCommand});
}

}  // namespace platform

#include "platform/framework/Shell.h"

namespace platform {

template <>
Shell* ShellSeam::override_ = nullptr;

intptr_t ShellExecute(const void* parent, const std::string& verb, const std::string& file,
                      const std::string& parameters, const std::string& directory,
                      int32_t showCommand) {
  return ShellSeam::Current().Execute(
      TShellRequest{parent, verb, file, parameters, directory, showCommand});
}

}  // namespace platform

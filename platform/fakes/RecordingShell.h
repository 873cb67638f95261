// A shell for tests: it keeps each request and answers `result`.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/framework/Shell.h"

namespace platform {

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

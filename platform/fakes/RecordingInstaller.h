// An installer for tests: it keeps every request exactly as it arrived and answers what
// the test tells it to.
#pragma once

#include <vector>

#include "platform/odbcinst/Installer.h"

namespace platform {

class RecordingInstaller : public Installer {
 public:
  struct Call {
    HWND parent;
    uint16_t request;
    std::string driver;
    std::string attributes;  // the exact bytes, closing NUL included
  };

  bool ConfigDataSource(HWND parent, uint16_t request, const std::string& driver,
                        const std::string& attributes) override {
    calls.push_back(Call{parent, request, driver, attributes});
    return answer;
  }
  InstallPlan Plan(uint16_t, const std::string&, const std::string&) override {
    return InstallPlan{answer, answer ? "" : "refused by the test", "the recording installer"};
  }
  std::string LastError() const override { return answer ? "" : "refused by the test"; }

  std::vector<Call> calls;
  bool answer = true;
};

}  // namespace platform

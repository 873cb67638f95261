// An installer for tests: it keeps every request exactly as it arrived and answers what
// the test tells it to, except that a request code outside 1-7 is refused, as every real
// installer refuses it.
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

  Status ConfigDataSource(HWND parent, uint16_t request, const std::string& driver,
                          const std::string& attributes) override {
    calls.push_back(Call{parent, request, driver, attributes});
    if (std::string why = Reason(request); !why.empty()) return Refused(why);
    return {};
  }
  InstallPlan Plan(uint16_t request, const std::string&, const std::string&) override {
    const std::string why = Reason(request);
    return InstallPlan{why.empty(), why, "the recording installer"};
  }

  std::vector<Call> calls;
  bool answer = true;

 private:
  std::string Reason(uint16_t request) const {
    if (request < ODBC_ADD_DSN || request > ODBC_REMOVE_DEFAULT_DSN)
      return "invalid request code " + std::to_string(request);
    return answer ? "" : "refused by the test";
  }
};

}  // namespace platform

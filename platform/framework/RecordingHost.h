// A host for tests: it keeps every message box as it was asked for and answers what the
// test tells it to.
#pragma once

#include <vector>

#include "platform/framework/Application.h"

namespace platform {

class RecordingHost : public Host {
 public:
  void ProcessMessages() override { ++processMessagesCalls; }
  TModalResult ShowMessageBox(const TMessageBox& box) override {
    boxes.push_back(box);
    return answer;
  }

  std::vector<TMessageBox> boxes;
  int processMessagesCalls = 0;
  TModalResult answer = mrOk;
};

}  // namespace platform

// A host for tests: it keeps every message box as it was asked for and answers what the
// test tells it to.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/framework/Application.h"
#include "platform/framework/Controls.h"

namespace platform {

class RecordingHost : public Host {
 public:
  void ProcessMessages() override { ++processMessagesCalls; }
  TModalResult ShowMessageBox(const TMessageBox& box) override {
    boxes.push_back(box);
    return answer;
  }
  // Keeps the form's caption and lets the test act on the form while it is shown.
  void ShowModal(TForm& form) override;

  std::vector<TMessageBox> boxes;
  int processMessagesCalls = 0;
  TModalResult answer = mrOk;
  std::vector<std::string> shownForms;  // their captions, as shown
  std::function<void(TForm&)> whileShown;
};

inline void RecordingHost::ShowModal(TForm& form) {
  shownForms.push_back(form.GetCaption());
  if (whileShown) whileShown(form);
}

}  // namespace platform

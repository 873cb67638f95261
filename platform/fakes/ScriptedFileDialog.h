// A file dialog for tests: it answers from a script, one answer per Execute (nothing =
// cancel; an exhausted script raises std::runtime_error), and keeps each request.
#pragma once

#include <deque>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/designer/OpenDialog.h"

namespace platform {

class ScriptedFileDialog : public FileDialog {
 public:
  std::optional<std::string> Run(const TOpenDialogRequest& request) override {
    requests.push_back(request);
    if (answers.empty()) throw std::runtime_error("the dialog has no answer scripted");
    std::optional<std::string> answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void Created(TOpenDialog&) override { ++created, ++alive; }
  void Destroyed(TOpenDialog&) override { --alive; }

  std::deque<std::optional<std::string>> answers;
  std::vector<TOpenDialogRequest> requests;
  int created = 0;
  int alive = 0;  // dialogs not yet freed
};

}  // namespace platform

#include "platform/framework/Application.h"

#include <cstdio>

namespace platform {
namespace {

class Console : public Host {
 public:
  void ProcessMessages() override {}
};

std::string StandardTitle(TMsgDlgType kind) {
  switch (kind) {
    case mtWarning:
      return "Warning";
    case mtError:
      return "Error";
    case mtInformation:
      return "Information";
    case mtConfirmation:
      return "Confirm";
    default:
      return Application->GetTitle();
  }
}

TApplication application;

}  // namespace

template <>
Host* HostSeam::override_ = nullptr;

TModalResult DefaultResult(const TMsgDlgButtons& buttons) {
  static constexpr TModalResult results[] = {mrYes,     mrNo,       mrOk,     mrCancel,
                                             mrAbort,   mrRetry,    mrIgnore, mrAll,
                                             mrNoToAll, mrYesToAll, mrNone};
  if (buttons.empty()) return mrNone;
  if (buttons.contains(mbOK)) return mrOk;
  if (buttons.contains(mbYes)) return mrYes;
  return results[*buttons.begin()];
}

TModalResult Host::ShowMessageBox(const TMessageBox& box) {
  // One write, so the line is not interleaved with other output.
  std::string line = box.Title.empty() ? box.Text : box.Title + ": " + box.Text;
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  return DefaultResult(box.Buttons);
}

void Host::ShowModal(TForm&) {}

Host& ConsoleHost() {
  static Console host;
  return host;
}

void TApplication::ProcessMessages() { HostSeam::Current().ProcessMessages(); }

TModalResult TApplication::MessageDlg(const std::string& text, TMsgDlgType kind,
                                      const TMsgDlgButtons& buttons, int32_t helpContext) {
  return HostSeam::Current().ShowMessageBox(
      TMessageBox{kind, text, buttons, helpContext, StandardTitle(kind)});
}

void TApplication::ShowModal(TForm& form) { HostSeam::Current().ShowModal(form); }

TApplication* const Application = &application;

}  // namespace platform

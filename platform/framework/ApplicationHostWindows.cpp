// The Windows host: the thread's message queue, MessageBoxA, and modal forms in windows of
// their own (ModalFormWindows.cpp).
#include "platform/WindowsApi.h"
#include "platform/framework/Application.h"
#include "platform/framework/ModalFormWindows.h"

namespace platform {
namespace {

// The MessageBox button group nearest the set; mbHelp adds the Help button. Sets no group
// matches get OK alone, so the box can always be closed.
UINT ButtonStyle(TMsgDlgButtons buttons) {
  const UINT help = buttons.erase(mbHelp) ? MB_HELP : 0;
  static const struct {
    TMsgDlgButtons set;
    UINT style;
  } groups[] = {
      {{mbOK}, MB_OK},
      {{mbOK, mbCancel}, MB_OKCANCEL},
      {{mbYes, mbNo}, MB_YESNO},
      {{mbYes, mbNo, mbCancel}, MB_YESNOCANCEL},
      {{mbAbort, mbRetry, mbIgnore}, MB_ABORTRETRYIGNORE},
      {{mbRetry, mbCancel}, MB_RETRYCANCEL},
  };
  for (const auto& group : groups)
    if (group.set == buttons) return group.style | help;
  return MB_OK | help;
}

UINT IconStyle(TMsgDlgType kind) {
  switch (kind) {
    case mtError:
      return MB_ICONERROR;
    case mtWarning:
      return MB_ICONWARNING;
    case mtInformation:
      return MB_ICONINFORMATION;
    case mtConfirmation:
      return MB_ICONQUESTION;
    default:
      return 0;
  }
}

// The box's IDxxx answer as a modal result; mrNone for an answer none of our groups has.
TModalResult ResultOf(int answer) {
  switch (answer) {
    case IDOK:
      return mrOk;
    case IDCANCEL:
      return mrCancel;
    case IDABORT:
      return mrAbort;
    case IDRETRY:
      return mrRetry;
    case IDIGNORE:
      return mrIgnore;
    case IDYES:
      return mrYes;
    case IDNO:
      return mrNo;
    default:
      return mrNone;
  }
}

class WindowsHost : public Host {
 public:
  // WM_QUIT is the outer loop's to act on: it is put back, and the rest stays queued.
  void ProcessMessages() override {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(message.wParam));
        return;
      }
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }

  // No owner: a box is asked for without a form, and the active window may belong to
  // whatever else runs in the process (a designer's). With no owner, MB_TASKMODAL disables
  // every top-level window of the thread while the box is up, which is what modal means here.
  TModalResult ShowMessageBox(const TMessageBox& box) override {
    const int answer = MessageBoxA(nullptr, box.Text.c_str(), box.Title.c_str(),
                                   ButtonStyle(box.Buttons) | IconStyle(box.Kind) | MB_TASKMODAL);
    // Windows answers 0 when the box cannot be made; Wine without a display answers -1
    // (DialogBox's failure). The message still reaches standard error.
    if (answer <= 0) return Host::ShowMessageBox(box);
    return ResultOf(answer);
  }

  // Where no window can be made, as a host without a screen.
  void ShowModal(TForm& form) override {
    if (!ShowModalFormWindow(form)) Host::ShowModal(form);
  }
};

}  // namespace

Host& DefaultHost() {
  static WindowsHost host;
  return host;
}

}  // namespace platform

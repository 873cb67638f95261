// The host application: the services the system asks of the program it runs in.
//
// `Application` forwards to a Host: the platform's default (the console host on Linux: no
// message loop, a message box goes to standard error; on Windows the thread's message queue,
// MessageBoxA, and modal forms in windows of their own), or a host a test or a graphical
// program puts in its place with ScopedHost.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "platform/Seam.h"
#include "platform/framework/Component.h"

namespace platform {

class TForm;

enum TMsgDlgType : uint8_t { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn : uint8_t {
  mbYes,
  mbNo,
  mbOK,
  mbCancel,
  mbAbort,
  mbRetry,
  mbIgnore,
  mbAll,
  mbNoToAll,
  mbYesToAll,
  mbHelp
};
using TMsgDlgButtons = std::set<TMsgDlgBtn>;

// The button that closed a modal box.
using TModalResult = int32_t;
inline constexpr TModalResult mrNone = 0;
inline constexpr TModalResult mrOk = 1;
inline constexpr TModalResult mrCancel = 2;
inline constexpr TModalResult mrAbort = 3;
inline constexpr TModalResult mrRetry = 4;
inline constexpr TModalResult mrIgnore = 5;
inline constexpr TModalResult mrYes = 6;
inline constexpr TModalResult mrNo = 7;
inline constexpr TModalResult mrAll = 8;
inline constexpr TModalResult mrNoToAll = 9;
inline constexpr TModalResult mrYesToAll = 10;

// What a message box shows.
struct TMessageBox {
  TMsgDlgType Kind;
  std::string Text;
  TMsgDlgButtons Buttons;
  int32_t HelpContext;
  std::string Title;
  bool operator==(const TMessageBox&) const = default;
};

// The box's default button: OK, else Yes, else the first one; mrNone without buttons.
TModalResult DefaultResult(const TMsgDlgButtons& buttons);

class Host {
 public:
  virtual ~Host() = default;
  // Handles every message waiting in the thread's queue; a host without a loop does nothing.
  virtual void ProcessMessages() = 0;
  // Shows the box modally and answers the button chosen. A host without a screen writes
  // "Title: Text" to standard error and answers the default button.
  virtual TModalResult ShowMessageBox(const TMessageBox& box);
  // Shows the form modally and returns once it is closed (its modal result is set). A host
  // without a screen returns at once.
  virtual void ShowModal(TForm& form);
};

// The console host: no message loop; message boxes go to standard error.
Host& ConsoleHost();

// The platform's host, chosen by CMake for the target OS (ApplicationHostPosix.cpp,
// ApplicationHostWindows.cpp); Application uses it unless a ScopedHost is in place.
Host& DefaultHost();

using HostSeam = Seam<Host, DefaultHost>;
template <>
Host* HostSeam::override_;  // Application.cpp

using ScopedHost = HostSeam::Scoped;

// Also the owner of the forms a program makes for the time they are shown.
class TApplication : public TComponent {
 public:
  TApplication() : TComponent(nullptr) {}

  void ProcessMessages();

  // The program's title, shown on custom message boxes. Empty until the program sets it.
  std::string GetTitle() const { return title_; }
  void SetTitle(const std::string& title) { title_ = title; }

  // Shows a modal message box titled with the host's standard title for its kind ("Error"
  // for mtError), or with Title for mtCustom.
  TModalResult MessageDlg(const std::string& text, TMsgDlgType kind, const TMsgDlgButtons& buttons,
                          int32_t helpContext);
  // Runs a modal form through the host; TForm::ShowModal calls it.
  void ShowModal(TForm& form);

 private:
  std::string title_;
};

extern TApplication* const Application;

}  // namespace platform

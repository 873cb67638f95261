// The Windows host as Application's default (no ScopedHost): its message loop and its
// message box. A CBT hook on this thread answers each box with the button the test chooses
// and reads it as it closes. scripts/wine-test gives its prefix Wine's null display driver,
// so boxes are made without a display; where no top-level window can be made at all (Wine
// with no display and no null driver: MessageBoxA answers -1), the host must fall back to
// standard error, and the tests check that instead.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <set>
#include <string>

#include "component/TabrixCreateUnit.h"
#include "platform/fakes/MemoryStore.h"
#include "platform/fakes/RecordingInstaller.h"
#include "platform/framework/Application.h"
#include "platform/registry/Registry.h"

#include "tests/windows/TestWindows.h"

using platform::Application;
using platform::TModalResult;
using platform::TMsgDlgButtons;
using platform::TMsgDlgType;

namespace {

using wintest::ClassOf;
using wintest::OtherWindow;
using wintest::TextOf;

// A box as it was shown.
struct Box {
  std::string caption;
  std::string text;
  HICON icon = nullptr;       // the icon control's icon; none without one
  std::set<int> buttons;      // the visible buttons' ids (IDOK, ...)
  bool owned = false;         // whether the box has an owner window
  bool othersEnabled = true;  // whether the thread's other top-level window stayed enabled
};

// The text and the icon are static controls, the icon one with SS_ICON. Windows and Wine 8
// number the text control 0xFFFF, the icon 0x14 and 1088 (older Wine: text 100).
BOOL CALLBACK ReadControl(HWND control, LPARAM boxPointer) {
  Box& box = *reinterpret_cast<Box*>(boxPointer);
  const LONG style = GetWindowLongA(control, GWL_STYLE);
  const std::string kind = ClassOf(control);
  if (lstrcmpiA(kind.c_str(), "Static") == 0) {
    if ((style & SS_TYPEMASK) == SS_ICON)
      box.icon = reinterpret_cast<HICON>(SendMessageA(control, STM_GETICON, 0, 0));
    else if (GetDlgCtrlID(control) == 0xFFFF || box.text.empty())
      box.text = TextOf(control);
  } else if (lstrcmpiA(kind.c_str(), "Button") == 0 && (style & WS_VISIBLE)) {
    box.buttons.insert(GetDlgCtrlID(control));
  }
  return TRUE;
}

BOOL CALLBACK CloseBoxes(HWND window, LPARAM) {
  if (ClassOf(window) == "#32770") PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
  return TRUE;
}

// While it lives, answers the first message box activated on this thread and reads it as
// it closes: Wine activates a box before filling it (its text and icon come later), so
// HCBT_ACTIVATE only posts the answer, which the box's own loop takes once it is filled.
class BoxWatcher {
 public:
  BoxWatcher(int answer, HWND other) : answer_(answer), other_(other) {
    current_ = this;
    hook_ = SetWindowsHookExA(WH_CBT, OnCbt, nullptr, GetCurrentThreadId());
    // Should the hook miss the box, it is closed all the same, so no test can hang on it.
    timer_ = SetTimer(nullptr, 0, 10000, OnTimeout);
  }
  ~BoxWatcher() {
    KillTimer(nullptr, timer_);
    UnhookWindowsHookEx(hook_);
    current_ = nullptr;
  }
  BoxWatcher(const BoxWatcher&) = delete;
  BoxWatcher& operator=(const BoxWatcher&) = delete;

  bool Hooked() const { return hook_ != nullptr; }

  std::optional<Box> box;
  bool timedOut = false;

 private:
  static LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam) {
    const HWND window = reinterpret_cast<HWND>(wParam);
    if (current_) {
      if (code == HCBT_ACTIVATE && !current_->box_ && ClassOf(window) == "#32770") {
        current_->box_ = window;
        PostMessageA(window, WM_COMMAND, current_->answer_, 0);
      } else if (code == HCBT_DESTROYWND && window == current_->box_ && !current_->box) {
        current_->Read(window);
      }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
  static void CALLBACK OnTimeout(HWND, UINT, UINT_PTR, DWORD) {
    if (current_) current_->timedOut = true;
    EnumThreadWindows(GetCurrentThreadId(), CloseBoxes, 0);
  }
  void Read(HWND window) {
    Box shown;
    shown.caption = TextOf(window);
    EnumChildWindows(window, ReadControl, reinterpret_cast<LPARAM>(&shown));
    shown.owned = GetWindow(window, GW_OWNER) != nullptr;
    shown.othersEnabled = other_ && IsWindowEnabled(other_);
    box = shown;
  }

  static inline BoxWatcher* current_ = nullptr;
  int answer_;
  HWND other_;
  HWND box_ = nullptr;  // the box answered
  HHOOK hook_;
  UINT_PTR timer_;
};

// What one MessageDlg call showed, answered, and wrote to standard error.
struct Outcome {
  bool windows = false;  // whether this session can make windows at all
  std::optional<Box> box;
  TModalResult result = platform::mrNone;
  std::string standardError;
  bool timedOut = false;
  bool hooked = false;
};

Outcome ShowAndAnswer(int answer, const std::function<TModalResult()>& call) {
  OtherWindow other;
  Outcome outcome;
  outcome.windows = other.Get() != nullptr;
  BoxWatcher watcher(answer, other.Get());
  outcome.hooked = watcher.Hooked();
  testing::internal::CaptureStderr();
  outcome.result = call();
  outcome.standardError = testing::internal::GetCapturedStderr();
  outcome.box = watcher.box;
  outcome.timedOut = watcher.timedOut;
  EXPECT_TRUE(other.Get() == nullptr || IsWindowEnabled(other.Get()));  // enabled again
  return outcome;
}

// The box the host must show, and what it answers when closed with `answer`; without
// windows, the console's line and the default button instead.
struct Expected {
  std::string caption;
  std::string text;
  LPCSTR icon;  // IDI_ERROR, ...; nullptr for none
  std::set<int> buttons;
  TModalResult result;
  TMsgDlgButtons asked;
};

void ExpectShown(const Outcome& outcome, const Expected& expected) {
  ASSERT_TRUE(outcome.hooked);
  EXPECT_FALSE(outcome.timedOut);
  if (!outcome.windows) {
    EXPECT_FALSE(outcome.box);
    EXPECT_EQ(outcome.standardError, expected.caption + ": " + expected.text + "\n");
    EXPECT_EQ(outcome.result, platform::DefaultResult(expected.asked));
    return;
  }
  ASSERT_TRUE(outcome.box) << "no message box was activated";
  const Box& box = *outcome.box;
  EXPECT_EQ(box.caption, expected.caption);
  EXPECT_EQ(box.text, expected.text);
  // The system's icons are shared: LoadIcon hands out the very handle the box shows.
  EXPECT_EQ(box.icon, expected.icon ? LoadIconA(nullptr, expected.icon) : nullptr);
  EXPECT_EQ(box.buttons, expected.buttons);
  EXPECT_FALSE(box.owned);
  EXPECT_FALSE(box.othersEnabled);  // MB_TASKMODAL with no owner
  EXPECT_EQ(outcome.result, expected.result);
  EXPECT_EQ(outcome.standardError, "");
}

TEST(WindowsHost, IsTheDefaultHost) {
  EXPECT_NE(&platform::DefaultHost(), &platform::ConsoleHost());
}

TEST(WindowsHost, AnErrorBoxHasTheKindsTitleTheTextTheIconAndOK) {
  const Outcome outcome = ShowAndAnswer(IDOK, [] {
    return Application->MessageDlg("Disk full", platform::mtError, {platform::mbOK}, 0);
  });
  ExpectShown(outcome, {"Error", "Disk full", IDI_ERROR, {IDOK}, platform::mrOk, {platform::mbOK}});
}

TEST(WindowsHost, EachButtonSetGetsItsGroupAndEachAnswerItsModalResult) {
  using namespace platform;
  const struct {
    TMsgDlgButtons asked;
    std::set<int> buttons;
    int answer;
    TModalResult result;
  } cases[] = {
      {{mbOK, mbCancel}, {IDOK, IDCANCEL}, IDCANCEL, mrCancel},
      {{mbYes, mbNo}, {IDYES, IDNO}, IDNO, mrNo},
      {{mbYes, mbNo, mbCancel}, {IDYES, IDNO, IDCANCEL}, IDYES, mrYes},
      {{mbAbort, mbRetry, mbIgnore}, {IDABORT, IDRETRY, IDIGNORE}, IDIGNORE, mrIgnore},
      {{mbAbort, mbRetry, mbIgnore}, {IDABORT, IDRETRY, IDIGNORE}, IDABORT, mrAbort},
      {{mbRetry, mbCancel}, {IDRETRY, IDCANCEL}, IDRETRY, mrRetry},
      {{mbOK, mbHelp}, {IDOK, IDHELP}, IDOK, mrOk},
      {{mbYes, mbAll}, {IDOK}, IDOK, mrOk},  // no such group: OK alone
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer);
    const Outcome outcome = ShowAndAnswer(
        c.answer, [&] { return Application->MessageDlg("Proceed?", mtConfirmation, c.asked, 0); });
    ExpectShown(outcome, {"Confirm", "Proceed?", IDI_QUESTION, c.buttons, c.result, c.asked});
  }
}

TEST(WindowsHost, EachKindGetsItsIconAndACustomBoxNoneWithTheProgramsTitle) {
  using namespace platform;
  const struct {
    TMsgDlgType kind;
    LPCSTR icon;
    std::string caption;
  } cases[] = {{mtWarning, IDI_WARNING, "Warning"},
               {mtInformation, IDI_INFORMATION, "Information"},
               {mtCustom, nullptr, "Sales Tool"}};
  Application->SetTitle("Sales Tool");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.caption);
    const Outcome outcome =
        ShowAndAnswer(IDOK, [&] { return Application->MessageDlg("Done.", c.kind, {mbOK}, 0); });
    ExpectShown(outcome, {c.caption, "Done.", c.icon, {IDOK}, mrOk, {mbOK}});
  }
  Application->SetTitle("");
}

TEST(WindowsHost, TheCreatorsEmptyNameShowsTheErrorBoxAndExecuteIsFalse) {
  platform::MemoryStore store;
  platform::RecordingInstaller installer;
  platform::ScopedKeyStore useStore(store);
  platform::ScopedInstaller useInstaller(installer);
  TabrixCreateUnit::TTabrixCreator creator(nullptr);
  creator.SetDSNNameOrAlias("");
  bool executed = true;
  const Outcome outcome = ShowAndAnswer(IDOK, [&] {
    executed = creator.Execute();
    return platform::mrOk;
  });
  EXPECT_FALSE(executed);
  EXPECT_TRUE(installer.calls.empty());
  ExpectShown(outcome, {"Error",
                        "Property 'DSNNameOrAlias' must not be blank",
                        IDI_ERROR,
                        {IDOK},
                        platform::mrOk,
                        {platform::mbOK}});
}

// A message-only window that counts what reaches its window procedure.
class CountingWindow {
 public:
  CountingWindow() {
    WNDCLASSA type = {};
    type.lpfnWndProc = Procedure;
    type.hInstance = GetModuleHandleA(nullptr);
    type.lpszClassName = "TabrixCountingWindow";
    RegisterClassA(&type);  // fails harmlessly when already registered
    window_ = CreateWindowExA(0, type.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              type.hInstance, nullptr);
  }
  ~CountingWindow() {
    if (window_) DestroyWindow(window_);
  }
  CountingWindow(const CountingWindow&) = delete;
  CountingWindow& operator=(const CountingWindow&) = delete;
  HWND Get() const { return window_; }

  static inline int received = 0;
  static constexpr UINT kMessage = WM_APP + 7;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kMessage) {
      ++received;
      return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }
  HWND window_;
};

bool Waiting(UINT message) {
  MSG peeked;
  return PeekMessageA(&peeked, nullptr, message, message, PM_NOREMOVE);
}

TEST(WindowsHost, ProcessMessagesDispatchesWindowMessagesAndRemovesThreadMessages) {
  CountingWindow window;
  ASSERT_TRUE(window.Get());
  CountingWindow::received = 0;
  ASSERT_TRUE(PostMessageA(window.Get(), CountingWindow::kMessage, 1, 2));
  ASSERT_TRUE(PostMessageA(window.Get(), CountingWindow::kMessage, 3, 4));
  ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_APP + 8, 0, 0));
  ASSERT_TRUE(Waiting(WM_APP + 8));
  Application->ProcessMessages();
  EXPECT_EQ(CountingWindow::received, 2);
  EXPECT_FALSE(Waiting(CountingWindow::kMessage));
  EXPECT_FALSE(Waiting(WM_APP + 8));
  Application->ProcessMessages();  // an empty queue: returns at once
  EXPECT_EQ(CountingWindow::received, 2);
}

TEST(WindowsHost, ProcessMessagesLeavesWMQuitForTheOuterLoop) {
  CountingWindow window;
  ASSERT_TRUE(window.Get());
  CountingWindow::received = 0;
  ASSERT_TRUE(PostMessageA(window.Get(), CountingWindow::kMessage, 0, 0));
  PostQuitMessage(3);
  Application->ProcessMessages();
  EXPECT_EQ(CountingWindow::received, 1);  // posted messages come before the quit
  MSG message;
  ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(message.wParam, 3u);
  EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));  // taken once: gone
}

}  // namespace

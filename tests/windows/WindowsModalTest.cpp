// The Windows host shows a modal form for real, as Application's default (no ScopedHost).
// A CBT hook notes the form's window as it is made; a thread timer, which the host's modal
// loop dispatches, reads the window and its controls once it is shown and then acts on it
// (a click, a key, WM_CLOSE). A second timer closes whatever is left, so no test can hang.
// scripts/wine-test gives the prefix Wine's null display driver, so the windows are real.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "design/eOrvaneAbout.h"
#include "platform/fakes/RecordingShell.h"
#include "platform/framework/Application.h"
#include "platform/framework/Controls.h"
#include "platform/framework/Shell.h"
#include "tests/windows/TestWindows.h"

using platform::TModalResult;

namespace {

using wintest::ClassOf;
using wintest::OtherWindow;
using wintest::TextOf;

// A control window as it was shown, in its form's client coordinates.
struct Child {
  HWND window;
  std::string kind;
  std::string text;
  RECT bounds;
  LONG style;
  HFONT font;
  LOGFONTA logFont;
};

// The form's window as it was shown.
struct Seen {
  HWND window;
  std::string caption;
  RECT bounds;
  RECT client;
  LONG style;
  bool otherEnabled;
  std::vector<Child> children;  // in the order the system enumerates them
};

BOOL CALLBACK ReadChild(HWND window, LPARAM seenPointer) {
  Seen& seen = *reinterpret_cast<Seen*>(seenPointer);
  Child child{window,
              ClassOf(window),
              TextOf(window),
              {},
              GetWindowLongA(window, GWL_STYLE),
              reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0)),
              {}};
  GetWindowRect(window, &child.bounds);
  MapWindowPoints(nullptr, seen.window, reinterpret_cast<POINT*>(&child.bounds), 2);
  if (child.font) GetObjectA(child.font, sizeof child.logFont, &child.logFont);
  seen.children.push_back(child);
  return TRUE;
}

// While it lives, watches the first top-level window made on this thread: reads it once it
// is visible, hands it to `act`, and notes when it is destroyed.
class FormWatcher {
 public:
  using Action = std::function<void(const Seen&)>;
  FormWatcher(HWND other, Action act) : other_(other), act_(std::move(act)) {
    current_ = this;
    hook_ = SetWindowsHookExA(WH_CBT, OnCbt, nullptr, GetCurrentThreadId());
    poll_ = SetTimer(nullptr, 0, 20, OnPoll);
    guard_ = SetTimer(nullptr, 0, 10000, OnGuard);
  }
  ~FormWatcher() {
    KillTimer(nullptr, guard_);
    KillTimer(nullptr, poll_);
    UnhookWindowsHookEx(hook_);
    current_ = nullptr;
  }
  FormWatcher(const FormWatcher&) = delete;
  FormWatcher& operator=(const FormWatcher&) = delete;

  bool Hooked() const { return hook_ != nullptr; }

  std::optional<Seen> seen;
  bool destroyed = false;
  bool timedOut = false;

 private:
  static LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam) {
    const auto window = reinterpret_cast<HWND>(wParam);
    if (current_ && code == HCBT_CREATEWND && !current_->form_ &&
        !(reinterpret_cast<CBT_CREATEWNDA*>(lParam)->lpcs->style & WS_CHILD))
      current_->form_ = window;
    if (current_ && code == HCBT_DESTROYWND && window == current_->form_)
      current_->destroyed = true;
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
  static void CALLBACK OnPoll(HWND, UINT, UINT_PTR, DWORD) {
    FormWatcher* self = current_;
    if (!self || self->seen || !self->form_ || !IsWindowVisible(self->form_)) return;
    Seen shown{self->form_,
               TextOf(self->form_),
               {},
               {},
               GetWindowLongA(self->form_, GWL_STYLE),
               self->other_ && IsWindowEnabled(self->other_),
               {}};
    GetWindowRect(shown.window, &shown.bounds);
    GetClientRect(shown.window, &shown.client);
    EnumChildWindows(shown.window, ReadChild, reinterpret_cast<LPARAM>(&shown));
    self->seen = shown;
    self->act_(shown);
  }
  static void CALLBACK OnGuard(HWND, UINT, UINT_PTR, DWORD) {
    if (!current_) return;
    current_->timedOut = true;
    if (current_->form_) PostMessageA(current_->form_, WM_CLOSE, 0, 0);
  }

  static inline FormWatcher* current_ = nullptr;
  HWND other_;
  Action act_;
  HWND form_ = nullptr;
  HHOOK hook_;
  UINT_PTR poll_;
  UINT_PTR guard_;
};

// What one ShowModal showed and answered.
struct Outcome {
  bool windows = false;  // whether this session can make windows at all
  std::optional<Seen> seen;
  TModalResult result = platform::mrNone;
  bool destroyed = false;
  bool timedOut = false;
  bool otherEnabledAfter = false;
};

Outcome ShowAndAct(platform::TForm& form, const FormWatcher::Action& act) {
  OtherWindow other;
  Outcome outcome;
  outcome.windows = other.Get() != nullptr;
  {
    FormWatcher watcher(other.Get(), act);
    EXPECT_TRUE(watcher.Hooked());
    outcome.result = form.ShowModal();
    outcome.seen = watcher.seen;
    outcome.destroyed = watcher.destroyed;
    outcome.timedOut = watcher.timedOut;
  }
  outcome.otherEnabledAfter = other.Get() && IsWindowEnabled(other.Get());
  return outcome;
}

// Checks the form was shown, modally, and is gone; false (and nothing else) where no window
// can be made, in which case the host must have returned at once with nothing chosen.
bool ExpectShownAndGone(const Outcome& outcome) {
  EXPECT_FALSE(outcome.timedOut);
  if (!outcome.windows) {
    EXPECT_FALSE(outcome.seen);
    EXPECT_EQ(outcome.result, platform::mrCancel);
    return false;
  }
  EXPECT_TRUE(outcome.seen) << "no form window was shown";
  if (!outcome.seen) return false;
  EXPECT_FALSE(outcome.seen->otherEnabled);  // the thread's other windows wait
  EXPECT_TRUE(outcome.otherEnabledAfter);
  EXPECT_TRUE(outcome.destroyed);
  EXPECT_FALSE(IsWindow(outcome.seen->window));
  return true;
}

const Child* ChildAt(const Seen& seen, size_t index) {
  return index < seen.children.size() ? &seen.children[index] : nullptr;
}

HWND ButtonCalled(const Seen& seen, const std::string& text) {
  for (const Child& child : seen.children)
    if (child.text == text && lstrcmpiA(child.kind.c_str(), "Button") == 0) return child.window;
  return nullptr;
}

// The control's window holds its caption, bounds and font as the control has them.
void ExpectControl(const Child& child, const platform::TControl& control, const char* kind,
                   const std::string& text) {
  SCOPED_TRACE(control.GetName());
  EXPECT_EQ(lstrcmpiA(child.kind.c_str(), kind), 0) << child.kind;
  EXPECT_EQ(child.text, text);
  EXPECT_EQ(child.bounds.left, control.GetLeft());
  EXPECT_EQ(child.bounds.top, control.GetTop());
  EXPECT_EQ(child.bounds.right - child.bounds.left, control.GetWidth());
  EXPECT_EQ(child.bounds.bottom - child.bounds.top, control.GetHeight());
  if (std::string(kind) == "Static" && text.empty()) return;  // a bevel: no text, no font
  const platform::TFont font = control.GetFont();
  ASSERT_NE(child.font, nullptr);
  EXPECT_EQ(child.logFont.lfHeight, font.Height);
  EXPECT_STREQ(child.logFont.lfFaceName, font.Name.c_str());
  EXPECT_EQ(child.logFont.lfUnderline != 0, (font.Style & (1u << platform::fsUnderline)) != 0);
  EXPECT_EQ(child.logFont.lfWeight, (font.Style & (1u << platform::fsBold)) ? FW_BOLD : FW_NORMAL);
  EXPECT_EQ(child.logFont.lfCharSet, font.Charset);
}

// The colours the form gives a label's text and background, asked as the label asks them.
COLORREF LabelTextColor(HWND form, HWND label, HBRUSH* background) {
  HDC dc = CreateCompatibleDC(nullptr);
  *background = reinterpret_cast<HBRUSH>(SendMessageA(
      form, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label)));
  const COLORREF color = GetTextColor(dc);
  DeleteDC(dc);
  return color;
}

class AboutFormShown : public ::testing::Test {
 protected:
  AboutFormShown() {
    form.SetLabels("TTabrixCreator", "1.1.0", "Ann", "(c) A&&B", "http://x.example/");
  }
  eOrvaneAbout::TOrvaneAboutForm form{platform::Application};
};

TEST_F(AboutFormShown, ItsWindowHoldsEachControlInOrderAndOKClosesIt) {
  HBRUSH urlBrush = nullptr;
  COLORREF urlColor = 0;
  const Outcome outcome = ShowAndAct(form, [&](const Seen& seen) {
    if (const Child* url = ChildAt(seen, 2))
      urlColor = LabelTextColor(seen.window, url->window, &urlBrush);
    PostMessageA(ButtonCalled(seen, "OK"), BM_CLICK, 0, 0);
  });
  if (!ExpectShownAndGone(outcome)) return;
  // btnOKClick closes the form after the button gave it mrOk: a modal form takes Close as
  // mrCancel, as the host framework does.
  EXPECT_EQ(outcome.result, platform::mrCancel);

  const Seen& seen = *outcome.seen;
  EXPECT_EQ(seen.caption, "About TTabrixCreator v1.1.0");
  EXPECT_EQ(seen.client.right, 332);
  EXPECT_EQ(seen.client.bottom, 250);
  EXPECT_FALSE(seen.style & WS_THICKFRAME);  // bsDialog: fixed size
  EXPECT_TRUE(seen.style & WS_CAPTION);
  // poScreenCenter: the window's middle on the screen's, to the pixel integer halves allow.
  EXPECT_NEAR(seen.bounds.left + seen.bounds.right, GetSystemMetrics(SM_CXSCREEN), 1);
  EXPECT_NEAR(seen.bounds.top + seen.bounds.bottom, GetSystemMetrics(SM_CYSCREEN), 1);

  ASSERT_EQ(seen.children.size(), 7u);
  ExpectControl(seen.children[0], *form.lblVersion, "Static", "v1.1.0");
  ExpectControl(seen.children[1], *form.lblAuthor, "Static", "by Ann");
  ExpectControl(seen.children[2], *form.lblURL, "Static", "http://x.example/");
  ExpectControl(seen.children[3], *form.bvlSepBar, "Static", "");
  ExpectControl(seen.children[4], *form.lblComponent, "Static", "TTabrixCreator");
  ExpectControl(seen.children[5], *form.lblCopyRight, "Static", "(c) A&&B");  // STATIC's & rule
  ExpectControl(seen.children[6], *form.btnOK, "Button", "OK");
  EXPECT_EQ(seen.children[3].style & SS_TYPEMASK, SS_ETCHEDHORZ);
  for (size_t i : {0, 1, 2, 4, 5}) EXPECT_TRUE(seen.children[i].style & SS_NOTIFY) << i;
  EXPECT_EQ(seen.children[6].style & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  EXPECT_EQ(urlColor, RGB(0, 0, 255));  // clBlue
  EXPECT_NE(urlBrush, nullptr);
}

TEST_F(AboutFormShown, EnterPressesTheDefaultButton) {
  const Outcome outcome = ShowAndAct(
      form, [](const Seen& seen) { PostMessageA(seen.window, WM_KEYDOWN, VK_RETURN, 0); });
  if (!ExpectShownAndGone(outcome)) return;
  EXPECT_EQ(outcome.result, platform::mrCancel);  // btnOK's, as above
}

TEST_F(AboutFormShown, EscapeAndClosingTheWindowAnswerCancelAndFreeEveryFont) {
  for (const UINT message : {UINT{WM_KEYDOWN}, UINT{WM_CLOSE}}) {
    SCOPED_TRACE(message);
    const DWORD gdiBefore = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    const Outcome outcome = ShowAndAct(form, [&](const Seen& seen) {
      PostMessageA(seen.window, message, message == WM_KEYDOWN ? VK_ESCAPE : 0, 0);
    });
    if (!ExpectShownAndGone(outcome)) return;
    EXPECT_EQ(outcome.result, platform::mrCancel);
    EXPECT_EQ(form.GetModalResult(), platform::mrCancel);
    // Wine counts no GDI objects (it answers 0); a freed font has no type there as here.
    EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdiBefore);
    int fonts = 0;
    for (const Child& child : outcome.seen->children)
      if (child.font) {
        ++fonts;
        EXPECT_EQ(GetObjectType(child.font), 0u) << child.text;
      }
    EXPECT_EQ(fonts, 6);  // five labels and the button
  }
}

// The shell's parent is the form's window: its Handle while shown, null before and after.
TEST_F(AboutFormShown, ClickingTheAddressGivesTheShellTheFormsWindowAsItsParent) {
  platform::RecordingShell shell;
  platform::ScopedShell scopedShell(shell);
  EXPECT_EQ(form.Handle(), nullptr);
  const void* handleWhileShown = nullptr;
  const Outcome outcome = ShowAndAct(form, [&](const Seen& seen) {
    handleWhileShown = form.Handle();
    if (const Child* url = ChildAt(seen, 2)) {
      PostMessageA(url->window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
      PostMessageA(url->window, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    }
    PostMessageA(ButtonCalled(seen, "OK"), BM_CLICK, 0, 0);
  });
  EXPECT_EQ(form.Handle(), nullptr);
  if (!ExpectShownAndGone(outcome)) return;
  EXPECT_EQ(handleWhileShown, outcome.seen->window);
  ASSERT_EQ(shell.requests.size(), 1u);
  EXPECT_EQ(shell.requests[0], (platform::TShellRequest{outcome.seen->window, "open",
                                                        "http://x.example/", "", "", 1}));
}

// A plain form: a label whose click is recorded, and two buttons with modal results.
class PlainFormShown : public ::testing::Test {
 protected:
  PlainFormShown() {
    form.SetCaption("Choose");
    form.SetBorderStyle(platform::bsSingle);
    form.SetPosition(platform::poDesigned);
    form.SetLeft(40);
    form.SetTop(30);
    form.SetClientWidth(200);
    form.SetClientHeight(100);
    form.SetColor(platform::clWhite);
    label->SetCaption("&Pick one");
    label->SetLeft(8);
    label->SetTop(8);
    label->SetFont({"Arial", -13, platform::clRed, 1u << platform::fsBold, 0});
    label->SetOnClick({"labelClick", [this](platform::TComponent* sender) {
                         clicks.push_back(sender);
                         resultAtClick = form.GetModalResult();
                       }});
    yes->SetCaption("Yes");
    Place(yes, 8);
    yes->SetModalResult(platform::mrYes);
    yes->SetDefault(true);
    no->SetCaption("No");
    Place(no, 100);
    no->SetModalResult(platform::mrNo);
  }
  static void Place(platform::TButton* button, int32_t left) {
    button->SetLeft(left);
    button->SetTop(60);
    button->SetWidth(75);
    button->SetHeight(25);
  }

  platform::TForm form{nullptr};
  platform::TLabel* label = new platform::TLabel(&form);
  platform::TButton* yes = new platform::TButton(&form);
  platform::TButton* no = new platform::TButton(&form);
  std::vector<platform::TComponent*> clicks;
  TModalResult resultAtClick = -1;
};

TEST_F(PlainFormShown, ALabelClickRunsItsOnClickAndAButtonGivesItsModalResult) {
  HBRUSH background = nullptr;
  COLORREF labelColor = 0;
  const Outcome outcome = ShowAndAct(form, [&](const Seen& seen) {
    if (seen.children.size() != 3) return;  // closed by the guard; the checks below fail
    labelColor = LabelTextColor(seen.window, seen.children[0].window, &background);
    PostMessageA(seen.children[0].window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    PostMessageA(seen.children[0].window, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    PostMessageA(ButtonCalled(seen, "No"), BM_CLICK, 0, 0);
  });
  if (!ExpectShownAndGone(outcome)) return;
  EXPECT_EQ(outcome.result, platform::mrNo);
  EXPECT_EQ(clicks, std::vector<platform::TComponent*>{label});  // once, from the label
  EXPECT_EQ(resultAtClick, platform::mrNone);                    // a label does not close

  const Seen& seen = *outcome.seen;
  EXPECT_EQ(seen.caption, "Choose");
  EXPECT_EQ(seen.client.right, 200);
  EXPECT_EQ(seen.client.bottom, 100);
  EXPECT_EQ(seen.bounds.left, 40);  // poDesigned
  EXPECT_EQ(seen.bounds.top, 30);
  ASSERT_EQ(seen.children.size(), 3u);
  ExpectControl(seen.children[0], *label, "Static", "&Pick one");
  ExpectControl(seen.children[1], *yes, "Button", "Yes");
  ExpectControl(seen.children[2], *no, "Button", "No");
  EXPECT_EQ(seen.children[2].style & BS_TYPEMASK, BS_PUSHBUTTON);
  EXPECT_EQ(labelColor, RGB(255, 0, 0));
  ASSERT_NE(background, nullptr);
  LOGBRUSH brush{};
  EXPECT_EQ(GetObjectA(background, sizeof brush, &brush), 0);  // the form's own brush, freed
}

TEST_F(PlainFormShown, EnterGivesTheDefaultButtonsModalResult) {
  const Outcome outcome = ShowAndAct(
      form, [](const Seen& seen) { PostMessageA(seen.window, WM_KEYDOWN, VK_RETURN, 0); });
  if (!ExpectShownAndGone(outcome)) return;
  EXPECT_EQ(outcome.result, platform::mrYes);
  EXPECT_TRUE(clicks.empty());
}

TEST_F(PlainFormShown, WhatAClickHandlerRaisesReachesTheCallerOnceTheFormIsGone) {
  no->SetOnClick({"noClick", [](platform::TComponent*) { throw std::runtime_error("no!"); }});
  OtherWindow other;
  if (!other.Get()) GTEST_SKIP() << "no windows in this session";
  HWND shown = nullptr;
  {
    FormWatcher watcher(other.Get(), [&](const Seen& seen) {
      shown = seen.window;
      PostMessageA(ButtonCalled(seen, "No"), BM_CLICK, 0, 0);
    });
    EXPECT_THROW(form.ShowModal(), std::runtime_error);
    EXPECT_FALSE(watcher.timedOut);
  }
  EXPECT_NE(shown, nullptr);
  EXPECT_FALSE(IsWindow(shown));
  EXPECT_TRUE(IsWindowEnabled(other.Get()));
  EXPECT_FALSE(form.Modal());
}

}  // namespace

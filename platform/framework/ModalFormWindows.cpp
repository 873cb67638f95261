// A modal form on Windows: a window of our own class with a child window per control, and
// the message loop that runs until the form has a modal result.
#include "platform/framework/ModalFormWindows.h"

#include <cstdio>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "platform/WindowsApi.h"
#include "platform/framework/Controls.h"
#include "platform/framework/GdiFont.h"

namespace platform {
namespace {

// A TColor as GDI takes it: a system colour (high byte 0x80) is the current scheme's.
COLORREF ColorRefOf(TColor color) {
  const auto value = static_cast<uint32_t>(color);
  if ((value & 0xFF000000u) == 0x80000000u) return GetSysColor(static_cast<int>(value & 0xFF));
  return value & 0xFFFFFFu;
}

struct Frame {
  DWORD style;
  DWORD exStyle;
};

Frame FrameOf(TFormBorderStyle border) {
  switch (border) {
    case bsNone:
      return {WS_POPUP, 0};
    case bsSingle:
      return {WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX, 0};
    case bsDialog:
      return {WS_POPUP | WS_CAPTION | WS_SYSMENU, WS_EX_DLGMODALFRAME};
    case bsToolWindow:
      return {WS_CAPTION | WS_SYSMENU, WS_EX_TOOLWINDOW};
    case bsSizeToolWin:
      return {WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, WS_EX_TOOLWINDOW};
    default:
      return {WS_OVERLAPPEDWINDOW, 0};
  }
}

// The window's outer bounds: the client size where the form holds one, else its outer size;
// placed as Position says. There is no main or owner form, so those centre on the screen.
RECT BoundsOf(const TForm& form, const Frame& frame) {
  RECT border{0, 0, 0, 0};
  AdjustWindowRectEx(&border, frame.style, FALSE, frame.exStyle);
  const int width = form.GetClientWidth() > 0 ? form.GetClientWidth() + (border.right - border.left)
                                              : form.GetWidth();
  const int height = form.GetClientHeight() > 0
                         ? form.GetClientHeight() + (border.bottom - border.top)
                         : form.GetHeight();
  int left = form.GetLeft();
  int top = form.GetTop();
  switch (form.GetPosition()) {
    case poDefault:
    case poDefaultPosOnly:
      left = top = CW_USEDEFAULT;
      break;
    case poScreenCenter:
    case poDesktopCenter:
    case poMainFormCenter:
    case poOwnerFormCenter:
      left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
      top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
      break;
    default:
      break;
  }
  return {left, top, left == CW_USEDEFAULT ? CW_USEDEFAULT : left + width,
          top == CW_USEDEFAULT ? CW_USEDEFAULT : top + height};
}

// A bevel as an etched static: its style, and the strip of its bounds the line takes.
struct Etch {
  DWORD style;
  RECT bounds;
};

Etch EtchOf(const TBevel& bevel) {
  const int left = bevel.GetLeft(), top = bevel.GetTop();
  const int right = left + bevel.GetWidth(), bottom = top + bevel.GetHeight();
  switch (bevel.GetShape()) {
    case bsTopLine:
      return {SS_ETCHEDHORZ, {left, top, right, top + 2}};
    case bsBottomLine:
      return {SS_ETCHEDHORZ, {left, bottom - 2, right, bottom}};
    case bsLeftLine:
      return {SS_ETCHEDVERT, {left, top, left + 2, bottom}};
    case bsRightLine:
      return {SS_ETCHEDVERT, {right - 2, top, right, bottom}};
    default:
      return {SS_ETCHEDFRAME, {left, top, right, bottom}};
  }
}

// Command ids of the controls start past IDOK and IDCANCEL, which IsDialogMessage sends for
// Enter and Escape.
constexpr int kFirstControlId = 100;

// Disables the thread's enabled top-level windows but one while it lives, as a task-modal
// message box does.
class ThreadWindowsDisabled {
 public:
  explicit ThreadWindowsDisabled(HWND except) : except_(except) {
    EnumThreadWindows(GetCurrentThreadId(), Disable, reinterpret_cast<LPARAM>(this));
  }
  ~ThreadWindowsDisabled() {
    for (HWND window : disabled_)
      if (IsWindow(window)) EnableWindow(window, TRUE);
  }
  ThreadWindowsDisabled(const ThreadWindowsDisabled&) = delete;
  ThreadWindowsDisabled& operator=(const ThreadWindowsDisabled&) = delete;

 private:
  static BOOL CALLBACK Disable(HWND window, LPARAM self) {
    auto& state = *reinterpret_cast<ThreadWindowsDisabled*>(self);
    if (window != state.except_ && IsWindowEnabled(window)) {
      EnableWindow(window, FALSE);
      state.disabled_.push_back(window);
    }
    return TRUE;
  }
  HWND except_;
  std::vector<HWND> disabled_;
};

// The module this code is linked into (a package DLL or a program): the class is its own.
HINSTANCE ThisModule() {
  static const char anchor = 0;
  HMODULE module = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      &anchor, &module);
  return module;
}

// One form on the screen: its window, a child window per control, and the GDI objects they
// use, all released when it goes. A window of our own class rather than a dialog template:
// the form holds pixels, which a template would take in dialog units, and our loop ends on
// the form's modal result, which a click handler or Close may set, where DialogBox ends only
// on EndDialog.
class FormWindow {
 public:
  explicit FormWindow(TForm& form) : form_(form), instance_(ThisModule()) {
    // Named after the module: a package unloaded and loaded again at another address must
    // not find its old class, whose procedure would be gone.
    char name[48];
    std::snprintf(name, sizeof name, "TabrixForm%p", static_cast<void*>(instance_));
    className_ = name;
  }
  ~FormWindow() {
    if (window_) {
      form_.SetHandle(nullptr);
      DestroyWindow(window_);
    }
    for (const auto& font : fonts_) DeleteObject(font.second);
    if (ownBackground_) DeleteObject(background_);
    // Fails while a form of this class is still up further out; that one unregisters it.
    if (registered_) UnregisterClassA(className_.c_str(), instance_);
  }
  FormWindow(const FormWindow&) = delete;
  FormWindow& operator=(const FormWindow&) = delete;

  // Makes the window and its controls, hidden; false when no window can be made.
  bool Create() {
    WNDCLASSEXA type{};
    type.cbSize = sizeof type;
    type.lpfnWndProc = Procedure;
    type.hInstance = instance_;
    type.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    type.lpszClassName = className_.c_str();
    registered_ = RegisterClassExA(&type) != 0;
    if (!registered_ && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

    const TColor color = form_.GetColor();
    ownBackground_ = (static_cast<uint32_t>(color) & 0xFF000000u) != 0x80000000u;
    background_ = ownBackground_ ? CreateSolidBrush(ColorRefOf(color))
                                 : GetSysColorBrush(static_cast<int>(color & 0xFF));

    const Frame frame = FrameOf(form_.GetBorderStyle());
    const RECT bounds = BoundsOf(form_, frame);
    window_ = CreateWindowExA(
        frame.exStyle, className_.c_str(), form_.GetCaption().c_str(), frame.style, bounds.left,
        bounds.top, bounds.right == CW_USEDEFAULT ? CW_USEDEFAULT : bounds.right - bounds.left,
        bounds.bottom == CW_USEDEFAULT ? CW_USEDEFAULT : bounds.bottom - bounds.top, nullptr,
        nullptr, instance_, this);
    if (!window_) return false;
    form_.SetHandle(window_);
    for (int32_t i = 0; i < form_.ComponentCount(); ++i)
      if (auto* control = dynamic_cast<TControl*>(form_.Components(i))) AddControl(*control);
    return true;
  }

  HWND Window() const { return window_; }
  // What a click handler raised; it ended the loop, and the caller raises it again.
  std::exception_ptr Failure() const { return failure_; }

  // Shows the form and handles the thread's messages until the form has a modal result.
  void Run() {
    ShowWindow(window_, SW_NORMAL);
    HWND first = default_ ? ControlWindow(default_) : GetNextDlgTabItem(window_, nullptr, FALSE);
    SetFocus(first ? first : window_);
    while (form_.GetModalResult() == mrNone && !failure_) {
      MSG message;
      const BOOL got = GetMessageA(&message, nullptr, 0, 0);
      if (got <= 0) {
        // WM_QUIT closes the form and is put back for the outer loop.
        if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));
        form_.SetModalResult(mrCancel);
        break;
      }
      if (IsDialogMessageA(window_, &message)) continue;
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }

 private:
  struct Child {
    HWND window;
    TControl* control;
  };

  void AddControl(TControl& control) {
    const char* kind = nullptr;
    DWORD style = WS_CHILD | WS_VISIBLE;
    RECT bounds{control.GetLeft(), control.GetTop(), control.GetLeft() + control.GetWidth(),
                control.GetTop() + control.GetHeight()};
    if (dynamic_cast<TLabel*>(&control)) {
      // STATIC treats & as the host's labels do, so the caption goes as it is.
      kind = "STATIC";
      style |= SS_LEFTNOWORDWRAP | SS_NOTIFY;
    } else if (auto* bevel = dynamic_cast<TBevel*>(&control)) {
      if (bevel->GetShape() == bsSpacer) return;
      const Etch etch = EtchOf(*bevel);
      kind = "STATIC";
      style |= etch.style;
      bounds = etch.bounds;
    } else if (auto* button = dynamic_cast<TButton*>(&control)) {
      kind = "BUTTON";
      style |= WS_TABSTOP | (button->GetDefault() ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
      if (button->GetDefault() && !default_) default_ = button;
    } else {
      return;
    }
    const int id = kFirstControlId + static_cast<int>(children_.size());
    const bool bevel = dynamic_cast<TBevel*>(&control) != nullptr;
    HWND child =
        CreateWindowExA(0, kind, bevel ? "" : control.GetCaption().c_str(), style, bounds.left,
                        bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top, window_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    if (!child) return;
    // An etched line sizes itself to its edge (Windows and Wine both): put it back.
    if (bevel)
      SetWindowPos(child, nullptr, bounds.left, bounds.top, bounds.right - bounds.left,
                   bounds.bottom - bounds.top, SWP_NOZORDER | SWP_NOACTIVATE);
    children_.push_back({child, &control});
    if (!bevel) SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(control)), FALSE);
  }

  // One GDI font per distinct TFont, kept until the window is gone.
  HFONT FontOf(const TControl& control) {
    const TFont font = control.GetFont();
    for (const auto& made : fonts_)
      if (made.first == font) return made.second;
    HFONT handle = CreateGdiFont(font);
    if (handle) fonts_.emplace_back(font, handle);
    return handle;
  }

  const Child* ChildOf(HWND window) const {
    for (const Child& child : children_)
      if (child.window == window) return &child;
    return nullptr;
  }
  HWND ControlWindow(const TControl* control) const {
    for (const Child& child : children_)
      if (child.control == control) return child.window;
    return nullptr;
  }
  int IdOf(const TControl* control) const {
    for (size_t i = 0; i < children_.size(); ++i)
      if (children_[i].control == control) return kFirstControlId + static_cast<int>(i);
    return 0;
  }

  // A click handler's exception must not unwind through the system's frames.
  void Click(TControl& control) {
    try {
      control.Click();
    } catch (...) {
      failure_ = std::current_exception();
    }
  }

  void Command(int id, int code) {
    if (id == IDCANCEL) {
      form_.SetModalResult(mrCancel);
    } else if (id == IDOK) {
      if (default_) Click(*default_);
    } else if (code == BN_CLICKED && id >= kFirstControlId &&
               id - kFirstControlId < static_cast<int>(children_.size())) {
      // STN_CLICKED is BN_CLICKED's value: a label's click arrives the same way.
      Click(*children_[id - kFirstControlId].control);
    }
  }

  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_COMMAND:
        Command(LOWORD(wParam), HIWORD(wParam));
        return 0;
      case DM_GETDEFID:
        return default_ ? MAKELRESULT(IdOf(default_), DC_HASDEFID) : 0;
      case WM_CLOSE:
        form_.SetModalResult(mrCancel);
        return 0;
      case WM_ERASEBKGND: {
        RECT client;
        GetClientRect(window_, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, background_);
        return 1;
      }
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLORBTN: {
        const auto dc = reinterpret_cast<HDC>(wParam);
        const Child* child = ChildOf(reinterpret_cast<HWND>(lParam));
        if (child && dynamic_cast<TLabel*>(child->control)) {
          SetTextColor(dc, ColorRefOf(child->control->GetFont().Color));
          SetBkColor(dc, ColorRefOf(form_.GetColor()));
          if (static_cast<TLabel*>(child->control)->GetTransparent()) SetBkMode(dc, TRANSPARENT);
        }
        return reinterpret_cast<LRESULT>(background_);
      }
      case WM_SETCURSOR: {
        const Child* child = ChildOf(reinterpret_cast<HWND>(wParam));
        if (child && LOWORD(lParam) == HTCLIENT && child->control->GetCursor() == crHandPoint) {
          SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND)));
          return TRUE;
        }
        break;
      }
      default:
        break;
    }
    return DefWindowProcA(window_, message, wParam, lParam);
  }

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      auto* self =
          static_cast<FormWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
      self->window_ = window;
      SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    return self ? self->Handle(message, wParam, lParam)
                : DefWindowProcA(window, message, wParam, lParam);
  }

  TForm& form_;
  HINSTANCE instance_;
  std::string className_;
  bool registered_ = false;
  HBRUSH background_ = nullptr;
  bool ownBackground_ = false;
  std::vector<std::pair<TFont, HFONT>> fonts_;
  std::vector<Child> children_;  // in creation order; the command id is kFirstControlId + index
  TButton* default_ = nullptr;
  HWND window_ = nullptr;
  std::exception_ptr failure_;
};

}  // namespace

bool ShowModalFormWindow(TForm& form) {
  std::exception_ptr failure;
  {
    FormWindow shown(form);
    if (!shown.Create()) return false;
    // Re-enabled before the form's window goes, so activation returns to one of them.
    const ThreadWindowsDisabled others(shown.Window());
    shown.Run();
    failure = shown.Failure();
  }
  if (failure) std::rethrow_exception(failure);
  return true;
}

}  // namespace platform

// What the Windows host tests read windows with.
#pragma once

#include <string>

#include "platform/WindowsApi.h"

namespace wintest {

inline std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

inline std::string TextOf(HWND window) {
  char text[512] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// A hidden top-level window of this thread: whether one can be made at all tells whether the
// host can make its own, and while a modal box or form is up it must be disabled.
class OtherWindow {
 public:
  OtherWindow()
      : window_(CreateWindowExA(0, "STATIC", "other", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                nullptr, nullptr, nullptr)) {}
  ~OtherWindow() {
    if (window_) DestroyWindow(window_);
  }
  OtherWindow(const OtherWindow&) = delete;
  OtherWindow& operator=(const OtherWindow&) = delete;
  HWND Get() const { return window_; }

 private:
  HWND window_;
};

}  // namespace wintest

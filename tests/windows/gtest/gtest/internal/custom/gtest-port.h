// GoogleTest's port header for the Windows build. The win32-threads flavour of mingw-w64's
// libstdc++ has no std::mutex or std::condition_variable, which GoogleTest needs only for
// Notification, a helper of its own threading tests: this one waits by polling instead.
#pragma once

#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {

class Notification {
 public:
  Notification() = default;
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;
  void Notify() { notified_.store(true); }
  void WaitForNotification() {
    while (!notified_.load()) {
    }
  }

 private:
  std::atomic<bool> notified_{false};
};

}  // namespace testing::internal

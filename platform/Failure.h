// How the platform's insides say that something failed: a Failure (the operating system's
// error code, where one caused it, and the reason for people), returned in a Result.
//
// One convention inside the platform layer; its public functions keep theirs (a bool and the
// installer-error text, the registry's exception), translating at that edge alone. The
// operating system's codes become words in one place per OS (FailurePosix.cpp,
// FailureWindows.cpp), so a reason reads the same whichever layer met the error.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace platform {

struct Failure {
  int code = 0;        // errno, or a Windows error code; 0 for a refusal of our own
  std::string reason;  // worded for people, complete: "cannot open /x: Permission denied"
};

// A refusal of our own: no operating-system error behind it.
inline Failure Refused(std::string reason) { return Failure{0, std::move(reason)}; }
// An operating-system error while doing `what`: its reason is `what`, ": " and the system's
// words for `code` (errno on Posix, a Windows error code on Windows).
Failure SystemFailure(int code, std::string_view what);
// The same for this thread's last error (errno, or GetLastError()).
Failure LastSystemFailure(std::string_view what);
// The system's words for an error code, as SystemFailure uses them.
std::string SystemMessage(int code);

// A value, or the Failure that kept it from being made.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& operator*() { return std::get<0>(state_); }
  const T& operator*() const { return std::get<0>(state_); }
  T* operator->() { return &std::get<0>(state_); }
  const T* operator->() const { return &std::get<0>(state_); }

  const Failure& failure() const { return std::get<1>(state_); }
  // "" when it succeeded.
  std::string reason() const { return ok() ? std::string() : failure().reason; }

 private:
  std::variant<T, Failure> state_;
};

// Success with no value, or a Failure.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Failure failure) : failure_(std::move(failure)) {}

  bool ok() const { return !failure_; }
  explicit operator bool() const { return ok(); }
  const Failure& failure() const { return *failure_; }
  std::string reason() const { return ok() ? std::string() : failure_->reason; }

 private:
  std::optional<Failure> failure_;
};

using Status = Result<void>;

}  // namespace platform

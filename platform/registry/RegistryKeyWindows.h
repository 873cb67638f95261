// One open key of the Windows registry, closed when it goes, and the registry's errors in
// the platform's words: every Windows source that opens a key uses this, no other wrapper.
//
// Windows only (it includes windows.h through WindowsApi.h). Below, platform::HKEY is our
// root value and ::HKEY Windows' handle type.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "platform/Failure.h"
#include "platform/WindowsApi.h"
#include "platform/registry/Registry.h"

namespace platform {

// Windows' handle for one of our roots: our values are Windows' predefined key values,
// which windows.h sign-extends.
inline ::HKEY WindowsRoot(platform::HKEY root) {
  return reinterpret_cast<::HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(root)));
}

// RegOpenKeyExA refuses a leading backslash; the host framework's accessor strips it.
inline const char* RelativeKeyPath(const std::string& path) {
  return path.c_str() + (!path.empty() && path[0] == '\\' ? 1 : 0);
}

// An advapi32 error while doing `what`: `what`, ": " and the system's words for `code`.
inline Failure RegistryFailure(LONG code, std::string_view what) {
  return SystemFailure(static_cast<int>(code), what);
}

class RegistryKey {
 public:
  RegistryKey() = default;
  // Takes over an open handle (or null).
  explicit RegistryKey(::HKEY handle) : handle_(handle) {}
  ~RegistryKey() { Close(); }
  RegistryKey(RegistryKey&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  RegistryKey& operator=(RegistryKey&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Opens an existing key below `parent` (a root's handle or an open key's). The Failure's
  // code is advapi32's: ERROR_FILE_NOT_FOUND tells a missing key from one that cannot be
  // opened with that access.
  static Result<RegistryKey> Open(::HKEY parent, const std::string& path, REGSAM access) {
    ::HKEY handle = nullptr;
    const LONG rc = RegOpenKeyExA(parent, RelativeKeyPath(path), 0, access, &handle);
    if (rc != ERROR_SUCCESS) return RegistryFailure(rc, "cannot open " + path);
    return RegistryKey(handle);
  }
  static Result<RegistryKey> Open(platform::HKEY root, const std::string& path, REGSAM access) {
    return Open(WindowsRoot(root), path, access);
  }
  // Opens the key, making it and the keys above it where they are missing.
  static Result<RegistryKey> Create(platform::HKEY root, const std::string& path,
                                    REGSAM access) {
    ::HKEY handle = nullptr;
    const LONG rc = RegCreateKeyExA(WindowsRoot(root), RelativeKeyPath(path), 0, nullptr,
                                    REG_OPTION_NON_VOLATILE, access, nullptr, &handle, nullptr);
    if (rc != ERROR_SUCCESS) return RegistryFailure(rc, "cannot open " + path);
    return RegistryKey(handle);
  }

  ::HKEY get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  void Close() {
    if (handle_) RegCloseKey(handle_);
    handle_ = nullptr;
  }
  ::HKEY handle_ = nullptr;
};

// Whether a failure to open says only that the key is not there.
inline bool IsMissingKey(const Failure& failure) { return failure.code == ERROR_FILE_NOT_FOUND; }

}  // namespace platform

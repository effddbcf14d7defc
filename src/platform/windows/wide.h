#pragma once

// Helpers of the Windows side: the API takes UTF-16, the program holds UTF-8.
#include <windows.h>

#include <string>
#include <string_view>

namespace platform::windows {

// Invalid UTF-8 becomes U+FFFD; never throws for content.
std::wstring Widen(std::string_view utf8);
// An unpaired surrogate becomes U+FFFD.
std::string Narrow(std::wstring_view utf16);

// The system's text for an error code (FormatMessageW), without its line end.
std::string ErrorText(DWORD code);

// A handle closed when the object goes; INVALID_HANDLE_VALUE and null both mean none.
class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(Handle&& other) noexcept : handle_(other.release()) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { reset(); }

  HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE release() {
    HANDLE handle = handle_;
    handle_ = nullptr;
    return handle;
  }
  void reset(HANDLE handle = nullptr) {
    if (*this) ::CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace platform::windows

#pragma once

#include <stdexcept>
#include <string>

namespace platform {

// The Firebird client library's file as this platform's loader finds it.
#ifdef _WIN32
inline constexpr const char* kFirebirdClientLibrary = "fbclient.dll";
#else
inline constexpr const char* kFirebirdClientLibrary = "libfbclient.so.2";
#endif

// A library or entry point that the loader could not provide. Reason() is the loader's own
// text, for callers that word the error themselves.
class DynamicLibraryError : public std::runtime_error {
 public:
  DynamicLibraryError(const std::string& message, std::string reason)
      : std::runtime_error(message), reason_(std::move(reason)) {}
  const std::string& Reason() const { return reason_; }

 private:
  std::string reason_;
};

// A shared library loaded at run time, unloaded when the object goes.
class DynamicLibrary {
 public:
  // Loads `name` the way the system's loader finds it (a bare name searches the library path).
  // Throws DynamicLibraryError.
  explicit DynamicLibrary(const std::string& name);
  DynamicLibrary(DynamicLibrary&& other) noexcept;
  DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;
  ~DynamicLibrary();

  const std::string& Name() const { return name_; }

  // The address of an exported function or object. Throws DynamicLibraryError when missing.
  void* Symbol(const std::string& symbol) const;

 private:
  void* handle_ = nullptr;
  std::string name_;
};

}  // namespace platform

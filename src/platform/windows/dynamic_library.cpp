#include "platform/dynamic_library.h"

#include <utility>

#include "platform/windows/wide.h"

namespace platform {
namespace {

HMODULE Module(void* handle) { return static_cast<HMODULE>(handle); }

}  // namespace

DynamicLibrary::DynamicLibrary(const std::string& name) : name_(name) {
  handle_ = ::LoadLibraryW(windows::Widen(name).c_str());
  if (handle_ == nullptr) {
    std::string reason = windows::ErrorText(::GetLastError());
    throw DynamicLibraryError("Cannot load " + name + ": " + reason, std::move(reason));
  }
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), name_(std::move(other.name_)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
  if (this != &other) {
    if (handle_ != nullptr) ::FreeLibrary(Module(handle_));
    handle_ = std::exchange(other.handle_, nullptr);
    name_ = std::move(other.name_);
  }
  return *this;
}

DynamicLibrary::~DynamicLibrary() {
  if (handle_ != nullptr) ::FreeLibrary(Module(handle_));
}

void* DynamicLibrary::Symbol(const std::string& symbol) const {
  const FARPROC address = ::GetProcAddress(Module(handle_), symbol.c_str());
  if (address == nullptr) {
    std::string reason = windows::ErrorText(::GetLastError());
    throw DynamicLibraryError("Cannot find " + symbol + " in " + name_ + ": " + reason, std::move(reason));
  }
  return reinterpret_cast<void*>(address);
}

}  // namespace platform

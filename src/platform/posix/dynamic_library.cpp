#include "platform/dynamic_library.h"

#include <dlfcn.h>

#include <utility>

namespace platform {
namespace {

std::string LoaderReason() {
  const char* reason = ::dlerror();
  return reason != nullptr ? reason : "unknown reason";
}

}  // namespace

DynamicLibrary::DynamicLibrary(const std::string& name) : name_(name) {
  ::dlerror();
  handle_ = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    std::string reason = LoaderReason();
    throw DynamicLibraryError("Cannot load " + name + ": " + reason, std::move(reason));
  }
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), name_(std::move(other.name_)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
  if (this != &other) {
    if (handle_ != nullptr) ::dlclose(handle_);
    handle_ = std::exchange(other.handle_, nullptr);
    name_ = std::move(other.name_);
  }
  return *this;
}

DynamicLibrary::~DynamicLibrary() {
  if (handle_ != nullptr) ::dlclose(handle_);
}

void* DynamicLibrary::Symbol(const std::string& symbol) const {
  ::dlerror();
  void* address = ::dlsym(handle_, symbol.c_str());
  if (address == nullptr) {
    // a symbol may legitimately be null, so only a pending loader error means "missing"
    const char* reason = ::dlerror();
    if (reason != nullptr) {
      throw DynamicLibraryError("Cannot find " + symbol + " in " + name_ + ": " + reason, reason);
    }
  }
  return address;
}

}  // namespace platform

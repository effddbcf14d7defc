#include "platform/executable_resources.h"

#include "platform/windows/wide.h"

namespace platform {

// RCDATA resources of the executable; FindResourceW compares names without regard to case.
std::optional<std::string_view> FindExecutableResource(std::string_view name) {
  const std::wstring wide = windows::Widen(name);
  HRSRC found = ::FindResourceW(nullptr, wide.c_str(), MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (found == nullptr) return std::nullopt;
  HGLOBAL loaded = ::LoadResource(nullptr, found);
  const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (bytes == nullptr) return std::nullopt;
  return std::string_view(static_cast<const char*>(bytes), ::SizeofResource(nullptr, found));
}

}  // namespace platform

#include "platform/file_version.h"

#include <memory>

#include "platform/windows/wide.h"

namespace platform {

std::string FileVersionText(const std::string& path) {
  const std::wstring wide = windows::Widen(path);
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(wide.c_str(), &ignored);
  if (size == 0) return {};
  const auto block = std::make_unique<unsigned char[]>(size);
  if (!::GetFileVersionInfoW(wide.c_str(), 0, size, block.get())) return {};
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(block.get(), L"\\", reinterpret_cast<void**>(&fixed), &length) || fixed == nullptr ||
      length < sizeof(VS_FIXEDFILEINFO))
    return {};
  return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionLS));
}

}  // namespace platform

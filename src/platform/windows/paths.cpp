#include "platform/paths.h"

#include <stdexcept>
#include <string>

#include "platform/windows/wide.h"

namespace platform {

std::string ExecutablePath() {
  // a path longer than MAX_PATH comes back truncated, filling the buffer: it is asked again
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) throw std::runtime_error("Cannot find the executable's path. " + windows::ErrorText(::GetLastError()));
    if (n < buffer.size()) return windows::Narrow(std::wstring_view(buffer.data(), n));
    buffer.resize(buffer.size() * 2);
  }
}

std::string ExecutableFolder() { return ExtractFilePath(ExecutablePath()); }

}  // namespace platform

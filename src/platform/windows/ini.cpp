#include "platform/ini.h"

#include "platform/windows/wide.h"

namespace platform {
namespace {

// The buffer GetPrivateProfileStringW fills: 2047 units and the terminator.
constexpr DWORD kValueBufferUnits = 2048;

}  // namespace

// The system reads the file afresh on every call, matches names without regard to case and
// strips the quotes and blanks itself.
std::string Ini::ReadString(std::string_view section, std::string_view key, std::string_view def) const {
  wchar_t value[kValueBufferUnits] = {};
  const std::wstring wide_section = windows::Widen(section), wide_key = windows::Widen(key),
                     wide_default = windows::Widen(def), wide_path = windows::Widen(path_);
  const DWORD length = ::GetPrivateProfileStringW(wide_section.c_str(), wide_key.c_str(), wide_default.c_str(), value,
                                                  kValueBufferUnits, wide_path.c_str());
  return windows::Narrow(std::wstring_view(value, length));
}

}  // namespace platform

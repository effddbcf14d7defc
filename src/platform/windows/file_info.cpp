#include "platform/file_info.h"

#include "platform/windows/private_file.h"
#include "platform/windows/wide.h"

namespace platform {
namespace {

// The bits that file_info.h names; the others (normal, compressed, not indexed...) are no
// business of archives or searches.
constexpr DWORD kKnownAttributes = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrDirectory | kAttrArchive;

}  // namespace

std::optional<TDateTime> FileLastWriteTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(windows::Widen(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  SYSTEMTIME utc{}, local{};
  // the time zone's rule for that day, not today's offset (which FileTimeToLocalFileTime takes)
  if (!::FileTimeToSystemTime(&data.ftLastWriteTime, &utc) || !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
    return std::nullopt;
  return EncodeDateTime({local.wYear, local.wMonth, local.wDay},
                        {local.wHour, local.wMinute, local.wSecond, local.wMilliseconds});
}

std::optional<std::uint32_t> FileAttributes(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(windows::Widen(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return attributes & kKnownAttributes;
}

bool SameFile(const std::string& a, const std::string& b) {
  const std::optional<windows::Found> fa = windows::Inspect(a, true);
  const std::optional<windows::Found> fb = windows::Inspect(b, true);
  return fa && fb && windows::SameIdentity(fa->info, fb->info);
}

bool RemoveFile(const std::string& path) {
  // DeleteFileW itself refuses a read-only file
  return ::DeleteFileW(windows::Widen(path).c_str()) != 0;
}

}  // namespace platform

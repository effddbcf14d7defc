#include <windows.h>

#include "platform/date_time.h"

namespace platform {
namespace {

TDateTime FromSystemTime(const SYSTEMTIME& time) {
  return EncodeDateTime({time.wYear, time.wMonth, time.wDay},
                        {time.wHour, time.wMinute, time.wSecond > 59 ? 59 : time.wSecond, time.wMilliseconds});
}

}  // namespace

TDateTime FromUnixTimeLocal(std::int64_t seconds, int milliseconds) {
  // FILETIME counts 100 ns from 1601-01-01 UTC
  constexpr std::int64_t kUnixEpochInFileTime = 116'444'736'000'000'000;
  const std::uint64_t ticks = static_cast<std::uint64_t>(kUnixEpochInFileTime + seconds * 10'000'000);
  const FILETIME utc{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME universal{}, local{};
  if (!::FileTimeToSystemTime(&utc, &universal) || !::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local))
    return 0;
  local.wMilliseconds = static_cast<WORD>(milliseconds);
  return FromSystemTime(local);
}

TDateTime Now() {
  SYSTEMTIME local{};
  ::GetLocalTime(&local);
  return FromSystemTime(local);
}

}  // namespace platform

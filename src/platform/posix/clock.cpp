#include <sys/time.h>

#include <ctime>

#include "platform/date_time.h"

namespace platform {

TDateTime FromUnixTimeLocal(std::int64_t seconds, int milliseconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm local{};
  localtime_r(&t, &local);
  return EncodeDateTime({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday},
                        {local.tm_hour, local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec, milliseconds});
}

TDateTime Now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return FromUnixTimeLocal(ts.tv_sec, static_cast<int>(ts.tv_nsec / 1'000'000));
}

}  // namespace platform

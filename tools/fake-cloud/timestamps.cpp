#include "timestamps.h"

#include <cstdio>

namespace fake_cloud {

using namespace std::chrono;

Seconds Now() { return floor<seconds>(system_clock::now()); }

std::string FormatTimestamp(Seconds time) {
  const auto day = floor<days>(time);
  const year_month_day date{day};
  const hh_mm_ss clock{time - day};
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text;
}

std::optional<Seconds> ParseTimestamp(std::string_view text) {
  if (text.size() != 20) return std::nullopt;
  const std::string copy(text);
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, consumed = 0;
  if (std::sscanf(copy.c_str(), "%4d-%2d-%2dT%2d:%2d:%2dZ%n", &y, &mo, &d, &h, &mi, &s, &consumed) != 6 ||
      consumed != 20) {
    return std::nullopt;
  }
  const year_month_day date{year{y}, month{static_cast<unsigned>(mo)}, day{static_cast<unsigned>(d)}};
  if (!date.ok() || h > 23 || mi > 59 || s > 59 || h < 0 || mi < 0 || s < 0) return std::nullopt;
  return sys_days{date} + hours{h} + minutes{mi} + seconds{s};
}

}  // namespace fake_cloud

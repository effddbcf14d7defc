#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace fake_cloud {

using Seconds = std::chrono::sys_seconds;

Seconds Now();

// The service's time stamps: "%Y-%m-%dT%H:%M:%SZ", UTC.
std::string FormatTimestamp(Seconds time);
std::optional<Seconds> ParseTimestamp(std::string_view text);

}  // namespace fake_cloud

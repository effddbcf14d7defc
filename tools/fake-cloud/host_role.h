#pragma once

#include <string_view>

namespace fake_cloud {

// Which of the service's hosts a listening port plays. The service answers RPC calls
// on its API host and upload and download calls on its content host; one port can
// also play both, for clients and tests that know a single address.
enum class HostRole { kBoth, kApi, kContent };

// "api" or "content" for the request log; empty for a port that plays both.
inline std::string_view HostName(HostRole role) {
  switch (role) {
    case HostRole::kApi:
      return "api";
    case HostRole::kContent:
      return "content";
    case HostRole::kBoth:
      break;
  }
  return "";
}

}  // namespace fake_cloud

#pragma once

#include <cstdint>
#include <string>

namespace nuvexa::cloud {

// Base addresses of the storage service's two hosts, without a trailing slash.
struct CloudHosts {
  std::string api;      // calls whose argument is a JSON body
  std::string content;  // calls that carry file bytes
};

// $NUVEXA_CLOUD_API_URL and $NUVEXA_CLOUD_CONTENT_URL, else the service's own hosts.
CloudHosts CloudHostsFromEnvironment();

// The credentials the service module gives its cloud client when it is created.
struct TDTDropBoxCredentials {
  std::string ClientID;      // $NUVEXA_CLOUD_APP_KEY when set, else the application's built-in key
  std::string ClientSecret;  // $NUVEXA_CLOUD_APP_SECRET when set, else the built-in secret
  std::string AccessToken;   // $NUVEXA_CLOUD_TOKEN when set, else the account's built-in token
  std::string RefreshToken;  // $NUVEXA_CLOUD_REFRESH_TOKEN; empty: AccessToken is used as it is
};

TDTDropBoxCredentials DTDropBoxCredentials();

// The connect and read time-out of each request the service makes, in seconds.
inline constexpr std::int32_t kDTDropBoxTimeout = 600;

}  // namespace nuvexa::cloud

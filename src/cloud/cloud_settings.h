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

// What the service module gives its cloud client when it is created.
struct TDTDropBoxSettings {
  std::string ClientID;
  std::string ClientSecret;
  std::string AccessToken;  // $NUVEXA_CLOUD_TOKEN when set, else the account's built-in token
  std::int32_t QtdMinArquivos = 0;
  std::int32_t QtdMaxArquivos = 0;
  std::int64_t TamMaxArquivos = 0;
  std::int32_t Timeout = 0;  // seconds
};

TDTDropBoxSettings DTDropBoxInitialSettings();

}  // namespace nuvexa::cloud

#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "failure_rules.h"

namespace fake_cloud {

struct Options {
  std::filesystem::path root;
  int port = 0;  // 0: any free port
  // With it the server plays two hosts: `port` the API host, this one the content host.
  std::optional<int> content_port;  // 0: any free port
  std::optional<std::filesystem::path> cert;
  std::optional<std::filesystem::path> key;
  bool tls13_only = false;
  std::string token = "test-token";  // long-lived: never expires
  // The token endpoint: the app's credentials, the refresh tokens known from the
  // start, and how long the access tokens it grants last.
  std::string app_key = "test-app-key";
  std::string app_secret = "test-app-secret";
  std::vector<std::string> refresh_tokens;
  long access_token_lifetime = 14400;  // seconds
  size_t page_size = 2000;
  std::optional<std::filesystem::path> log;
  std::vector<FailureRule> failures;
};

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

extern const char* const kUsage;

// The command line without the program name. Throws UsageError.
Options ParseOptions(const std::vector<std::string>& arguments);

}  // namespace fake_cloud

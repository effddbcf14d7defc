#include "options.h"

#include <charconv>

namespace fake_cloud {

const char* const kUsage =
    "usage: nuvexa-fake-cloud --root <folder> [--port <n>] [--content-port <n>]\n"
    "                         [--cert <pem> --key <pem> [--tls13-only]]\n"
    "                         [--token <t>] [--refresh-token <rt>]... [--app-key <k>] [--app-secret <s>]\n"
    "                         [--access-token-lifetime <seconds>] [--page-size <n>] [--log <file>]\n"
    "                         [--fail <endpoint>:<nth>:<status>]...\n";

namespace {

long ToNumber(const std::string& option, const std::string& text, long low, long high) {
  long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
    throw UsageError(option + " takes a number from " + std::to_string(low) + " to " + std::to_string(high) +
                     ", not \"" + text + "\"");
  }
  return value;
}

// An empty value would be taken for a field left out of a token request.
const std::string& NonEmpty(const std::string& option, const std::string& value) {
  if (value.empty()) throw UsageError(option + " takes a value that is not empty");
  return value;
}

}  // namespace

Options ParseOptions(const std::vector<std::string>& arguments) {
  Options options;
  bool has_root = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& option = arguments[i];
    if (option == "--tls13-only") {
      options.tls13_only = true;
      continue;
    }
    if (i + 1 == arguments.size()) throw UsageError(option + " needs a value, or is unknown");
    const std::string& value = arguments[++i];
    if (option == "--root") {
      options.root = value;
      has_root = true;
    } else if (option == "--port") {
      options.port = static_cast<int>(ToNumber(option, value, 0, 65535));
    } else if (option == "--content-port") {
      options.content_port = static_cast<int>(ToNumber(option, value, 0, 65535));
    } else if (option == "--cert") {
      options.cert = value;
    } else if (option == "--key") {
      options.key = value;
    } else if (option == "--token") {
      options.token = value;
    } else if (option == "--refresh-token") {
      options.refresh_tokens.push_back(NonEmpty(option, value));
    } else if (option == "--app-key") {
      options.app_key = NonEmpty(option, value);
    } else if (option == "--app-secret") {
      options.app_secret = NonEmpty(option, value);
    } else if (option == "--access-token-lifetime") {
      options.access_token_lifetime = ToNumber(option, value, 1, 365L * 24 * 3600);
    } else if (option == "--page-size") {
      options.page_size = static_cast<size_t>(ToNumber(option, value, 1, 1000000));
    } else if (option == "--log") {
      options.log = value;
    } else if (option == "--fail") {
      try {
        options.failures.push_back(ParseFailureOption(value));
      } catch (const std::invalid_argument& e) {
        throw UsageError(e.what());
      }
    } else {
      throw UsageError("unknown option " + option);
    }
  }
  if (!has_root || options.root.empty()) throw UsageError("--root is required");
  if (options.cert.has_value() != options.key.has_value()) throw UsageError("--cert and --key go together");
  if (options.content_port && *options.content_port != 0 && *options.content_port == options.port) {
    throw UsageError("--port and --content-port must differ");
  }
  if (options.tls13_only && !options.cert) throw UsageError("--tls13-only needs --cert and --key");
  return options;
}

}  // namespace fake_cloud

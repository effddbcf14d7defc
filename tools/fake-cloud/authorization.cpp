#include "authorization.h"

#include <optional>
#include <string_view>

#include "errors.h"

namespace fake_cloud {
namespace {

constexpr std::string_view kScheme = "Bearer";

// The token after "Bearer ", or nothing when the value does not use that scheme. The
// HTTP library trims the value, so "Bearer " with no token arrives as "Bearer".
std::optional<std::string_view> BearerToken(std::string_view value) {
  if (!value.starts_with(kScheme)) return std::nullopt;
  value.remove_prefix(kScheme.size());
  if (value.empty()) return value;
  if (value.front() != ' ') return std::nullopt;
  return value.substr(1);
}

}  // namespace

void CheckAuthorization(const httplib::Request& request,
                        const std::function<TokenState(std::string_view token)>& state_of) {
  if (!request.has_header("Authorization")) {
    throw BadInput("Must provide HTTP header \"Authorization\" or URL parameter \"authorization\".");
  }
  const std::string value = request.get_header_value("Authorization");
  const auto given = BearerToken(value);
  if (!given) {
    throw BadInput("Invalid authorization value in HTTP header \"Authorization\": \"" + value +
                   "\".  Expecting \"Bearer <oauth2-access-token>\".");
  }
  if (given->empty() || given->find_first_of(" \t") != std::string_view::npos) {
    throw BadInput("The given OAuth 2 access token is malformed.");
  }
  switch (state_of(*given)) {
    case TokenState::kValid:
      return;
    case TokenState::kExpired:
      throw ApiError("expired_access_token/..", {{".tag", "expired_access_token"}}, 401);
    case TokenState::kUnknown:
      break;
  }
  throw ApiError("invalid_access_token/..", {{".tag", "invalid_access_token"}}, 401);
}

}  // namespace fake_cloud

#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "cloud/http_transport.h"

namespace nuvexa::cloud {

// The token endpoint of the API host.
inline constexpr const char* kTokenEndpoint = "/oauth2/token";

// What the token endpoint grants.
struct GrantedToken {
  std::string access_token;
  std::chrono::seconds expires_in{0};
  std::string refresh_token;  // only for an authorization code
};

// Form bodies (application/x-www-form-urlencoded) of the two grants the service asks for.
std::string RefreshGrantForm(std::string_view refresh_token, std::string_view app_key, std::string_view app_secret);
std::string CodeGrantForm(std::string_view code, std::string_view app_key, std::string_view code_verifier);
// Percent-encodes a form value: letters, digits and "-._~" stay, everything else is %XX.
std::string FormEncoded(std::string_view value);

// The token endpoint's answer to a grant. Throws CloudError when it lacks the access token or
// its lifetime, or when the token holds what a header line cannot carry.
GrantedToken ParseGrantedToken(std::string_view body);
// The "error" member of a refused grant ("invalid_grant"...); empty when there is none.
std::string GrantError(std::string_view body);
// Whether a response refuses the request because its short-lived token has expired.
bool IsExpiredAccessToken(const HttpResponse& response);

// How long before it expires a token is renewed: five minutes, or a tenth of its life when
// that is shorter, so that a token is used for most of its life however long it lives.
std::chrono::seconds RenewalMargin(std::chrono::seconds lifetime);

// The message of a refresh token that the service no longer takes: the person must authorise
// the service again.
inline constexpr const char* kAuthoriseAgain =
    "O acesso à nuvem precisa ser autorizado de novo: execute nuvexa -AUTHORIZE (a nuvem recusou o token de "
    "renovação: ";

}  // namespace nuvexa::cloud

#pragma once

#include <string>
#include <string_view>

namespace nuvexa::cloud {

// The pieces of the authorization code flow with PKCE by which a person lets the service reach
// the cloud account without it ever seeing the account's password.

// A fresh random code verifier: 64 characters of [A-Za-z0-9-._~].
std::string NewCodeVerifier();
// The S256 challenge of a verifier: base64url, without padding, of its SHA-256.
std::string CodeChallenge(std::string_view verifier);
// The address the person opens: the code flow, a refresh token asked for (offline), PKCE.
std::string AuthorizationAddress(std::string_view app_key, std::string_view challenge);

// The text of an environment file ("NAME=value" lines) with the variable set to `value`: the
// first line that sets it is replaced, later ones are dropped, every other line stays as it
// was; a variable not there yet is added at the end.
std::string WithEnvironmentVariable(std::string_view text, std::string_view name, std::string_view value);

}  // namespace nuvexa::cloud

#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "errors.h"

namespace fake_cloud {

enum class TokenState { kValid, kExpired, kUnknown };

// The authorization server's side: the app's credentials, the refresh tokens it
// knows, the authorization codes tests hand out, and the short-lived access tokens
// it has granted. Safe to call from several threads.
class Tokens {
 public:
  Tokens(std::string app_key, std::string app_secret, std::chrono::seconds lifetime,
         const std::vector<std::string>& refresh_tokens);

  // The answer to a token request with these form fields. Throws OAuthError.
  Json Grant(const std::map<std::string, std::string>& form);
  // Whether a bearer token is one this server granted and still takes.
  TokenState StateOf(std::string_view access_token) const;

  // Registers a code for one exchange, bound to a PKCE S256 challenge when one is
  // given. A code of "" makes one up. Returns the code.
  std::string AddCode(std::string code, std::optional<std::string> challenge);
  // Makes a refresh token unusable, and the access tokens granted from it too.
  // Returns how many access tokens went with it, or nothing for a token never known.
  std::optional<size_t> Revoke(const std::string& refresh_token);

  // {"refresh_grants": n, "code_grants": n}: the successful grants of each kind.
  Json Counts() const;
  void ClearCounts();

 private:
  using Clock = std::chrono::steady_clock;
  using Form = std::map<std::string, std::string>;
  struct RefreshToken {
    bool revoked = false;
    // A refresh token from a PKCE exchange belongs to a client that holds no secret.
    bool secret_optional = false;
  };
  struct AccessToken {
    std::string refresh_token;
    Clock::time_point expires;
  };

  void CheckClient(const Form& form) const;
  Json RefreshGrant(const Form& form);
  Json CodeGrant(const Form& form);
  std::string NewAccessToken(const std::string& refresh_token);

  const std::string app_key_;
  const std::string app_secret_;
  const std::chrono::seconds lifetime_;
  mutable std::mutex mutex_;
  std::map<std::string, RefreshToken, std::less<>> refresh_tokens_;
  std::map<std::string, AccessToken, std::less<>> access_tokens_;
  std::map<std::string, std::optional<std::string>> codes_;  // code -> challenge
  int refresh_grants_ = 0;
  int code_grants_ = 0;
};

}  // namespace fake_cloud

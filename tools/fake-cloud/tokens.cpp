#include "tokens.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

namespace fake_cloud {
namespace {

std::string Base64Url(const unsigned char* bytes, size_t size) {
  std::string text(4 * ((size + 2) / 3) + 1, '\0');
  const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), bytes, static_cast<int>(size));
  text.resize(static_cast<size_t>(length));
  std::replace(text.begin(), text.end(), '+', '-');
  std::replace(text.begin(), text.end(), '/', '_');
  text.erase(text.find_last_not_of('=') + 1);
  return text;
}

// Unguessable, so that a client cannot pass for having been given a token it was not.
std::string RandomToken(std::string_view prefix) {
  unsigned char bytes[32];
  if (RAND_bytes(bytes, sizeof bytes) != 1) throw std::runtime_error("no random bytes");
  return std::string(prefix) + Base64Url(bytes, sizeof bytes);
}

// A field given and not empty: OAuth 2 treats a field without a value as left out.
std::optional<std::string> Field(const std::map<std::string, std::string>& form, const std::string& name) {
  const auto found = form.find(name);
  if (found == form.end() || found->second.empty()) return std::nullopt;
  return found->second;
}

std::string Required(const std::map<std::string, std::string>& form, const std::string& name) {
  auto value = Field(form, name);
  if (!value) throw OAuthError("invalid_request", "No \"" + name + "\" given");
  return *value;
}

// RFC 7636: 43 to 128 of the characters A-Z a-z 0-9 - . _ ~
bool IsVerifier(const std::string& verifier) {
  return verifier.size() >= 43 && verifier.size() <= 128 &&
         std::all_of(verifier.begin(), verifier.end(), [](unsigned char c) {
           return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
         });
}

std::string S256(const std::string& verifier) {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(verifier.data()), verifier.size(), digest);
  return Base64Url(digest, sizeof digest);
}

const OAuthError kBadRefreshToken("invalid_grant", "refresh token is invalid or revoked");
const OAuthError kBadCode("invalid_grant", "code doesn't exist or has expired");

}  // namespace

Tokens::Tokens(std::string app_key, std::string app_secret, std::chrono::seconds lifetime,
               const std::vector<std::string>& refresh_tokens)
    : app_key_(std::move(app_key)), app_secret_(std::move(app_secret)), lifetime_(lifetime) {
  for (const auto& token : refresh_tokens) refresh_tokens_[token] = RefreshToken{};
}

Json Tokens::Grant(const Form& form) {
  const auto grant_type = Field(form, "grant_type");
  if (!grant_type) throw OAuthError("invalid_request", "No \"grant_type\" given");
  if (*grant_type == "refresh_token") return RefreshGrant(form);
  if (*grant_type == "authorization_code") return CodeGrant(form);
  throw OAuthError("unsupported_grant_type", "grant_type \"" + *grant_type + "\" is not supported");
}

// The client first, then the grant, as OAuth 2 servers check them.
void Tokens::CheckClient(const Form& form) const {
  const std::string client_id = Required(form, "client_id");
  const auto secret = Field(form, "client_secret");
  if (client_id != app_key_ || (secret && *secret != app_secret_)) {
    throw OAuthError("invalid_client", "Invalid client_id or client_secret");
  }
}

Json Tokens::RefreshGrant(const Form& form) {
  const std::string refresh_token = Required(form, "refresh_token");
  CheckClient(form);
  std::lock_guard lock(mutex_);
  const auto found = refresh_tokens_.find(refresh_token);
  if (found == refresh_tokens_.end() || found->second.revoked) throw kBadRefreshToken;
  if (!Field(form, "client_secret") && !found->second.secret_optional) {
    throw OAuthError("invalid_request", "No \"client_secret\" given");
  }
  ++refresh_grants_;
  return {{"access_token", NewAccessToken(refresh_token)}, {"token_type", "bearer"},
          {"expires_in", lifetime_.count()}};
}

Json Tokens::CodeGrant(const Form& form) {
  const std::string code = Required(form, "code");
  CheckClient(form);
  const auto secret = Field(form, "client_secret");
  const auto verifier = Field(form, "code_verifier");
  if (!secret && !verifier) throw OAuthError("invalid_request", "Give \"client_secret\" or \"code_verifier\"");
  if (verifier && !IsVerifier(*verifier)) {
    throw OAuthError("invalid_request", "code_verifier must be 43 to 128 characters of A-Z a-z 0-9 - . _ ~");
  }
  std::lock_guard lock(mutex_);
  const auto found = codes_.find(code);
  if (found == codes_.end()) throw kBadCode;
  const std::optional<std::string>& challenge = found->second;
  if (challenge && (!verifier || S256(*verifier) != *challenge)) {
    throw OAuthError("invalid_grant", "invalid code verifier");
  }
  // Without a challenge only the secret proves who exchanges the code.
  if (!challenge && !secret) throw OAuthError("invalid_grant", "code was handed out without a code_challenge");
  const bool secret_optional = challenge.has_value();
  codes_.erase(found);
  std::string refresh_token = RandomToken("");
  refresh_tokens_[refresh_token] = RefreshToken{false, secret_optional};
  ++code_grants_;
  return {{"access_token", NewAccessToken(refresh_token)},
          {"token_type", "bearer"},
          {"expires_in", lifetime_.count()},
          {"refresh_token", refresh_token},
          {"scope", "files.content.write files.content.read"},
          {"uid", "1"},
          {"account_id", "dbid:test"}};
}

std::string Tokens::NewAccessToken(const std::string& refresh_token) {
  std::string token = RandomToken("sl.");
  access_tokens_[token] = AccessToken{refresh_token, Clock::now() + lifetime_};
  return token;
}

TokenState Tokens::StateOf(std::string_view access_token) const {
  std::lock_guard lock(mutex_);
  const auto found = access_tokens_.find(access_token);
  if (found == access_tokens_.end()) return TokenState::kUnknown;
  return Clock::now() < found->second.expires ? TokenState::kValid : TokenState::kExpired;
}

std::string Tokens::AddCode(std::string code, std::optional<std::string> challenge) {
  if (code.empty()) code = RandomToken("");
  std::lock_guard lock(mutex_);
  codes_[code] = std::move(challenge);
  return code;
}

std::optional<size_t> Tokens::Revoke(const std::string& refresh_token) {
  std::lock_guard lock(mutex_);
  const auto found = refresh_tokens_.find(refresh_token);
  if (found == refresh_tokens_.end()) return std::nullopt;
  found->second.revoked = true;
  // Forgotten rather than marked: the service answers a revoked token as one it never made.
  return std::erase_if(access_tokens_, [&](const auto& granted) { return granted.second.refresh_token == refresh_token; });
}

Json Tokens::Counts() const {
  std::lock_guard lock(mutex_);
  return {{"refresh_grants", refresh_grants_}, {"code_grants", code_grants_}};
}

void Tokens::ClearCounts() {
  std::lock_guard lock(mutex_);
  refresh_grants_ = 0;
  code_grants_ = 0;
}

}  // namespace fake_cloud

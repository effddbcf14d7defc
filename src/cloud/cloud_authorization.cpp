#include "cloud/cloud_authorization.h"

#include <stdexcept>

#include "cloud/access_token.h"
#include "platform/sha256.h"

namespace nuvexa::cloud {
namespace {

std::string Base64Url(const unsigned char* bytes, std::size_t size) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string out;
  for (std::size_t i = 0; i < size; i += 3) {
    const std::uint32_t chunk = (std::uint32_t{bytes[i]} << 16) | (i + 1 < size ? std::uint32_t{bytes[i + 1]} << 8 : 0) |
                                (i + 2 < size ? std::uint32_t{bytes[i + 2]} : 0);
    out += kAlphabet[(chunk >> 18) & 63];
    out += kAlphabet[(chunk >> 12) & 63];
    if (i + 1 < size) out += kAlphabet[(chunk >> 6) & 63];
    if (i + 2 < size) out += kAlphabet[chunk & 63];
  }
  return out;
}

// "NAME=..." or "export NAME=...", spaces before the name allowed.
bool SetsVariable(std::string_view line, std::string_view name) {
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  if (line.starts_with("export ")) line.remove_prefix(7);
  return line.starts_with(name) && line.substr(name.size()).starts_with("=");
}

}  // namespace

std::string NewCodeVerifier() {
  static constexpr char kUnreserved[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~";
  unsigned char random[64];
  platform::FillRandom(random);
  std::string verifier;
  // 66 characters: the remainder's slight bias is of no weight for a one-use verifier of 64
  for (const unsigned char byte : random) verifier += kUnreserved[byte % (sizeof kUnreserved - 1)];
  return verifier;
}

std::string CodeChallenge(std::string_view verifier) {
  const platform::Sha256Digest digest = platform::Sha256Of(verifier);
  return Base64Url(digest.data(), digest.size());
}

std::string AuthorizationAddress(std::string_view app_key, std::string_view challenge) {
  return "https://www.dropbox.com/oauth2/authorize?client_id=" + FormEncoded(app_key) +
         "&response_type=code&token_access_type=offline&code_challenge=" + FormEncoded(challenge) +
         "&code_challenge_method=S256";
}

std::string WithEnvironmentVariable(std::string_view text, std::string_view name, std::string_view value) {
  const std::string line = std::string(name) + "=" + std::string(value);
  std::string out;
  bool set = false;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view current = text.substr(0, end == std::string_view::npos ? text.size() : end + 1);
    text.remove_prefix(current.size());
    if (!SetsVariable(current, name)) {
      out += current;
    } else if (!set) {
      out += line + (current.ends_with("\r\n") ? "\r\n" : "\n");
      set = true;
    }
  }
  if (!set) {
    if (!out.empty() && !out.ends_with('\n')) out += '\n';
    out += line + "\n";
  }
  return out;
}

}  // namespace nuvexa::cloud

#include "cloud/access_token.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "cloud/cloud_error.h"

namespace nuvexa::cloud {
namespace {

using nlohmann::json;

json ParsedObject(std::string_view body) {
  json value = json::parse(body, nullptr, /*allow_exceptions=*/false);
  return value.is_object() ? value : json::object();
}

// A member read as text; empty when it is missing or no text.
std::string TextOf(const json& object, const char* name) {
  return object.is_object() && object.contains(name) && object[name].is_string() ? object[name].get<std::string>()
                                                                                 : std::string();
}

}  // namespace

std::string FormEncoded(std::string_view value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
        c == '-' || c == '.' || c == '_' || c == '~') {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    }
  }
  return out;
}

std::string RefreshGrantForm(std::string_view refresh_token, std::string_view app_key, std::string_view app_secret) {
  return "grant_type=refresh_token&refresh_token=" + FormEncoded(refresh_token) + "&client_id=" +
         FormEncoded(app_key) + "&client_secret=" + FormEncoded(app_secret);
}

std::string CodeGrantForm(std::string_view code, std::string_view app_key, std::string_view code_verifier) {
  return "code=" + FormEncoded(code) + "&grant_type=authorization_code&client_id=" + FormEncoded(app_key) +
         "&code_verifier=" + FormEncoded(code_verifier);
}

GrantedToken ParseGrantedToken(std::string_view body) {
  const json answer = ParsedObject(body);
  GrantedToken token;
  token.access_token = TextOf(answer, "access_token");
  token.refresh_token = TextOf(answer, "refresh_token");
  if (token.access_token.empty()) throw CloudError("A resposta do servidor de tokens não traz o access_token");
  if (!answer.contains("expires_in") || !answer["expires_in"].is_number_integer() || answer["expires_in"].get<long long>() <= 0)
    throw CloudError("A resposta do servidor de tokens não traz a validade (expires_in) do token");
  token.expires_in = std::chrono::seconds(answer["expires_in"].get<long long>());
  // each goes into a header line or a settings file line of its own
  for (const std::string* value : {&token.access_token, &token.refresh_token}) {
    if (value->find_first_of("\r\n") != std::string::npos)
      throw CloudError("O servidor de tokens respondeu um token com quebra de linha (CR ou LF)");
  }
  return token;
}

std::string GrantError(std::string_view body) {
  return TextOf(ParsedObject(body), "error");
}

bool IsExpiredAccessToken(const HttpResponse& response) {
  if (response.status != 401) return false;
  const json answer = ParsedObject(response.body);
  if (answer.contains("error") && TextOf(answer["error"], ".tag") == "expired_access_token") return true;
  return TextOf(answer, "error_summary").starts_with("expired_access_token");
}

std::chrono::seconds RenewalMargin(std::chrono::seconds lifetime) {
  return std::min<std::chrono::seconds>(std::chrono::minutes(5), lifetime / 10);
}

}  // namespace nuvexa::cloud

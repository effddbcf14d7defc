// The endpoints through which tests steer the server. They need no token and stay
// out of the request log, which records the client's requests only.
#include "fake_cloud.h"

namespace fake_cloud {
namespace {

std::string WholeBody(const httplib::ContentReader& reader) {
  std::string body;
  reader([&](const char* data, size_t size) {
    body.append(data, size);
    return true;
  });
  return body;
}

void SendText(httplib::Response& response, int status, const std::string& text) {
  response.status = status;
  response.set_content(text, "text/plain; charset=utf-8");
}

}  // namespace

void FakeCloud::RegisterAdmin(httplib::Server& server) {
  server.Post("/__admin/fail", [this](const httplib::Request&, httplib::Response& response,
                                      const httplib::ContentReader& reader) {
    try {
      FailureRule rule = ParseFailureRule(Json::parse(WholeBody(reader)));
      SendJson(response, 200, ToJson(rule));
      failures_.Add(std::move(rule));
    } catch (const std::exception& e) {
      SendText(response, 400, std::string("bad failure rule: ") + e.what());
    }
  });
  server.Post("/__admin/reset", [this](const httplib::Request&, httplib::Response& response,
                                       const httplib::ContentReader& reader) {
    WholeBody(reader);
    failures_.Clear();
    log_.Clear();
    tokens_.ClearCounts();
    SendJson(response, 200, Json::object());
  });
  server.Get("/__admin/log", [this](const httplib::Request&, httplib::Response& response) {
    SendJson(response, 200, log_.Entries());
  });
  // What a person would copy from the authorization page, made up by the test.
  server.Post("/__admin/auth_code", [this](const httplib::Request&, httplib::Response& response,
                                           const httplib::ContentReader& reader) {
    try {
      const Json asked = Json::parse(WholeBody(reader));
      std::optional<std::string> challenge;
      if (asked.contains("code_challenge")) challenge = asked["code_challenge"].get<std::string>();
      SendJson(response, 200, {{"code", tokens_.AddCode(asked.value("code", ""), std::move(challenge))}});
    } catch (const Json::exception& e) {
      SendText(response, 400, std::string("bad code: ") + e.what());
    }
  });
  // What the person does in the account's settings, or the service on its own.
  server.Post("/__admin/revoke", [this](const httplib::Request&, httplib::Response& response,
                                        const httplib::ContentReader& reader) {
    try {
      const auto revoked = tokens_.Revoke(Json::parse(WholeBody(reader)).at("refresh_token").get<std::string>());
      if (!revoked) {
        SendText(response, 404, "no such refresh token");
        return;
      }
      SendJson(response, 200, {{"revoked_access_tokens", *revoked}});
    } catch (const Json::exception& e) {
      SendText(response, 400, std::string("bad revocation: ") + e.what());
    }
  });
  server.Get("/__admin/tokens", [this](const httplib::Request&, httplib::Response& response) {
    SendJson(response, 200, tokens_.Counts());
  });
}

}  // namespace fake_cloud

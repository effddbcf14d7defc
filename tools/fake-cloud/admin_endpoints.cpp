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

}  // namespace

void FakeCloud::RegisterAdmin(httplib::Server& server) {
  server.Post("/__admin/fail", [this](const httplib::Request&, httplib::Response& response,
                                      const httplib::ContentReader& reader) {
    try {
      FailureRule rule = ParseFailureRule(Json::parse(WholeBody(reader)));
      SendJson(response, 200, ToJson(rule));
      failures_.Add(std::move(rule));
    } catch (const std::exception& e) {
      response.status = 400;
      response.set_content(std::string("bad failure rule: ") + e.what(), "text/plain; charset=utf-8");
    }
  });
  server.Post("/__admin/reset", [this](const httplib::Request&, httplib::Response& response,
                                       const httplib::ContentReader& reader) {
    WholeBody(reader);
    failures_.Clear();
    log_.Clear();
    SendJson(response, 200, Json::object());
  });
  server.Get("/__admin/log", [this](const httplib::Request&, httplib::Response& response) {
    SendJson(response, 200, log_.Entries());
  });
}

}  // namespace fake_cloud

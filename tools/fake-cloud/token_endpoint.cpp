// The OAuth 2 token endpoint, on the API host. It takes a form rather than JSON and
// no bearer token: it is where clients get one.
#include "fake_cloud.h"
#include "url_form.h"

namespace fake_cloud {

void FakeCloud::Token(Call& call, httplib::Response& response) {
  std::map<std::string, std::string> form;
  try {
    form = ParseUrlForm(call.WholeBody());
  } catch (const std::invalid_argument& e) {
    throw OAuthError("invalid_request", e.what());
  }
  SendJson(response, 200, tokens_.Grant(form));
}

// The long-lived --token never expires; the rest are the endpoint's.
TokenState FakeCloud::StateOf(std::string_view access_token) const {
  return access_token == token_ ? TokenState::kValid : tokens_.StateOf(access_token);
}

}  // namespace fake_cloud

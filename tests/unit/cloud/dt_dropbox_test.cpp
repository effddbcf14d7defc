// What the client asks of its transport, where the fake server cannot see it: time-outs
// and redirect following.
#include "cloud/dt_dropbox.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "support/temp_folder.h"

namespace nuvexa::cloud {
namespace {

struct Asked {
  std::string url;
  bool follow_redirects;
  std::chrono::milliseconds timeout;
};

// Answers every request with 200 and a body that each reader accepts.
class RecordingTransport : public HttpTransport {
 public:
  explicit RecordingTransport(std::vector<Asked>& asked) : asked_(asked) {}
  HttpResponse Send(const HttpRequest& request) override {
    asked_.push_back({request.url, request.follow_redirects, request.timeout});
    return {200, "HTTP/1.1 200 OK",
            R"({"entries": [], "has_more": false, "cursor": "c", "session_id": "s", "metadata": {}})"};
  }

 private:
  std::vector<Asked>& asked_;
};

TEST(CloudClientRequests, TimeoutsAndRedirectsPerOperation) {
  test::TempFolder folder;
  const std::string file = folder.WriteFile("f.zip", "12345");
  struct Case {
    const char* why;
    std::int32_t timeout;
    std::function<void(TDTDropBox&)> operation;
    bool follow_redirects;
    std::chrono::milliseconds expected_timeout;
  };
  const Case cases[] = {
      {"the listing follows no redirect, with the same time-outs", 600,
       [](TDTDropBox& c) { c.ListarArquivosDaPasta(""); }, false, std::chrono::milliseconds(600'000)},
      {"create", 600, [](TDTDropBox& c) { c.CriarPasta("/a"); }, true, std::chrono::milliseconds(600'000)},
      {"delete", 7, [](TDTDropBox& c) { c.DeletarPasta("/a"); }, true, std::chrono::milliseconds(7'000)},
      {"upload", 600, [&](TDTDropBox& c) { c.Upload(file, "/a/f.zip"); }, true, std::chrono::milliseconds(600'000)},
      {"a session's requests", 600, [&](TDTDropBox& c) { c.UploadInSession(file, "/a/f.zip", 2); }, true,
       std::chrono::milliseconds(600'000)},
      {"download", 600, [&](TDTDropBox& c) { c.Download("/a/f.zip", folder.Path() + "d.zip"); }, true,
       std::chrono::milliseconds(600'000)},
      {"Timeout 0 sets none", 0, [](TDTDropBox& c) { c.CriarPasta("/a"); }, true, std::chrono::milliseconds(0)},
      {"Timeout 0 sets none on the listing either", 0, [](TDTDropBox& c) { c.ListarArquivosDaPasta("/a"); }, false,
       std::chrono::milliseconds(0)},
  };
  for (const auto& c : cases) {
    std::vector<Asked> asked;
    TDTDropBox client(std::make_unique<RecordingTransport>(asked), CloudHosts{"https://api", "https://content"});
    client.SetTimeout(c.timeout);
    c.operation(client);
    ASSERT_FALSE(asked.empty()) << c.why;
    for (const auto& request : asked) {
      EXPECT_EQ(request.follow_redirects, c.follow_redirects) << c.why << ": " << request.url;
      EXPECT_EQ(request.timeout, c.expected_timeout) << c.why << ": " << request.url;
    }
  }
}

}  // namespace
}  // namespace nuvexa::cloud

// What the client asks of its transport and makes of its answers, where the fake server
// cannot show it: time-outs, redirect following, and pages no server should send.
#include "cloud/dt_dropbox.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cloud/cloud_error.h"
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

namespace nuvexa::cloud {
namespace {

TEST(CloudClientRequests, ALineBreakInTheTokenOrAPathSendsNothing) {
  test::TempFolder folder;
  const std::string file = folder.WriteFile("f.zip", "12345");
  struct Case {
    const char* why;
    std::string token;
    std::function<void(TDTDropBox&)> operation;
  };
  const Case cases[] = {
      {"a token that would add a header", "t\r\nX-Injected: 1", [](TDTDropBox& c) { c.CriarPasta("/a"); }},
      {"a token with a bare LF", "t\n", [&](TDTDropBox& c) { c.Upload(file, "/a/f.zip"); }},
      {"a folder path", "t", [](TDTDropBox& c) { c.CriarPasta("/a\r\nb"); }},
      {"an upload path", "t", [&](TDTDropBox& c) { c.Upload(file, "/a/f\n.zip"); }},
      {"a session's commit path", "t", [&](TDTDropBox& c) { c.UploadInSession(file, "/a/\nf.zip", 2); }},
      {"a deletion", "t", [](TDTDropBox& c) { c.DeletarPasta("/a\n"); }},
      {"a listing", "t", [](TDTDropBox& c) { c.ListarArquivosDaPasta("/a\r"); }},
  };
  for (const auto& c : cases) {
    std::vector<Asked> asked;
    TDTDropBox client(std::make_unique<RecordingTransport>(asked), CloudHosts{"https://api", "https://content"});
    client.SetAccessToken(c.token);
    try {
      c.operation(client);
      ADD_FAILURE() << c.why << ": no error";
    } catch (const CloudError& error) {
      EXPECT_NE(std::string(error.what()).find("quebra de linha"), std::string::npos) << c.why << ": " << error.what();
    }
    EXPECT_TRUE(asked.empty()) << c.why << ": nothing went out";
    // the listing records its failures in an error entry, every other operation in Retorno
    const int recorded = client.ListaArquivos.empty() ? client.Retorno.StatusCode : client.ListaArquivos.back().StatusCode;
    EXPECT_EQ(recorded, 400) << c.why;
  }
}

}  // namespace
}  // namespace nuvexa::cloud

namespace nuvexa::cloud {
namespace {

// Answers the listing with one page.
class OnePageTransport : public HttpTransport {
 public:
  explicit OnePageTransport(std::string page) : page_(std::move(page)) {}
  HttpResponse Send(const HttpRequest&) override { return {200, "HTTP/1.1 200 OK", page_}; }

 private:
  std::string page_;
};

TEST(CloudListing, AnArrayOrObjectWhereTextIsReadFailsTheListing) {
  // deep enough that reading it as text by recursion would overflow the stack
  const std::string deep = std::string(1'000'000, '[') + std::string(1'000'000, ']');
  struct Case {
    const char* why;
    std::string page;
  } const cases[] = {
      {"has_more nested a million deep", R"({"entries": [], "cursor": "c", "has_more": )" + deep + "}"},
      {"a cursor that is an array", R"({"entries": [], "cursor": ["c"], "has_more": false})"},
      {"an entry's name that is an object",
       R"({"entries": [{".tag": "folder", "name": {"n": 1}, "id": "id:1"}], "cursor": "c", "has_more": false})"},
  };
  for (const auto& c : cases) {
    TDTDropBox client(std::make_unique<OnePageTransport>(c.page), CloudHosts{"https://api", "https://content"});
    try {
      client.ListarArquivosDaPasta("/p");
      ADD_FAILURE() << c.why << ": no error";
    } catch (const CloudError& error) {
      EXPECT_NE(std::string(error.what()).find("is not a text"), std::string::npos) << c.why << ": " << error.what();
    }
    ASSERT_FALSE(client.ListaArquivos.empty()) << c.why;
    EXPECT_EQ(client.ListaArquivos.back().StatusCode, 400) << c.why;
  }
}

}  // namespace
}  // namespace nuvexa::cloud

namespace nuvexa::cloud {
namespace {

// Answers every request with what `answer` makes of the request's number (from 1), and counts.
class ScriptedTransport : public HttpTransport {
 public:
  ScriptedTransport(std::function<std::string(int)> answer, int& requests)
      : answer_(std::move(answer)), requests_(requests) {}
  HttpResponse Send(const HttpRequest&) override { return {200, "HTTP/1.1 200 OK", answer_(++requests_)}; }

 private:
  std::function<std::string(int)> answer_;
  int& requests_;
};

std::string Page(const std::string& entries, const std::string& cursor, bool has_more) {
  return R"({"entries": [)" + entries + R"(], "cursor": ")" + cursor + R"(", "has_more": )" +
         (has_more ? "true" : "false") + "}";
}

TEST(CloudListing, APageThatIsWrongOrNeverEndsFailsTheListingAfterFewRequests) {
  const std::string file =
      R"({".tag": "file", "name": "a.zip", "id": "id:1", "client_modified": "2026-12-01T10:00:00Z", )"
      R"("server_modified": "2026-12-01T10:00:05Z", "size": 5})";
  struct Case {
    const char* why;
    std::function<std::string(int)> answer;
    int requests;
    const char* message_part;
  } const cases[] = {
      {"no JSON", [](int) { return std::string("<html>busy</html>"); }, 1, "parse"},
      {"no entries", [](int) { return std::string(R"({"cursor": "c", "has_more": false})"); }, 1, "entries"},
      {"no has_more", [](int) { return std::string(R"({"entries": [], "cursor": "c"})"); }, 1, "has_more"},
      // ranked by a date it does not have, the wrong archive could be deleted
      {"a time stamp that is no date",
       [](int) {
         return Page(R"({".tag": "file", "name": "a.zip", "id": "id:1", "client_modified": "2026-13-45T99:99:99Z", )"
                     R"("server_modified": "2026-12-01T10:00:05Z", "size": 5})",
                     "c", false);
       },
       1, "not a valid date and time"},
      {"an entry without a name",
       [](int) { return Page(R"({".tag": "file", "id": "id:1", "size": 5})", "c", false); }, 1, "name"},
      {"more promised under the same cursor", [&](int) { return Page(file, "same", true); }, 2, "does not advance"},
      {"more promised without a cursor", [&](int) { return Page(file, "", true); }, 1, "does not advance"},
      {"a new cursor on every page, for ever", [](int n) { return Page("", "c" + std::to_string(n), true); }, 10'000,
       "does not end"},
  };
  for (const auto& c : cases) {
    int requests = 0;
    TDTDropBox client(std::make_unique<ScriptedTransport>(c.answer, requests), CloudHosts{"https://api", "https://content"});
    try {
      client.ListarArquivosDaPasta("/p");
      ADD_FAILURE() << c.why << ": no error";
    } catch (const CloudError& error) {
      EXPECT_NE(std::string(error.what()).find(c.message_part), std::string::npos) << c.why << ": " << error.what();
    }
    EXPECT_EQ(requests, c.requests) << c.why;
    ASSERT_FALSE(client.ListaArquivos.empty()) << c.why;
    EXPECT_EQ(client.ListaArquivos.back().StatusCode, 400) << c.why;
  }
}

TEST(CloudSession, AStartWithoutASessionIdEndsTheUploadAtOnce) {
  test::TempFolder folder;
  const std::string file = folder.WriteFile("f.zip", std::string(300, 'z'));
  for (const std::string answer : {R"({"other": 1})", R"({"session_id": ""})"}) {
    int requests = 0;
    TDTDropBox client(std::make_unique<ScriptedTransport>([&](int) { return answer; }, requests),
                      CloudHosts{"https://api", "https://content"});
    EXPECT_THROW(client.UploadInSession(file, "/p/f.zip", 100), CloudError) << answer;
    EXPECT_EQ(requests, 1) << answer << ": nothing goes out after the start";
    EXPECT_EQ(client.Retorno.StatusCode, 400) << answer;
  }
}

}  // namespace
}  // namespace nuvexa::cloud

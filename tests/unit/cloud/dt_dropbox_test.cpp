// What the client asks of its transport and makes of its answers, where the fake server
// cannot show it: time-outs, redirect following, and pages no server should send.
#include "cloud/dt_dropbox.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cloud/access_token.h"
#include "cloud/cloud_error.h"
#include "cloud/content_hash.h"
#include "platform/file_stream.h"
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
    // the body is read as a transport reads it, so that its content hash can be checked
    if (request.body_file && request.body_file->on_read) {
      std::string bytes(request.body_file->length, '\0');
      const std::size_t got = request.body_file->file->ReadAt(request.body_file->offset, bytes);
      request.body_file->on_read(request.body_file->offset, std::string_view(bytes).substr(0, got));
    }
    return {200, "HTTP/1.1 200 OK",
            R"({"entries": [], "has_more": false, "cursor": "c", "session_id": "s", "metadata": {}, )"
            R"("content_hash": ")" + ContentHashOf("12345") + R"("})"};
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

namespace nuvexa::cloud {
namespace {

// A token endpoint and an API in one: grants tokens "t1", "t2"... that live `lifetime_s`
// on the test's clock, refuses expired ones as the service does, and records what it was sent.
class TokenService : public HttpTransport {
 public:
  TokenService(std::chrono::steady_clock::time_point& now, int lifetime_s) : now_(now), lifetime_s_(lifetime_s) {}
  HttpResponse Send(const HttpRequest& request) override {
    if (request.url.ends_with("/oauth2/token")) {
      forms.push_back(request.body);
      if (revoked) return {400, "HTTP/1.1 400 Bad Request", R"({"error": "invalid_grant"})"};
      current_ = "t" + std::to_string(forms.size());
      expires_ = now_ + std::chrono::seconds(lifetime_s_);
      return {200, "HTTP/1.1 200 OK",
              R"({"access_token": ")" + current_ + R"(", "token_type": "bearer", "expires_in": )" +
                  std::to_string(lifetime_s_) + "}"};
    }
    std::string bearer;
    for (const auto& [name, value] : request.headers) {
      if (name == "Authorization") bearer = value;
    }
    calls.push_back(bearer);
    if (bearer != "Bearer " + current_ || now_ >= expires_)
      return {401, "HTTP/1.1 401 Unauthorized",
              R"({"error_summary": "expired_access_token/..", "error": {".tag": "expired_access_token"}})"};
    return {200, "HTTP/1.1 200 OK", R"({"metadata": {}})"};
  }

  std::vector<std::string> forms;  // the token requests' bodies
  std::vector<std::string> calls;  // the Authorization header of every other request
  bool revoked = false;

 private:
  std::chrono::steady_clock::time_point& now_;
  int lifetime_s_;
  std::string current_;
  std::chrono::steady_clock::time_point expires_{};
};

TEST(CloudTokens, ARefreshTokenGetsAccessTokensThatAreRenewedBeforeTheyExpireOrOnceWhenRefused) {
  std::chrono::steady_clock::time_point now{};
  auto owned = std::make_unique<TokenService>(now, 4 * 3600);
  TokenService& service = *owned;
  TDTDropBox client(std::move(owned), CloudHosts{"https://api", "https://content"});
  client.SetClock([&] { return now; });
  client.SetClientID("app key");
  client.SetClientSecret("s&cret");
  client.SetRefreshToken("rt/1");

  client.CriarPasta("/a");
  client.CriarPasta("/b");
  ASSERT_EQ(service.forms.size(), 1u) << "one token for both requests";
  EXPECT_EQ(service.forms[0], "grant_type=refresh_token&refresh_token=rt%2F1&client_id=app%20key&client_secret=s%26cret");
  EXPECT_EQ(service.calls, (std::vector<std::string>{"Bearer t1", "Bearer t1"}));

  now += std::chrono::hours(4) - std::chrono::minutes(4);  // within five minutes of its end
  client.CriarPasta("/c");
  EXPECT_EQ(service.forms.size(), 2u) << "renewed before it expired";
  EXPECT_EQ(service.calls.back(), "Bearer t2");

  // a token the service holds for expired sooner than the client thought: renewed once
  service.calls.clear();
  now += std::chrono::hours(4) + std::chrono::minutes(1);
  client.SetClock([&] { return now - std::chrono::hours(1); });  // the client's clock lags
  client.CriarPasta("/d");
  EXPECT_EQ(service.calls, (std::vector<std::string>{"Bearer t2", "Bearer t3"}));
  EXPECT_EQ(client.Retorno.StatusCode, 200);
}

TEST(CloudTokens, ARevokedRefreshTokenSaysToAuthoriseAgainAndSendsNothingElse) {
  std::chrono::steady_clock::time_point now{};
  auto owned = std::make_unique<TokenService>(now, 60);
  TokenService& service = *owned;
  service.revoked = true;
  TDTDropBox client(std::move(owned), CloudHosts{"https://api", "https://content"});
  client.SetClock([&] { return now; });
  client.SetRefreshToken("rt");
  try {
    client.CriarPasta("/a");
    ADD_FAILURE() << "no error";
  } catch (const CloudError& error) {
    EXPECT_NE(std::string(error.what()).find("nuvexa -AUTHORIZE"), std::string::npos) << error.what();
    EXPECT_NE(std::string(error.what()).find("invalid_grant"), std::string::npos) << error.what();
  }
  EXPECT_TRUE(service.calls.empty());
  EXPECT_EQ(client.Retorno.StatusCode, 400);
}

TEST(CloudTokens, RenewalMarginIsFiveMinutesOrATenthOfTheLife) {
  EXPECT_EQ(RenewalMargin(std::chrono::hours(4)), std::chrono::minutes(5));
  EXPECT_EQ(RenewalMargin(std::chrono::seconds(20)), std::chrono::seconds(2));
  EXPECT_EQ(RenewalMargin(std::chrono::seconds(2)), std::chrono::seconds(0));
}

}  // namespace
}  // namespace nuvexa::cloud

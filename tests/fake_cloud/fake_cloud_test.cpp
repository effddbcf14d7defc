// Smoke tests of the fake storage service: what a client sends and what it gets back.
#include <gtest/gtest.h>
#include <httplib.h>
#include <openssl/sha.h>
#include <openssl/ssl.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "support/fake_cloud_server.h"

namespace {

using nlohmann::json;
using nuvexa::test::FakeCloudServer;
using nuvexa::test::TempFolder;

constexpr size_t kHashBlock = 4 * 1024 * 1024;

// The storage API as a client calls it: RPC calls with a JSON body, content calls
// with the argument in a header. A call that gets no response at all throws.
class Api {
 public:
  explicit Api(int port, std::string token = "test-token") : client_("127.0.0.1", port), token_(std::move(token)) {}

  httplib::Response Rpc(const std::string& function, const std::string& body,
                        const char* content_type = "application/json") {
    return Answer(
        client_.Post(("/2/files/" + function).c_str(), {{"Authorization", "Bearer " + token_}}, body, content_type));
  }
  httplib::Result Send(const std::string& function, const std::string& argument, const std::string& body) {
    return client_.Post(("/2/files/" + function).c_str(),
                        {{"Authorization", "Bearer " + token_}, {"Dropbox-API-Arg", argument}}, body,
                        "application/octet-stream");
  }
  httplib::Response Content(const std::string& function, const std::string& argument, const std::string& body = "") {
    return Answer(Send(function, argument, body));
  }
  httplib::Response Admin(const std::string& what, const std::string& body = "") {
    return Answer(client_.Post(("/__admin/" + what).c_str(), body, "application/json"));
  }
  json AdminLog() { return AdminGet("log"); }
  json AdminGet(const std::string& what) { return json::parse(Answer(client_.Get(("/__admin/" + what).c_str())).body); }
  // A request to the OAuth 2 token endpoint, which takes no bearer token.
  httplib::Response Token(const std::string& form, const char* content_type = "application/x-www-form-urlencoded") {
    return Answer(client_.Post("/oauth2/token", form, content_type));
  }

  static httplib::Response Answer(const httplib::Result& result) {
    if (!result) throw std::runtime_error("no response: " + httplib::to_string(result.error()));
    return *result;
  }

 private:
  httplib::Client client_;
  std::string token_;
};

json Body(const httplib::Response& response) { return json::parse(response.body); }

std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The service's content hash, computed here independently of the server.
std::string ContentHash(const std::string& bytes) {
  std::string digests;
  unsigned char digest[SHA256_DIGEST_LENGTH];
  for (size_t at = 0; at < bytes.size(); at += kHashBlock) {
    SHA256(reinterpret_cast<const unsigned char*>(bytes.data()) + at, std::min(kHashBlock, bytes.size() - at), digest);
    digests.append(reinterpret_cast<const char*>(digest), sizeof digest);
  }
  SHA256(reinterpret_cast<const unsigned char*>(digests.data()), digests.size(), digest);
  std::ostringstream hex;
  for (unsigned char byte : digest) hex << std::hex << (byte >> 4) << (byte & 0x0F);
  return hex.str();
}

std::string Summary(const httplib::Response& response) { return Body(response).value("error_summary", ""); }

// Calls of both hosts that succeed one after the other on an empty cloud.
struct HostCall {
  std::string function;
  bool content;  // a content call; else an RPC call
  std::string argument;
  std::string body;  // of a content call
};
const HostCall kCallsOfBothHosts[] = {
    {"create_folder_v2", false, R"({"path": "/h"})", ""},
    {"upload", true, R"({"path": "/h/a.zip"})", "bytes"},
    {"list_folder", false, R"({"path": "/h"})", ""},
    {"download", true, R"({"path": "/h/a.zip"})", ""},
    {"upload_session/start", true, R"({"close": false})", "abc"},
    {"delete_v2", false, R"({"path": "/h"})", ""},
};

httplib::Response Send(Api& api, const HostCall& call, const std::string& body) {
  return call.content ? api.Content(call.function, call.argument, body) : api.Rpc(call.function, call.argument);
}

TEST(FakeCloudTest, StoresListsServesAndDeletesFiles) {
  FakeCloudServer server;
  Api api(server.port());
  ASSERT_EQ(api.Rpc("create_folder_v2", R"({"path": "/Backups", "autorename": false})").status, 200);

  // One byte past a hash block and then some, so the block split shows in the hash.
  std::string bytes(kHashBlock + 3, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 % 251);
  const auto uploaded = api.Content("upload", R"({ "path":"/backups/Day.zip"})", bytes);
  ASSERT_EQ(uploaded.status, 200) << uploaded.body;
  const json file = Body(uploaded);
  EXPECT_EQ(file["path_display"], "/Backups/Day.zip") << "the folder keeps the case it was created with";
  EXPECT_EQ(file["path_lower"], "/backups/day.zip");
  EXPECT_EQ(file["size"], bytes.size());
  EXPECT_EQ(file["content_hash"], ContentHash(bytes));
  EXPECT_TRUE(std::regex_match(file["client_modified"].get<std::string>(),
                               std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)")));
  EXPECT_EQ(ReadFile(server.root() / "Backups" / "Day.zip"), bytes);

  const auto downloaded = api.Content("download", R"({ "path":"/BACKUPS/day.ZIP"})");
  ASSERT_EQ(downloaded.status, 200);
  EXPECT_EQ(downloaded.body, bytes);
  EXPECT_EQ(json::parse(downloaded.get_header_value("Dropbox-API-Result")), file);

  const json listing = Body(api.Rpc("list_folder", R"({ "path":"/backups"})"));
  ASSERT_EQ(listing["entries"].size(), 1u);
  EXPECT_EQ(listing["entries"][0][".tag"], "file");
  EXPECT_EQ(listing["entries"][0]["client_modified"], file["client_modified"]);
  EXPECT_EQ(listing["has_more"], false);

  const json root = Body(api.Rpc("list_folder", R"({ "path":""})"));
  ASSERT_EQ(root["entries"].size(), 1u) << "the server's own state stays out of listings: " << root.dump();
  EXPECT_EQ(root["entries"][0][".tag"], "folder");

  const auto empty = api.Content("upload", R"({ "path":"/Backups/empty.zip"})", "");
  EXPECT_EQ(Body(empty)["content_hash"], "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");

  const auto deleted = api.Rpc("delete_v2", R"({ "path":"/Backups/Day.zip"})", "application/json; charset=utf-8");
  ASSERT_EQ(deleted.status, 200);
  EXPECT_EQ(Body(deleted)["metadata"][".tag"], "file");
  EXPECT_FALSE(std::filesystem::exists(server.root() / "Backups" / "Day.zip"));
  const auto gone = api.Content("download", R"({ "path":"/Backups/Day.zip"})");
  EXPECT_EQ(gone.status, 409);
  EXPECT_EQ(Summary(gone), "path/not_found/..");
  EXPECT_EQ(server.Stop(), 0) << "SIGTERM stops the server cleanly";
}

TEST(FakeCloudTest, RefusesExistingPathsUnlessToldToRenameOrOverwrite) {
  FakeCloudServer server;
  Api api(server.port());
  ASSERT_EQ(api.Rpc("create_folder_v2", R"({"path": "/F", "autorename": false})").status, 200);
  const auto again = api.Rpc("create_folder_v2", R"({"path": "/f", "autorename": false})");
  EXPECT_EQ(again.status, 409);
  EXPECT_EQ(again.reason, "Conflict");
  EXPECT_EQ(Summary(again), "path/conflict/folder/..");

  const json first = Body(api.Content("upload", R"({"path": "/f/b.zip"})", "one"));
  const auto conflict = api.Content("upload", R"({"path": "/F/B.zip"})", "two");
  EXPECT_EQ(conflict.status, 409);
  EXPECT_EQ(Summary(conflict), "path/conflict/file/..");
  EXPECT_EQ(Body(api.Content("upload", R"({"path": "/f/b.zip", "autorename": true})", "two"))["name"], "b (1).zip");
  const json overwritten = Body(api.Content("upload", R"({"path": "/f/b.zip", "mode": "overwrite"})", "three"));
  EXPECT_EQ(overwritten["id"], first["id"]);
  EXPECT_NE(overwritten["rev"], first["rev"]);
  EXPECT_EQ(ReadFile(server.root() / "F" / "b.zip"), "three");
  EXPECT_EQ(Body(api.Rpc("list_folder", R"({"path": "/f"})"))["entries"].size(), 2u);
  EXPECT_EQ(server.Stop(), 0);
}

TEST(FakeCloudTest, ListsInPagesOrderedByName) {
  FakeCloudServer server({"--page-size", "2"});
  Api api(server.port());
  for (const char* name : {"e", "a", "D", "c", "b"}) {
    ASSERT_EQ(api.Content("upload", std::string(R"({"path": "/p/)") + name + R"("})", name).status, 200);
  }
  std::vector<std::string> names;
  int pages = 0;
  json page = Body(api.Rpc("list_folder", R"({ "path":"/p"})"));
  while (true) {
    ++pages;
    for (const auto& entry : page["entries"]) names.push_back(entry["name"]);
    if (!page["has_more"].get<bool>()) break;
    ASSERT_LT(pages, 5) << "the listing does not end";
    page = Body(api.Rpc("list_folder/continue", R"({ "cursor": ")" + page["cursor"].get<std::string>() + R"("})"));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "c", "D", "e"}));
  EXPECT_EQ(pages, 3);
  EXPECT_EQ(server.Stop(), 0);
}

TEST(FakeCloudTest, UploadSessionsCheckOffsets) {
  FakeCloudServer server;
  Api api(server.port());
  const std::string id = Body(api.Content("upload_session/start", R"({"close": false})", "abc"))["session_id"];
  const auto cursor = [&](int offset) {
    return R"({"cursor": {"session_id": ")" + id + R"(", "offset": )" + std::to_string(offset) + "}";
  };

  const auto wrong = api.Content("upload_session/append_v2", cursor(2) + R"(, "close": false})", "xx");
  EXPECT_EQ(wrong.status, 409);
  EXPECT_EQ(Body(wrong)["error"], json({{".tag", "incorrect_offset"}, {"correct_offset", 3}}));
  const auto appended = api.Content("upload_session/append_v2", cursor(3) + R"(, "close": false})", "defg");
  EXPECT_EQ(appended.status, 200);
  EXPECT_EQ(appended.body, "null");

  const std::string commit = R"(, "commit": {"path": "/s/x.zip", "mode": "add", "autorename": true}})";
  const auto early = api.Content("upload_session/finish", cursor(3) + commit);
  EXPECT_EQ(early.status, 409);
  EXPECT_EQ(Summary(early), "lookup_failed/incorrect_offset/..");
  EXPECT_EQ(Body(early)["error"]["lookup_failed"]["correct_offset"], 7);
  const auto finished = api.Content("upload_session/finish", cursor(7) + commit);
  ASSERT_EQ(finished.status, 200) << finished.body;
  EXPECT_EQ(Body(finished)["size"], 7);
  EXPECT_EQ(ReadFile(server.root() / "s" / "x.zip"), "abcdefg");

  const auto after = api.Content("upload_session/append_v2", cursor(7) + R"(, "close": false})", "h");
  EXPECT_EQ(Summary(after), "not_found/..") << "a finished session is gone";
  EXPECT_EQ(server.Stop(), 0);
}

TEST(FakeCloudTest, RefusesBadCallsAsTheServiceDoes) {
  FakeCloudServer server;
  struct Case {
    const char* why;
    std::string path;
    httplib::Headers headers;
    const char* content_type;
    std::string body;
    int status;
    std::string start;  // of the error summary (JSON answers) or of the text
  };
  const httplib::Headers token = {{"Authorization", "Bearer test-token"}};
  const std::string list = R"({"path": ""})";
  const std::string refused_list = "Error in call to API function \"files/list_folder\": ";
  const Case cases[] = {
      {"no Authorization header", "/2/files/list_folder", {}, "application/json", list, 400,
       refused_list + "Must provide HTTP header \"Authorization\""},
      {"a scheme other than Bearer", "/2/files/list_folder", {{"Authorization", "Basic x"}}, "application/json", list,
       400, refused_list + "Invalid authorization value in HTTP header \"Authorization\""},
      {"Bearer and no token", "/2/files/list_folder", {{"Authorization", "Bearer "}}, "application/json", list, 400,
       refused_list + "The given OAuth 2 access token is malformed"},
      {"Bearer and no token on a content call", "/2/files/upload",
       {{"Authorization", "Bearer"}, {"Dropbox-API-Arg", R"({"path": "/a.zip"})"}}, "application/octet-stream", "x",
       400, "Error in call to API function \"files/upload\": The given OAuth 2 access token is malformed"},
      {"a well-formed token that is not known", "/2/files/list_folder", {{"Authorization", "Bearer wrong"}},
       "application/json", list, 401, "invalid_access_token/"},
      {"an RPC call without JSON content type", "/2/files/list_folder", token, "text/plain", R"({"path": ""})", 400,
       "Error in call to API function \"files/list_folder\": Bad HTTP \"Content-Type\""},
      {"a body that is not JSON", "/2/files/create_folder_v2", token, "application/json", R"({"path": "/a)", 400,
       "Error in call to API function \"files/create_folder_v2\": request body: could not decode"},
      {"an upload with a form content type", "/2/files/upload",
       {{"Authorization", "Bearer test-token"}, {"Dropbox-API-Arg", R"({"path": "/a.zip"})"}},
       "application/x-www-form-urlencoded", "x", 400, "Error in call to API function \"files/upload\""},
      {"a raw non-ASCII byte in Dropbox-API-Arg", "/2/files/upload",
       {{"Authorization", "Bearer test-token"}, {"Dropbox-API-Arg", "{\"path\": \"/a\xC3\xA7.zip\"}"}},
       "application/octet-stream", "x", 400, "Error in call to API function \"files/upload\": HTTP header"},
      {"listing a missing folder", "/2/files/list_folder", token, "application/json", R"({"path": "/none"})", 409,
       "path/not_found/"},
      {"deleting a missing path", "/2/files/delete_v2", token, "application/json", R"({"path": "/none"})", 409,
       "path_lookup/not_found/"},
  };
  for (const auto& c : cases) {
    httplib::Client client("127.0.0.1", server.port());
    const auto response = Api::Answer(client.Post(c.path.c_str(), c.headers, c.body, c.content_type));
    EXPECT_EQ(response.status, c.status) << c.why;
    const bool is_json = response.get_header_value("Content-Type") == "application/json";
    const std::string said = is_json ? Summary(response) : response.body;
    EXPECT_TRUE(said.starts_with(c.start)) << c.why << ": " << response.body;
  }
  EXPECT_FALSE(std::filesystem::exists(server.root() / "a.zip")) << "refused uploads store nothing";
  EXPECT_EQ(server.Stop(), 0);
}

TEST(FakeCloudTest, LogsEachRequestAsTheClientSentIt) {
  FakeCloudServer server;
  Api api(server.port());
  const std::string create = R"({"path": "/0123", "autorename": false})";
  api.Rpc("create_folder_v2", create, "application/json; charset=utf-8");
  api.Content("upload", R"({ "path":"/0123/f.zip"})", "hello");
  api.Content("upload", R"({ "path":"/0123/g.zip"})", std::string(5000, 'x'));

  const auto lines = server.LogLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0]["method"], "POST");
  EXPECT_EQ(lines[0]["path"], "/2/files/create_folder_v2");
  EXPECT_EQ(lines[0]["headers"]["Content-Type"], "application/json; charset=utf-8");
  EXPECT_EQ(lines[0]["headers"]["Authorization"], "Bearer test-token");
  EXPECT_EQ(lines[0]["body"], create);
  EXPECT_EQ(lines[0]["status"], 200);
  EXPECT_EQ(lines[1]["headers"]["Dropbox-API-Arg"], R"({ "path":"/0123/f.zip"})");
  EXPECT_EQ(lines[1]["body"], "hello");
  EXPECT_EQ(lines[2]["body_size"], 5000);
  EXPECT_FALSE(lines[2].contains("body")) << "large bodies are only counted";

  EXPECT_EQ(api.AdminLog(), json(lines)) << "the admin view and the file agree";
  ASSERT_EQ(api.Admin("reset").status, 200);
  EXPECT_TRUE(server.LogLines().empty());
  EXPECT_EQ(api.AdminLog(), json::array());
  EXPECT_EQ(server.Stop(), 0);
}

TEST(FakeCloudTest, FailsTheNthRequestWhenTold) {
  FakeCloudServer server;
  Api api(server.port());
  const std::string list = R"({"path": ""})";
  ASSERT_EQ(api.Admin("fail", R"({"endpoint": "/2/files/list_folder", "nth": 2, "status": 503, "body": "busy"})").status,
            200);
  EXPECT_EQ(api.Rpc("list_folder", list).status, 200);
  const auto failed = api.Rpc("list_folder", list);
  EXPECT_EQ(failed.status, 503);
  EXPECT_EQ(failed.reason, "Service Unavailable");
  EXPECT_EQ(failed.body, "busy");
  EXPECT_EQ(api.Rpc("list_folder", list).status, 200) << "a rule fires once";

  ASSERT_EQ(api.Admin("fail", R"({"endpoint": "/2/files/upload", "nth": 1, "drop": true})").status, 200);
  EXPECT_FALSE(api.Send("upload", R"({"path": "/d.zip"})", "bytes")) << "no response at all";
  EXPECT_FALSE(std::filesystem::exists(server.root() / "d.zip"));
  EXPECT_EQ(server.LogLines().back()["status"], 0);

  // the connection goes while the body is still coming
  ASSERT_EQ(api.Admin("fail", R"({"endpoint": "/2/files/upload", "drop_after_bytes": 1000})").status, 200);
  EXPECT_FALSE(api.Send("upload", R"({"path": "/m.zip"})", std::string(4 << 20, 'm'))) << "no response at all";
  EXPECT_FALSE(std::filesystem::exists(server.root() / "m.zip"));
  EXPECT_EQ(server.LogLines().back()["status"], 0);
  EXPECT_LT(server.LogLines().back()["body_size"].get<long long>(), 4 << 20) << "the body was cut short";

  // a stall sends nothing within a client's patience, then answers as usual
  ASSERT_EQ(api.Admin("fail", R"({"endpoint": "/2/files/list_folder", "stall_seconds": 2})").status, 200);
  httplib::Client impatient("127.0.0.1", server.port());
  impatient.set_read_timeout(1, 0);
  EXPECT_FALSE(impatient.Post("/2/files/list_folder", {{"Authorization", "Bearer test-token"}}, list,
                              "application/json"))
      << "nothing within a second";
  ASSERT_EQ(api.Admin("fail", R"({"endpoint": "/2/files/list_folder", "stall_seconds": 1})").status, 200);
  EXPECT_EQ(api.Rpc("list_folder", list).status, 200) << "a patient client gets the usual answer";
  EXPECT_EQ(server.Stop(), 0);

  FakeCloudServer from_command_line({"--fail", "/2/files/create_folder_v2:1:500"});
  Api other(from_command_line.port());
  EXPECT_EQ(other.Rpc("create_folder_v2", R"({"path": "/x", "autorename": false})").status, 500);
  EXPECT_FALSE(std::filesystem::exists(from_command_line.root() / "x")) << "a failed request does nothing";
}

TEST(FakeCloudTest, TwoHostsEachAnswerOnlyTheirOwnEndpoints) {
  FakeCloudServer server({"--content-port", "0"});
  ASSERT_NE(server.content_port(), server.port());
  Api api(server.port());
  Api content(server.content_port());
  for (const auto& call : kCallsOfBothHosts) {
    Api& right = call.content ? content : api;
    Api& wrong = call.content ? api : content;
    // Other bytes, so that a misrouted upload that stored anything makes the next one a conflict.
    const auto misrouted = Send(wrong, call, "misrouted");
    EXPECT_EQ(misrouted.status, 400) << call.function;
    EXPECT_EQ(misrouted.get_header_value("Content-Type"), "text/plain; charset=utf-8") << call.function;
    EXPECT_TRUE(misrouted.body.starts_with("Error in call to API function \"files/" + call.function + "\": "))
        << misrouted.body;
    const auto routed = Send(right, call, call.body);
    EXPECT_EQ(routed.status, 200) << call.function << " did something on the wrong host: " << routed.body;
  }

  const auto lines = server.LogLines();
  ASSERT_EQ(lines.size(), 2 * std::size(kCallsOfBothHosts)) << "misrouted calls are logged too";
  for (size_t i = 0; i < lines.size(); ++i) {
    const HostCall& call = kCallsOfBothHosts[i / 2];
    const bool misrouted = i % 2 == 0;
    EXPECT_EQ(lines[i]["path"], "/2/files/" + call.function);
    EXPECT_EQ(lines[i]["host"], call.content != misrouted ? "content" : "api") << lines[i];
    EXPECT_EQ(lines[i]["status"], misrouted ? 400 : 200) << lines[i];
  }

  // Either port takes the admin endpoints, which steer the one cloud behind both.
  ASSERT_EQ(content.Admin("fail", R"({"endpoint": "/2/files/list_folder", "status": 503})").status, 200);
  EXPECT_EQ(content.Rpc("list_folder", R"({"path": ""})").status, 400) << "a misrouted call does not trigger a rule";
  EXPECT_EQ(api.Rpc("list_folder", R"({"path": ""})").status, 503);
  EXPECT_EQ(content.AdminLog(), api.AdminLog());
  EXPECT_EQ(server.Stop(), 0) << "SIGTERM stops both hosts cleanly";
}

TEST(FakeCloudTest, OnePortServesTheEndpointsOfBothHosts) {
  FakeCloudServer server;
  EXPECT_EQ(server.content_port(), server.port());
  Api api(server.port());
  for (const auto& call : kCallsOfBothHosts) EXPECT_EQ(Send(api, call, call.body).status, 200) << call.function;
  for (const auto& line : server.LogLines()) EXPECT_FALSE(line.contains("host")) << line;
  EXPECT_EQ(server.Stop(), 0);
}

TEST(FakeCloudTest, AddingTheContentAFileAlreadyHoldsIsNoConflict) {
  FakeCloudServer server;
  Api api(server.port());
  const auto first = api.Content("upload", R"({"path": "/a/B.zip", "client_modified": "2020-01-02T03:04:05Z"})", "same");
  ASSERT_EQ(first.status, 200) << first.body;
  const std::filesystem::path file = server.root() / "a" / "B.zip";
  const auto written = std::filesystem::last_write_time(file);

  const auto finish = [&](const std::string& bytes) {
    const std::string id = Body(api.Content("upload_session/start", R"({"close": false})", bytes))["session_id"];
    return api.Content("upload_session/finish", R"({"cursor": {"session_id": ")" + id + R"(", "offset": )" +
                                                    std::to_string(bytes.size()) +
                                                    R"(}, "commit": {"path": "/A/b.zip", "mode": "add"}})");
  };
  struct Case {
    const char* why;
    std::function<httplib::Response()> send;
    int status;
  };
  const Case cases[] = {
      {"the same bytes", [&] { return api.Content("upload", R"({"path": "/A/b.zip", "mode": "add"})", "same"); }, 200},
      {"the same bytes, autorename on",
       [&] { return api.Content("upload", R"({"path": "/A/b.zip", "autorename": true})", "same"); }, 200},
      {"the same bytes in a session", [&] { return finish("same"); }, 200},
      {"other bytes", [&] { return api.Content("upload", R"({"path": "/A/b.zip"})", "other"); }, 409},
      {"other bytes in a session", [&] { return finish("other"); }, 409},
  };
  for (const auto& c : cases) {
    const auto response = c.send();
    ASSERT_EQ(response.status, c.status) << c.why << ": " << response.body;
    if (c.status == 200) {
      EXPECT_EQ(Body(response), Body(first)) << c.why << ": the file as it was, same id, rev and times";
    } else {
      EXPECT_EQ(Summary(response), "path/conflict/file/..") << c.why;
    }
  }
  EXPECT_EQ(ReadFile(file), "same");
  EXPECT_EQ(std::filesystem::last_write_time(file), written) << "nothing was written over the file";
  EXPECT_EQ(Body(api.Rpc("list_folder", R"({"path": "/a"})"))["entries"].size(), 1u) << "nor next to it";
  EXPECT_EQ(server.Stop(), 0);
}

// TLS on the server's side: a client pinned to TLS 1.2 gets through unless the server
// takes TLS 1.3 only.
TEST(FakeCloudTest, ServesHttpsAndCanRefuseTls12) {
  TempFolder certificates;
  const auto at = [&](const char* name) { return certificates.Path() + name; };
  std::ofstream(at("ext.cnf")) << "subjectAltName=IP:127.0.0.1\n";
  const std::string make =
      "cd " + certificates.Path() +
      " && openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 1 -subj /CN=Test-CA"
      " && openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj /CN=127.0.0.1"
      " && openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 1"
      " -extfile ext.cnf -out server.pem";
  ASSERT_EQ(std::system(("(" + make + ") > /dev/null 2>&1").c_str()), 0);

  const auto list = [&](int port, bool pin_tls12) {
    httplib::SSLClient client("127.0.0.1", port);
    client.set_ca_cert_path(at("ca.pem"));
    client.enable_server_certificate_verification(true);
    if (pin_tls12) {
      SSL_CTX_set_min_proto_version(client.ssl_context(), TLS1_2_VERSION);
      SSL_CTX_set_max_proto_version(client.ssl_context(), TLS1_2_VERSION);
    }
    const auto result = client.Post("/2/files/list_folder", {{"Authorization", "Bearer test-token"}},
                                    R"({"path": ""})", "application/json");
    return result ? result->status : 0;
  };

  FakeCloudServer both({"--cert", at("server.pem"), "--key", at("server.key")});
  EXPECT_EQ(list(both.port(), true), 200);
  EXPECT_EQ(both.LogLines().back()["tls"], "TLSv1.2");
  EXPECT_EQ(list(both.port(), false), 200);
  EXPECT_EQ(both.LogLines().back()["tls"], "TLSv1.3");

  FakeCloudServer tls13({"--cert", at("server.pem"), "--key", at("server.key"), "--tls13-only"});
  EXPECT_EQ(list(tls13.port(), true), 0);
  EXPECT_EQ(list(tls13.port(), false), 200);
  EXPECT_EQ(tls13.Stop(), 0);
}

const std::string kClient = "&client_id=test-app-key&client_secret=test-app-secret";

// A token request's answer: 200 with the access token when `error` is empty, else 400
// with that OAuth 2 error. Returns the answer's body.
json ExpectGrant(const httplib::Response& response, const std::string& error, const std::string& why) {
  const json body = json::parse(response.body, nullptr, /*allow_exceptions=*/false);
  EXPECT_EQ(response.get_header_value("Content-Type"), "application/json") << why << ": " << response.body;
  if (error.empty()) {
    EXPECT_EQ(response.status, 200) << why << ": " << response.body;
    EXPECT_EQ(body.value("token_type", ""), "bearer") << why;
    EXPECT_FALSE(body.value("access_token", "").empty()) << why;
  } else {
    EXPECT_EQ(response.status, 400) << why << ": " << response.body;
    EXPECT_EQ(body.value("error", ""), error) << why << ": " << response.body;
    EXPECT_FALSE(body.value("error_description", "").empty()) << why;
  }
  return body;
}

int ListStatus(int port, const std::string& token) {
  return Api(port, token).Rpc("list_folder", R"({"path": ""})").status;
}

TEST(FakeCloudTest, GrantsShortLivedAccessTokensForARefreshToken) {
  // The refresh token holds what a form must escape, so that decoding shows.
  FakeCloudServer server(
      {"--content-port", "0", "--refresh-token", "rt 1+/=%&", "--access-token-lifetime", "2"});
  Api api(server.port());
  const std::string refresh = "grant_type=refresh_token&refresh_token=rt+1%2B%2F%3D%25%26";
  const char* const form = "application/x-www-form-urlencoded";
  struct Case {
    const char* why;
    std::string form;
    const char* content_type;
    std::string error;  // empty: granted
  };
  const Case cases[] = {
      {"a known refresh token", refresh + kClient, form, ""},
      {"fields in another order, escaped otherwise",
       "client_id=test%2dapp%2dkey&refresh_token=rt%201%2b%2f%3d%25%26&grant_type=refresh_token&client_secret=test-"
       "app-secret",
       "application/x-www-form-urlencoded; charset=utf-8", ""},
      {"a refresh token never handed out", "grant_type=refresh_token&refresh_token=rt+2" + kClient, form, "invalid_grant"},
      {"the refresh token not decoded", "grant_type=refresh_token&refresh_token=rt 1+/=" + kClient, form,
       "invalid_grant"},
      {"a wrong client secret", refresh + "&client_id=test-app-key&client_secret=test-app-secreT", form,
       "invalid_client"},
      {"a wrong client id", refresh + "&client_id=other-app&client_secret=test-app-secret", form, "invalid_client"},
      {"no client secret", refresh + "&client_id=test-app-key", form, "invalid_request"},
      {"no refresh token", "grant_type=refresh_token" + kClient, form, "invalid_request"},
      {"no grant type", "refresh_token=rt+1%2B%2F%3D%25%26" + kClient, form, "invalid_request"},
      {"a field twice", refresh + kClient + "&client_id=test-app-key", form, "invalid_request"},
      {"a bad percent escape", refresh + "%2" + kClient, form, "invalid_request"},
      {"a grant type it does not take", "grant_type=client_credentials" + kClient, form, "unsupported_grant_type"},
      {"JSON, not a form", R"({"grant_type": "refresh_token"})", "application/json", "invalid_request"},
  };
  const auto granted_at = std::chrono::steady_clock::now();
  std::vector<std::string> tokens;
  for (const auto& c : cases) {
    const json body = ExpectGrant(api.Token(c.form, c.content_type), c.error, c.why);
    if (!c.error.empty()) continue;
    EXPECT_EQ(body.size(), 3u) << c.why << ": " << body;
    EXPECT_EQ(body.value("expires_in", 0), 2) << c.why;
    tokens.push_back(body.value("access_token", ""));
  }
  ASSERT_EQ(tokens.size(), 2u);
  EXPECT_NE(tokens[0], tokens[1]) << "each grant makes a token of its own";
  for (const auto& token : tokens) {
    EXPECT_EQ(ListStatus(server.port(), token), 200);
    EXPECT_EQ(Api(server.content_port(), token).Content("upload", R"({"path": "/t/)" + token + R"(.zip"})", token)
                  .status,
              200);
  }

  // Served by the API host only, and open to failure rules as any endpoint.
  httplib::Client content("127.0.0.1", server.content_port());
  const auto misrouted = Api::Answer(content.Post("/oauth2/token", refresh + kClient, form));
  EXPECT_EQ(misrouted.status, 400);
  EXPECT_TRUE(misrouted.body.starts_with("Error in call to API function \"oauth2/token\": ")) << misrouted.body;
  ASSERT_EQ(api.Admin("fail", R"({"endpoint": "/oauth2/token", "status": 503})").status, 200);
  EXPECT_EQ(api.Token(refresh + kClient).status, 503);

  // Counted two ways: the grants, and the log's lines for the path.
  EXPECT_EQ(api.AdminGet("tokens"), json({{"refresh_grants", 2}, {"code_grants", 0}}));
  size_t logged = 0, logged_granted = 0;
  for (const auto& line : server.LogLines()) {
    if (line["path"] != "/oauth2/token") continue;
    ++logged;
    logged_granted += line["status"] == 200;
  }
  EXPECT_EQ(logged, std::size(cases) + 2) << "every token request, the misrouted and the failed ones too";
  EXPECT_EQ(logged_granted, 2);

  std::this_thread::sleep_until(granted_at + std::chrono::milliseconds(2300));
  for (const auto& token : tokens) {
    const auto expired = Api(server.port(), token).Rpc("list_folder", R"({"path": ""})");
    EXPECT_EQ(expired.status, 401);
    EXPECT_EQ(Body(expired), json::parse(R"({"error_summary": "expired_access_token/..",
                                             "error": {".tag": "expired_access_token"}})"));
  }
  EXPECT_EQ(ListStatus(server.port(), "test-token"), 200) << "the long-lived token does not expire";
  const json again = ExpectGrant(api.Token(refresh + kClient), "", "a grant after expiry");
  EXPECT_EQ(ListStatus(server.port(), again.value("access_token", "")), 200);
  EXPECT_EQ(server.Stop(), 0);
}

TEST(FakeCloudTest, RevokingARefreshTokenRefusesItAndTheAccessTokensFromIt) {
  FakeCloudServer server({"--refresh-token", "kept", "--refresh-token", "revoked", "--app-key", "k", "--app-secret",
                          "s"});
  Api api(server.port());
  const auto grant = [&](const std::string& refresh_token) {
    return api.Token("grant_type=refresh_token&refresh_token=" + refresh_token + "&client_id=k&client_secret=s");
  };
  const std::string kept = Body(grant("kept")).value("access_token", "");
  const std::string first = Body(grant("revoked")).value("access_token", "");
  const std::string second = Body(grant("revoked")).value("access_token", "");
  ASSERT_EQ(ListStatus(server.port(), first), 200);

  const auto revoked = api.Admin("revoke", R"({"refresh_token": "revoked"})");
  ASSERT_EQ(revoked.status, 200) << revoked.body;
  EXPECT_EQ(Body(revoked), json({{"revoked_access_tokens", 2}}));
  EXPECT_EQ(api.Admin("revoke", R"({"refresh_token": "never-known"})").status, 404);

  for (const auto& token : {first, second}) {
    const auto refused = Api(server.port(), token).Rpc("list_folder", R"({"path": ""})");
    EXPECT_EQ(refused.status, 401);
    EXPECT_EQ(Summary(refused), "invalid_access_token/..");
  }
  EXPECT_EQ(ListStatus(server.port(), kept), 200) << "another refresh token's access token is untouched";
  const json refused = ExpectGrant(grant("revoked"), "invalid_grant", "the revoked refresh token");
  EXPECT_EQ(refused.value("error_description", ""), "refresh token is invalid or revoked");
  ExpectGrant(grant("kept"), "", "the other refresh token");
  EXPECT_EQ(api.AdminGet("tokens")["refresh_grants"], 4);
  ASSERT_EQ(api.Admin("reset").status, 200);
  EXPECT_EQ(api.AdminGet("tokens"), json({{"refresh_grants", 0}, {"code_grants", 0}})) << "reset clears the counts";
  EXPECT_EQ(ListStatus(server.port(), kept), 200) << "but not the tokens";
  EXPECT_EQ(server.Stop(), 0);
}

TEST(FakeCloudTest, ExchangesEachAuthorizationCodeOnceWithPkce) {
  FakeCloudServer server;
  Api api(server.port());
  // The example pair of RFC 7636, appendix B.
  const std::string verifier = "dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk";
  const std::string challenge = "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM";
  const auto pkce = api.Admin("auth_code", R"({"code": "pkce-code", "code_challenge": ")" + challenge + R"("})");
  ASSERT_EQ(pkce.status, 200) << pkce.body;
  EXPECT_EQ(Body(pkce), json({{"code", "pkce-code"}}));
  ASSERT_EQ(api.Admin("auth_code", R"({"code": "secret-code"})").status, 200);

  const std::string with_pkce = "grant_type=authorization_code&code=pkce-code&client_id=test-app-key";
  const std::string with_secret = "grant_type=authorization_code&code=secret-code&client_id=test-app-key";
  const std::string secret = "&client_secret=test-app-secret";
  struct Case {
    const char* why;
    std::string form;
    std::string error;  // empty: granted
  };
  // In this order: a refused exchange leaves the code as it was.
  const Case cases[] = {
      {"a verifier that does not match", with_pkce + "&code_verifier=" + std::string(43, 'v'), "invalid_grant"},
      {"the secret without the verifier", with_pkce + secret, "invalid_grant"},
      {"a verifier too short to be one", with_pkce + "&code_verifier=short", "invalid_request"},
      {"the right verifier", with_pkce + "&code_verifier=" + verifier, ""},
      {"the same code again", with_pkce + "&code_verifier=" + verifier, "invalid_grant"},
      {"a verifier for a code without a challenge", with_secret + "&code_verifier=" + verifier, "invalid_grant"},
      {"a wrong secret", with_secret + "&client_secret=wrong", "invalid_client"},
      {"neither secret nor verifier", with_secret, "invalid_request"},
      {"the secret", with_secret + secret, ""},
      {"the same code again", with_secret + secret, "invalid_grant"},
      {"a code never handed out", "grant_type=authorization_code&code=made-up&client_id=test-app-key" + secret,
       "invalid_grant"},
  };
  std::vector<json> granted;
  for (const auto& c : cases) {
    const json body = ExpectGrant(api.Token(c.form), c.error, c.why);
    if (c.error.empty()) granted.push_back(body);
  }
  ASSERT_EQ(granted.size(), 2u);
  for (const auto& body : granted) {
    json fixed = body;
    fixed.erase("access_token");
    fixed.erase("refresh_token");
    EXPECT_EQ(fixed, json::parse(R"({"token_type": "bearer", "expires_in": 14400,
                                     "scope": "files.content.write files.content.read", "uid": "1",
                                     "account_id": "dbid:test"})"));
    EXPECT_EQ(ListStatus(server.port(), body.value("access_token", "")), 200);
  }
  EXPECT_NE(granted[0]["refresh_token"], granted[1]["refresh_token"]);

  // A client that proved itself with PKCE holds no secret and refreshes without one.
  const auto refresh = [&](const json& body, const std::string& with) {
    return api.Token("grant_type=refresh_token&client_id=test-app-key&refresh_token=" +
                     body.value("refresh_token", "") + with);
  };
  ExpectGrant(refresh(granted[0], ""), "", "the PKCE client's refresh token, no secret");
  ExpectGrant(refresh(granted[1], ""), "invalid_request", "the secret client's refresh token, no secret");
  ExpectGrant(refresh(granted[1], secret), "", "the secret client's refresh token with its secret");
  EXPECT_EQ(api.AdminGet("tokens"), json({{"refresh_grants", 2}, {"code_grants", 2}}));
  EXPECT_EQ(server.Stop(), 0);
}

TEST(FakeCloudTest, AnswersAWrongContentHashWhenTold) {
  FakeCloudServer server;
  Api api(server.port());
  // Through a session, all but the last byte at the start and that one at the finish.
  const auto finish = [&](const std::string& path, const std::string& bytes) {
    const size_t last = bytes.size() - 1;
    const json started = Body(api.Content("upload_session/start", R"({"close": false})", bytes.substr(0, last)));
    return api.Content("upload_session/finish",
                       R"({"cursor": {"session_id": ")" + started.value("session_id", "") + R"(", "offset": )" +
                           std::to_string(last) + R"(}, "commit": {"path": ")" + path + R"("}})",
                       bytes.substr(last));
  };
  struct Case {
    std::string endpoint;
    std::string rule;                   // members of the failure rule; empty: none
    std::optional<std::string> answered;  // nothing: left out; "real": the stored file's
    size_t size;
  };
  const Case cases[] = {
      {"upload", R"("content_hash": "0000")", "0000", 10},
      {"upload", "", "real", 10},  // the rule fired once
      {"upload", R"("omit_content_hash": true)", std::nullopt, 10},
      {"upload_session/finish", R"("content_hash": "ffff")", "ffff", 10},
      {"upload_session/finish", "", "real", kHashBlock + 1},  // the session's bytes in two hash blocks
      {"upload_session/finish", R"("omit_content_hash": true)", std::nullopt, 10},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    const std::string why = c.endpoint + " " + c.rule;
    if (!c.rule.empty()) {
      ASSERT_EQ(api.Admin("fail", R"({"endpoint": "/2/files/)" + c.endpoint + R"(", )" + c.rule + "}").status, 200);
    }
    std::string bytes(c.size, static_cast<char>('a' + i));
    bytes[0] = static_cast<char>('A' + i);
    const std::string path = "/h/" + std::to_string(i) + ".zip";
    const auto response = c.endpoint == "upload" ? api.Content("upload", R"({"path": ")" + path + R"("})", bytes)
                                                 : finish(path, bytes);
    ASSERT_EQ(response.status, 200) << why << ": " << response.body;
    const json metadata = Body(response);
    EXPECT_EQ(metadata.value("size", 0u), bytes.size()) << why;
    if (!c.answered) {
      EXPECT_FALSE(metadata.contains("content_hash")) << why;
    } else {
      EXPECT_EQ(metadata.value("content_hash", ""), *c.answered == "real" ? ContentHash(bytes) : *c.answered) << why;
    }
    EXPECT_EQ(ReadFile(server.root() / "h" / (std::to_string(i) + ".zip")), bytes) << why << ": stored as usual";
    const json listed = Body(api.Rpc("list_folder", R"({"path": "/h"})"))["entries"].back();
    EXPECT_EQ(listed.value("content_hash", ""), ContentHash(bytes)) << why << ": the service itself knows better";
  }

  const char* const bad_rules[] = {
      R"({"endpoint": "/2/files/download", "content_hash": "0000"})",
      R"({"endpoint": "/2/files/upload", "content_hash": "0000", "status": 200})",
      R"({"endpoint": "/2/files/upload", "content_hash": "0000", "omit_content_hash": true})",
  };
  for (const char* rule : bad_rules) EXPECT_EQ(api.Admin("fail", rule).status, 400) << rule;
  EXPECT_EQ(server.Stop(), 0);
}

}  // namespace

// Smoke tests of the fake storage service: what a client sends and what it gets back.
#include <gtest/gtest.h>
#include <httplib.h>
#include <openssl/sha.h>
#include <openssl/ssl.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>

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
  json AdminLog() { return json::parse(Answer(client_.Get("/__admin/log")).body); }

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

}  // namespace

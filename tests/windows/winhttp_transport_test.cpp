// The WinHTTP transport against the fake cloud, which runs natively on the build machine:
// scripts/windows-cloud-test.sh starts its servers on 127.0.0.1 and tells this test where
// they are. Without them every case is skipped.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cloud/cloud_error.h"
#include "cloud/system_transport.h"
#include "cloud/winhttp_transport.h"
#include "platform/file_stream.h"
#include "platform/sha256.h"
#include "support/temp_folder.h"
#include "support/test_files.h"

namespace nuvexa {
namespace {

using cloud::CloudError;
using cloud::HttpRequest;
using cloud::HttpResponse;
using nlohmann::json;
using ::testing::HasSubstr;

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

std::string UniqueName() {
  std::array<unsigned char, 6> bytes{};
  platform::FillRandom(bytes);
  std::string name = "win-";
  for (const unsigned char b : bytes) name += "0123456789abcdef"[b >> 4], name += "0123456789abcdef"[b & 15];
  return name;
}

// The servers of scripts/windows-cloud-test.sh: `trusted` has a certificate for 127.0.0.1
// from the CA of $NUVEXA_CA_FILE; `unknown-ca` one for 127.0.0.1 from another CA;
// `other-host` one from the CA for another host name; `tls13` is the trusted server's
// twin that takes TLS 1.3 only; `plain` speaks HTTP. Each has its
// root folder and request log under $NUVEXA_TEST_CLOUD_DIR/<name>/. `echo` answers with
// the head of the request it got.
class WinHttpTransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Environment("NUVEXA_TEST_CLOUD_DIR").empty() || Environment("NUVEXA_CA_FILE").empty())
      GTEST_SKIP() << "no fake cloud: run scripts/windows-cloud-test.sh";
  }

  static std::string Url(const char* server, const std::string& path) {
    const std::string variable = std::string("NUVEXA_TEST_") + server + "_URL";
    const std::string base = Environment(variable.c_str());
    if (base.empty()) throw std::runtime_error(variable + " is not set");
    return base + path;
  }
  static std::filesystem::path Folder(const std::string& server) {
    return std::filesystem::path(Environment("NUVEXA_TEST_CLOUD_DIR")) / server;
  }

  static HttpRequest Rpc(const std::string& url, const json& argument) {
    HttpRequest request;
    request.url = url;
    request.headers = {{"Authorization", "Bearer test-token"}, {"Content-Type", "application/json"}};
    request.body = argument.dump();
    request.timeout = std::chrono::milliseconds(30'000);
    return request;
  }
  static HttpRequest Upload(const std::string& url, const std::string& path) {
    HttpRequest request;
    request.url = url;
    request.headers = {{"Authorization", "Bearer test-token"},
                       {"Content-Type", "application/octet-stream"},
                       {"Dropbox-API-Arg", json{{"path", path}, {"mode", "overwrite"}}.dump()}};
    return request;
  }
  // The rule's next request to the trusted server's `endpoint` is answered as it says.
  void Arm(const json& rule) {
    const HttpResponse armed = transport_->Send(Rpc(Url("TRUSTED", "/__admin/fail"), rule));
    ASSERT_EQ(armed.status, 200) << armed.body;
  }
  static json Log(const std::string& server) {
    HttpRequest request;
    request.method = "GET";
    request.url = Url(server.c_str(), "/__admin/log");
    return json::parse(cloud::SystemHttpTransport()->Send(request).body);
  }

  std::unique_ptr<cloud::HttpTransport> transport_ = cloud::SystemHttpTransport();
};

TEST_F(WinHttpTransportTest, AJsonRequestGetsTheAnswerAndTheStatusLineAsSent) {
  const std::string folder = "/" + UniqueName();
  HttpRequest request = Rpc(Url("TRUSTED", "/2/files/create_folder_v2"), {{"path", folder}});

  const HttpResponse created = transport_->Send(request);
  EXPECT_EQ(created.status, 200) << created.body;
  EXPECT_EQ(created.status_line, "HTTP/1.1 200 OK");
  EXPECT_EQ(json::parse(created.body)["metadata"]["path_display"], folder);
  EXPECT_TRUE(std::filesystem::is_directory(Folder("trusted") / "root" / folder.substr(1)));

  const HttpResponse again = transport_->Send(request);
  EXPECT_EQ(again.status, 409);
  EXPECT_EQ(again.status_line, "HTTP/1.1 409 Conflict");
  EXPECT_THAT(again.body, HasSubstr("path/conflict/folder"));

  const json sent = Log("TRUSTED").back();
  EXPECT_EQ(sent["version"], "HTTP/1.1");
  EXPECT_EQ(sent["tls"], "TLSv1.2");
  EXPECT_EQ(sent["body"], request.body);
  EXPECT_EQ(sent["headers"]["Content-Type"], "application/json");
}

TEST_F(WinHttpTransportTest, HeadersGoInTheirOrderAndAnEmptyOneAsItsNameAlone) {
  HttpRequest request;
  request.url = Url("ECHO", "/echo?a=1");
  request.headers = {{"X-Nuvexa-First", "1"}, {"X-Nuvexa-Empty", ""}, {"X-Nuvexa-Last", "two words"}};
  request.body = "x";
  const HttpResponse echoed = transport_->Send(request);
  ASSERT_EQ(echoed.status, 200);
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = echoed.body.find("\r\n", at)) != std::string::npos; at = end + 2)
    lines.push_back(echoed.body.substr(at, end - at));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "POST /echo?a=1 HTTP/1.1");
  std::vector<std::string> ours;
  for (const std::string& line : lines)
    if (line.starts_with("X-Nuvexa-")) ours.push_back(line);
  EXPECT_THAT(ours, ::testing::ElementsAre("X-Nuvexa-First: 1", ::testing::MatchesRegex("X-Nuvexa-Empty: ?"),
                                           "X-Nuvexa-Last: two words"));
}

TEST_F(WinHttpTransportTest, AFileRangeArrivesWholeAndEachPieceIsSeenOnce) {
  const test::TempFolder local;
  // every byte value, so that no text-mode or encoding step can pass unnoticed
  std::string content = test::CompressibleData(700'000, 7);
  for (int i = 0; i < 256; ++i) content[1000 + i] = static_cast<char>(i);
  const platform::InputFile file = platform::InputFile::Open(local.WriteFile("source.bin", content));
  const std::uint64_t offset = 999, length = 654'321;
  const std::string expected = content.substr(offset, length);

  const std::string path = "/" + UniqueName() + "/range.bin";
  HttpRequest request = Upload(Url("TRUSTED", "/2/files/upload"), path);
  std::string seen;
  std::uint64_t next_offset = offset;
  request.body_file = cloud::FileRange{&file, offset, length, [&](std::uint64_t at, std::string_view bytes) {
                                         EXPECT_EQ(at, next_offset);
                                         next_offset = at + bytes.size();
                                         seen.append(bytes);
                                       }};
  const HttpResponse uploaded = transport_->Send(request);
  ASSERT_EQ(uploaded.status, 200) << uploaded.body;
  EXPECT_EQ(json::parse(uploaded.body)["size"], length);
  EXPECT_EQ(seen, expected);

  HttpRequest download;
  download.url = Url("TRUSTED", "/2/files/download");
  download.headers = {{"Authorization", "Bearer test-token"}, {"Dropbox-API-Arg", json{{"path", path}}.dump()}};
  std::string received;
  download.body_sink = [&](std::string_view bytes) { received.append(bytes); };
  const HttpResponse downloaded = transport_->Send(download);
  EXPECT_EQ(downloaded.status, 200);
  EXPECT_TRUE(downloaded.body.empty()) << "a 2xx body goes to the sink";
  EXPECT_EQ(received, expected);
}

TEST_F(WinHttpTransportTest, AServerNotVerifiedOverTls12IsRefusedAndGetsNoBody) {
  struct Case {
    const char* why;
    const char* server;
    std::string ca_file;
  };
  const Case cases[] = {
      {"a certificate for the host from an authority the CA file does not hold", "UNKNOWN_CA",
       Environment("NUVEXA_CA_FILE")},
      {"the CA file of another authority than the one that signed the server", "TRUSTED",
       Environment("NUVEXA_TEST_OTHER_CA_FILE")},
      {"a certificate from the CA made out to another host name", "OTHER_HOST", Environment("NUVEXA_CA_FILE")},
      {"a server that offers TLS 1.3 only", "TLS13", Environment("NUVEXA_CA_FILE")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    std::string server = c.server;
    for (char& ch : server) ch = ch == '_' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    const std::string name = UniqueName();
    HttpRequest request = Upload(Url(c.server, "/2/files/upload"), "/" + name + ".bin");
    request.body = "the pharmacy's data";
    cloud::WinHttpTransport transport(c.ca_file);
    try {
      transport.Send(request);
      ADD_FAILURE() << "no error";
    } catch (const CloudError& error) {
      EXPECT_THAT(error.what(), HasSubstr("certificate"));
    }
    EXPECT_FALSE(std::filesystem::exists(Folder(server) / "root" / (name + ".bin")));
  }
}

TEST_F(WinHttpTransportTest, RedirectsAreFollowedOverHttpsOnlyAndOnlyWhenAsked) {
  struct Case {
    const char* why;
    std::string location;
    bool follow;
    int status;  // 0: refused with CloudError
  };
  const std::string name = UniqueName();
  const Case cases[] = {
      {"to HTTPS, followed", Url("TRUSTED", "/2/files/create_folder_v2"), true, 200},
      {"not followed when the request says so", Url("TRUSTED", "/2/files/create_folder_v2"), false, 307},
      {"to plain HTTP, refused", Url("PLAIN", "/2/files/create_folder_v2"), true, 0},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.why);
    const std::string folder = name + "-" + std::to_string(i);
    Arm({{"endpoint", "/2/files/create_folder_v2"}, {"status", 307}, {"headers", {{"Location", c.location}}}});
    HttpRequest request = Rpc(Url("TRUSTED", "/2/files/create_folder_v2"), {{"path", "/" + folder}});
    request.follow_redirects = c.follow;
    if (c.status == 0) {
      EXPECT_THROW(transport_->Send(request), CloudError);
      continue;
    }
    const HttpResponse response = transport_->Send(request);
    EXPECT_EQ(response.status, c.status) << response.body;
    EXPECT_EQ(std::filesystem::exists(Folder("trusted") / "root" / folder), c.status == 200);
  }
  EXPECT_TRUE(Log("PLAIN").empty()) << "nothing reached the plain-HTTP address";
}

TEST_F(WinHttpTransportTest, AnErrorBodyBeyondTheLimitIsRefused) {
  Arm({{"endpoint", "/2/files/list_folder"}, {"status", 500}, {"body_bytes", cloud::kMaxBufferedResponseBody + 1}});
  try {
    transport_->Send(Rpc(Url("TRUSTED", "/2/files/list_folder"), {{"path", ""}}));
    ADD_FAILURE() << "no error";
  } catch (const CloudError& error) {
    EXPECT_EQ(std::string(error.what()),
              "The response is larger than " + std::to_string(cloud::kMaxBufferedResponseBody) + " bytes and was not read");
  }
}

TEST_F(WinHttpTransportTest, WhatTheCallbacksThrowEndsTheRequest) {
  const test::TempFolder local;
  const platform::InputFile file = platform::InputFile::Open(local.WriteFile("source.bin", std::string(300'000, 'b')));
  const std::string name = UniqueName();
  HttpRequest upload = Upload(Url("TRUSTED", "/2/files/upload"), "/" + name + ".bin");
  upload.body_file = cloud::FileRange{&file, 0, 300'000, [](std::uint64_t at, std::string_view) {
                                        if (at > 0) throw std::logic_error("stop reading");
                                      }};
  EXPECT_THROW(transport_->Send(upload), std::logic_error);
  EXPECT_FALSE(std::filesystem::exists(Folder("trusted") / "root" / (name + ".bin")));

  upload.body_file->on_read = nullptr;
  ASSERT_EQ(transport_->Send(upload).status, 200);
  HttpRequest download;
  download.url = Url("TRUSTED", "/2/files/download");
  download.headers = {{"Authorization", "Bearer test-token"}, {"Dropbox-API-Arg", json{{"path", "/" + name + ".bin"}}.dump()}};
  download.body_sink = [](std::string_view) { throw std::logic_error("stop writing"); };
  EXPECT_THROW(transport_->Send(download), std::logic_error);
}

}  // namespace
}  // namespace nuvexa

// The cloud client against nuvexa-fake-cloud over HTTPS on 127.0.0.1, verified with a CA
// made for the test; what was sent is read back from the server's request log.
#include "cloud/dt_dropbox.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cloud/cloud_error.h"
#include "cloud/curl_transport.h"
#include "platform/date_time.h"
#include "support/fake_cloud_server.h"
#include "support/temp_folder.h"
#include "support/test_files.h"

namespace nuvexa::cloud {
namespace {

using nlohmann::json;
using test::FakeCloudServer;
using test::TempFolder;
using test::TestCertificates;
namespace fs = std::filesystem;

constexpr const char* kOctet = "application/octet-stream";
constexpr const char* kJsonUtf8 = "application/json; charset=utf-8";

std::unique_ptr<TDTDropBox> ClientOf(int port, const std::string& ca_file) {
  const std::string base = "https://127.0.0.1:" + std::to_string(port);
  auto client = std::make_unique<TDTDropBox>(std::make_unique<CurlTransport>(ca_file), CloudHosts{base, base});
  client->SetAccessToken("test-token");
  client->SetTimeout(20);  // bounds every test's wait on the loopback server
  return client;
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteFile(const fs::path& file, const std::string& bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << bytes;
}

// Bytes that differ at every position, so a chunk sent from the wrong offset shows.
std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('A' + (i * 7 + i / 26) % 26);
  return bytes;
}

// What the server logged of one request, as the test compares it.
struct Sent {
  std::string path;
  std::string content_type;
  std::string argument;  // Dropbox-API-Arg, "" when absent
  std::string body;
  bool operator==(const Sent&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Sent& sent) {
  return out << sent.path << " [" << sent.content_type << "] arg=" << sent.argument << " body=" << sent.body;
}

std::vector<Sent> SentRequests(const FakeCloudServer& server) {
  // The headers libcurl adds on its own; the client sets only the other three.
  const std::set<std::string> client_defaults = {"Host", "Accept", "Content-Length", "Expect"};
  const std::set<std::string> ours = {"Authorization", "Content-Type", "Dropbox-API-Arg"};
  std::vector<Sent> sent;
  for (const json& line : server.LogLines()) {
    EXPECT_EQ(line["method"], "POST");
    EXPECT_EQ(line["version"], "HTTP/1.1");
    EXPECT_EQ(line["tls"], "TLSv1.2");
    EXPECT_EQ(line["headers"].value("Authorization", ""), "Bearer test-token");
    for (const auto& [name, value] : line["headers"].items()) {
      EXPECT_TRUE(client_defaults.count(name) + ours.count(name) == 1) << "unexpected header " << name;
    }
    sent.push_back({line["path"], line["headers"].value("Content-Type", ""),
                    line["headers"].value("Dropbox-API-Arg", ""), line.value("body", "")});
    EXPECT_EQ(line["body_size"], sent.back().body.size()) << "bodies in these tests are small enough to log";
  }
  return sent;
}

std::string FinishArgument(const std::string& id, const std::string& offset, const std::string& path) {
  return "{      \"cursor\": {         \"session_id\": \"" + id + "\",         \"offset\": " + offset +
         "     },     \"commit\": {         \"path\": \"" + path +
         "\",         \"mode\": \"add\",         \"autorename\": true,         \"mute\": false,"
         "         \"strict_conflict\": false     }}";
}

class CloudClientTest : public ::testing::Test {
 protected:
  TestCertificates certificates_;
  TempFolder local_;
};

TEST_F(CloudClientTest, SendsEachOperationsRequestByteForByte) {
  FakeCloudServer server(certificates_.ServerArguments());
  auto client = ClientOf(server.port(), certificates_.CaFile());
  const std::string local_file = local_.WriteFile("f.zip", "zip bytes");
  WriteFile(server.root() / "0123" / "old.zip", "old backup");

  TRetorno& created = client->CriarPasta("/0123_new");
  const json folder = json::parse(created.Mensagem);
  EXPECT_EQ(folder["metadata"]["path_display"], "/0123_new") << "Mensagem is the response body";
  EXPECT_EQ(client->LocalizarPastaArquivo("", "0123").StatusCode, 200);
  EXPECT_EQ(json::parse(client->Upload(local_file, "/0123/f.zip").Mensagem)["size"], 9);
  EXPECT_EQ(ReadFile(server.root() / "0123" / "f.zip"), "zip bytes");
  const std::string destination = local_.Path() + "copy.zip";
  EXPECT_EQ(client->Download("/0123/old.zip", destination).Mensagem, "");
  EXPECT_EQ(ReadFile(destination), "old backup");
  EXPECT_EQ(client->DeletarPasta("/0123/old.zip").StatusCode, 200);
  EXPECT_FALSE(fs::exists(server.root() / "0123" / "old.zip"));

  const std::vector<Sent> expected = {
      {"/2/files/create_folder_v2", kJsonUtf8, "", "{\"path\": \"/0123_new\", \"autorename\": false}"},
      {"/2/files/list_folder", "application/json", "", "{ \"path\":\"\"}"},
      {"/2/files/upload", kOctet, "{ \"path\":\"/0123/f.zip\"}", "zip bytes"},
      {"/2/files/download", kOctet, "{ \"path\":\"/0123/old.zip\"}", ""},
      {"/2/files/delete_v2", kJsonUtf8, "", "{ \"path\":\"/0123/old.zip\"}"},
  };
  EXPECT_EQ(SentRequests(server), expected);
}

TEST_F(CloudClientTest, UploadsInASessionChunkByChunkFromTheFile) {
  struct Case {
    const char* why;
    std::size_t size;
    std::int32_t chunk;
    std::vector<std::pair<std::size_t, std::size_t>> appends;  // offset and length of each append
    bool session;
  };
  const Case cases[] = {
      {"250 units in chunks of 100: start, two appends, finish", 250, 100, {{100, 100}, {200, 50}}, true},
      {"200 units in chunks of 100: start, one append, finish", 200, 100, {{100, 100}}, true},
      {"a file of exactly one chunk goes in one simple upload", 100, 100, {}, false},
      {"an empty file with a chunk of 0 goes in one simple upload", 0, 0, {}, false},
  };
  for (const auto& c : cases) {
    FakeCloudServer server(certificates_.ServerArguments());
    auto client = ClientOf(server.port(), certificates_.CaFile());
    const std::string bytes = Pattern(c.size);
    const std::string file = local_.WriteFile("big.zip", bytes);

    TRetorno& result = client->UploadInSession(file, "/0123/f.zip", c.chunk);
    EXPECT_EQ(result.StatusCode, 200) << c.why;
    EXPECT_EQ(json::parse(result.Mensagem)["path_display"], "/0123/f.zip") << c.why;
    EXPECT_EQ(ReadFile(server.root() / "0123" / "f.zip"), bytes) << c.why;

    const std::vector<Sent> sent = SentRequests(server);
    std::vector<Sent> expected;
    if (!c.session) {
      expected.push_back({"/2/files/upload", kOctet, "{ \"path\":\"/0123/f.zip\"}", bytes});
    } else {
      ASSERT_GE(sent.size(), 2u) << c.why;
      const std::string id = json::parse(sent[1].argument)["cursor"]["session_id"];
      expected.push_back({"/2/files/upload_session/start", kOctet, "{\"close\": false}", bytes.substr(0, 100)});
      for (const auto& [offset, length] : c.appends) {
        expected.push_back({"/2/files/upload_session/append_v2", kOctet,
                            "{\"cursor\":{\"session_id\":\"" + id + "\",\"offset\":" + std::to_string(offset) +
                                "},\"close\":false}",
                            bytes.substr(offset, length)});
      }
      expected.push_back({"/2/files/upload_session/finish", kOctet,
                          FinishArgument(id, std::to_string(c.size), "/0123/f.zip"), ""});
    }
    EXPECT_EQ(sent, expected) << c.why;
  }
}

TEST_F(CloudClientTest, AFailedAppendEndsTheSessionUpload) {
  FakeCloudServer server(
      {"--cert", certificates_.ServerCertificate(), "--key", certificates_.ServerKey(), "--fail",
       "/2/files/upload_session/append_v2:2:500"});
  auto client = ClientOf(server.port(), certificates_.CaFile());
  const std::string file = local_.WriteFile("big.zip", Pattern(250));
  try {
    client->UploadInSession(file, "/0123/f.zip", 100);
    ADD_FAILURE() << "the failed append did not raise";
  } catch (const CloudError& error) {
    EXPECT_STREQ(error.what(), "HTTP/1.1 500 Internal Server Error");
  }
  EXPECT_EQ(client->Retorno.StatusCode, 400);
  EXPECT_EQ(client->Retorno.Mensagem, "HTTP/1.1 500 Internal Server Error");
  std::vector<std::string> paths;
  for (const auto& sent : SentRequests(server)) paths.push_back(sent.path);
  EXPECT_EQ(paths, (std::vector<std::string>{"/2/files/upload_session/start", "/2/files/upload_session/append_v2",
                                             "/2/files/upload_session/append_v2"}))
      << "no finish after the failure";
  EXPECT_FALSE(fs::exists(server.root() / "0123" / "f.zip"));

  const std::size_t before = server.LogLines().size();
  for (const std::int32_t chunk : {0, -1}) {
    EXPECT_THROW(client->UploadInSession(file, "/0123/f.zip", chunk), CloudError) << chunk;
  }
  EXPECT_EQ(server.LogLines().size(), before) << "a chunk size that cannot make progress sends nothing";
}

TEST_F(CloudClientTest, ListsAFolderPageByPage) {
  FakeCloudServer server({"--cert", certificates_.ServerCertificate(), "--key", certificates_.ServerKey(),
                          "--page-size", "2"});
  // Files put in by hand are listed with their modification time.
  const fs::file_time_type when = fs::file_time_type::clock::from_sys(
      std::chrono::sys_days(std::chrono::year_month_day(std::chrono::year(2015), std::chrono::month(5),
                                                        std::chrono::day(12))) +
      std::chrono::hours(15) + std::chrono::minutes(50) + std::chrono::seconds(38));
  for (const auto& [name, size] : std::vector<std::pair<std::string, std::size_t>>{
           {"a.zip", 1536}, {"B.zip", 3 * 1048576}, {"d.zip", 0}, {"e\xC3\xA7\xC3\xA3o.zip", 5}}) {
    WriteFile(server.root() / "p" / name, std::string(size, 'x'));
    fs::last_write_time(server.root() / "p" / name, when);
  }
  fs::create_directories(server.root() / "p" / "c");
  auto client = ClientOf(server.port(), certificates_.CaFile());
  client->Retorno.Mensagem = "kept";

  client->ListarArquivosDaPasta("/p");
  std::vector<std::string> names;
  for (const auto& entry : client->ListaArquivos) names.push_back(entry.Nome);
  EXPECT_EQ(names, (std::vector<std::string>{"a.zip", "B.zip", "c", "d.zip", "e\xC3\xA7\xC3\xA3o.zip"}));
  ASSERT_EQ(client->ListaArquivos.size(), 5u);
  const TListaArquivos& file = client->ListaArquivos[0];
  const TListaArquivos& folder = client->ListaArquivos[2];
  const platform::TDateTime stamp = platform::EncodeDateTime({2015, 5, 12}, {15, 50, 38, 0});
  EXPECT_EQ(file.StatusCode, 200);
  EXPECT_EQ(file.Tipo, "file");
  EXPECT_FALSE(file.id.empty());
  EXPECT_EQ(file.bytes, 1536);
  EXPECT_EQ(file.Size, "0.0 MB") << "a listing gives megabytes, also below one";
  EXPECT_EQ(client->ListaArquivos[1].Size, "3.0 MB");
  EXPECT_DOUBLE_EQ(file.client_modified, stamp) << "the service's UTC time, not shifted";
  EXPECT_DOUBLE_EQ(file.server_modified, stamp);
  EXPECT_EQ(folder.Tipo, "folder");
  EXPECT_EQ(folder.Size, "0 MB");
  EXPECT_EQ(folder.bytes, 0);
  EXPECT_EQ(folder.client_modified, 0);

  const std::vector<Sent> sent = SentRequests(server);
  ASSERT_EQ(sent.size(), 3u) << "one list_folder and two continues for 5 entries in pages of 2";
  EXPECT_EQ(sent[0].body, "{ \"path\":\"/p\"}");
  for (const std::size_t page : {1u, 2u}) {
    EXPECT_EQ(sent[page].path, "/2/files/list_folder/continue");
    EXPECT_EQ(sent[page].content_type, "application/json");
    EXPECT_TRUE(std::regex_match(sent[page].body, std::regex(R"(\{ "cursor": "[^"]+"\})"))) << sent[page].body;
  }
  EXPECT_NE(sent[1].body, sent[2].body) << "each page continues from the cursor of the one before";

  struct Lookup {
    const char* name;
    std::int32_t status;
  };
  for (const auto& [name, status] : std::vector<Lookup>{{"A.ZIP", 200},
                                                         {"C", 200},
                                                         {"e\xC3\xA7\xC3\xA3o.ZIP", 200},
                                                         {"E\xC3\x87\xC3\x83O.zip", 300},
                                                         {"f.zip", 300},
                                                         {"", 300}}) {
    EXPECT_EQ(client->LocalizarPastaArquivo("/p", name).StatusCode, status) << name;
  }
  EXPECT_EQ(client->Retorno.Mensagem, "kept") << "neither the listing nor the lookup writes Mensagem";
}

TEST_F(CloudClientTest, AFailedPageEndsTheListingWithAnErrorEntry) {
  FakeCloudServer server({"--cert", certificates_.ServerCertificate(), "--key", certificates_.ServerKey(),
                          "--page-size", "2", "--fail", "/2/files/list_folder/continue:1:503",
                          "--fail", "/2/files/list_folder/continue:2:503"});
  for (const char* name : {"a", "b", "c"}) WriteFile(server.root() / "p" / name, name);
  auto client = ClientOf(server.port(), certificates_.CaFile());
  const std::string message = "HTTP/1.1 503 Service Unavailable";

  EXPECT_THROW(
      {
        try {
          client->ListarArquivosDaPasta("/p");
        } catch (const CloudError& error) {
          EXPECT_EQ(error.what(), message);
          throw;
        }
      },
      CloudError);
  ASSERT_EQ(client->ListaArquivos.size(), 3u);
  EXPECT_EQ(client->ListaArquivos[0].Nome, "a");
  EXPECT_EQ(client->ListaArquivos[1].Nome, "b");
  const TListaArquivos& error = client->ListaArquivos[2];
  EXPECT_EQ(error.StatusCode, 400);
  EXPECT_EQ(error.Mensagem, message);
  EXPECT_EQ(error.Size, "0");
  EXPECT_EQ(error.Nome, "");
  EXPECT_EQ(client->Retorno.StatusCode, 0) << "the listing records its failure in the list only";

  EXPECT_THROW(client->LocalizarPastaArquivo("/p", "a"), CloudError) << "no search in a failed listing";
  EXPECT_EQ(client->Retorno.StatusCode, 400);
  EXPECT_EQ(client->Retorno.Mensagem, message);
}

TEST_F(CloudClientTest, RecordsEachOutcomeInTheSameRetorno) {
  FakeCloudServer server({"--cert", certificates_.ServerCertificate(), "--key", certificates_.ServerKey(),
                          "--fail", "/2/files/create_folder_v2:1:201"});
  auto client = ClientOf(server.port(), certificates_.CaFile());

  TRetorno& first = client->CriarPasta("/x");
  EXPECT_EQ(first.StatusCode, 200) << "201 is a success like 200";
  EXPECT_EQ(first.Mensagem, "");
  ASSERT_EQ(client->CriarPasta("/x").StatusCode, 200);

  struct Failure {
    const char* why;
    std::function<void()> operation;
    std::string message;
  };
  TDTDropBox& c = *client;
  const Failure failures[] = {
      {"a folder that exists", [&] { c.CriarPasta("/X"); }, "HTTP/1.1 409 Conflict"},
      {"deleting a missing path", [&] { c.DeletarPasta("/none"); }, "HTTP/1.1 409 Conflict"},
      {"a wrong token", [&] { c.SetAccessToken("other"); c.DeletarPasta("/x"); }, "HTTP/1.1 401 Unauthorized"},
      // "Bearer" alone is a malformed header, which the service refuses as bad input
      {"an empty token still sends the header", [&] { c.SetAccessToken(""); c.DeletarPasta("/x"); },
       "HTTP/1.1 400 Bad Request"},
      {"a file that cannot be opened", [&] { c.SetAccessToken("test-token"); c.Upload(local_.Path() + "none", "/n"); },
       "Cannot open file \"" + local_.Path() + "none\". No such file or directory"},
  };
  for (const auto& f : failures) {
    try {
      f.operation();
      ADD_FAILURE() << f.why << ": no error";
    } catch (const CloudError& error) {
      EXPECT_EQ(error.what(), f.message) << f.why;
    }
    EXPECT_EQ(client->Retorno.StatusCode, 400) << f.why;
    EXPECT_EQ(client->Retorno.Mensagem, f.message) << f.why;
  }
  EXPECT_EQ(server.LogLines().back()["headers"]["Authorization"], "Bearer");
  TRetorno& again = client->DeletarPasta("/x");
  EXPECT_EQ(&again, &first) << "every operation returns the one Retorno";
  EXPECT_EQ(again.StatusCode, 200) << "a request after failures stands on its own";
}

TEST_F(CloudClientTest, TransportAndTlsFailuresCarryTheTransportsMessage) {
  const int closed_port = [] {
    FakeCloudServer gone;
    return gone.port();
  }();
  FakeCloudServer tls13({"--cert", certificates_.ServerCertificate(), "--key", certificates_.ServerKey(),
                         "--tls13-only"});
  FakeCloudServer good(certificates_.ServerArguments());
  struct Case {
    const char* why;
    int port;
    std::string ca_file;
    const char* message_part;
  };
  const Case cases[] = {
      {"nothing listens on the port", closed_port, certificates_.CaFile(), "onnect"},
      {"the server offers TLS 1.3 only", tls13.port(), certificates_.CaFile(), "SSL"},
      {"a certificate that the CA did not sign", good.port(), certificates_.OtherCaFile(), "certificate"},
  };
  for (const auto& c : cases) {
    auto client = ClientOf(c.port, c.ca_file);
    try {
      client->CriarPasta("/t");
      ADD_FAILURE() << c.why << ": no error";
    } catch (const CloudError& error) {
      EXPECT_EQ(client->Retorno.StatusCode, 400) << c.why;
      EXPECT_EQ(client->Retorno.Mensagem, error.what()) << c.why;
      EXPECT_NE(client->Retorno.Mensagem.find(c.message_part), std::string::npos) << c.why << ": " << error.what();
    }
  }
  EXPECT_TRUE(tls13.LogLines().empty());
  EXPECT_TRUE(good.LogLines().empty());
  EXPECT_FALSE(fs::exists(good.root() / "t"));
}

TEST_F(CloudClientTest, ARedirectIsFollowedOverHttpsOnly) {
  FakeCloudServer plain;  // no certificate: plain HTTP, where the token would travel in the clear
  const std::string target = "http://127.0.0.1:" + std::to_string(plain.port()) + "/2/files/create_folder_v2";
  FakeCloudServer server(certificates_.ServerArguments());
  const std::string rule = json{{"endpoint", "/2/files/create_folder_v2"}, {"status", 307},
                                {"headers", {{"Location", target}}}}.dump();
  ASSERT_EQ(test::RunCommand("curl -sS --cacert '" + certificates_.CaFile() + "' -X POST -d '" + rule +
                             "' https://127.0.0.1:" + std::to_string(server.port()) + "/__admin/fail")
                .status,
            0);
  auto client = ClientOf(server.port(), certificates_.CaFile());
  EXPECT_THROW(client->CriarPasta("/redirected"), CloudError);
  EXPECT_EQ(client->Retorno.StatusCode, 400);
  EXPECT_TRUE(plain.LogLines().empty()) << "nothing reached the plain-HTTP address";
}

TEST_F(CloudClientTest, ClearFolderDeletesTheOldestBeyondTheLimits) {
  FakeCloudServer server(certificates_.ServerArguments());
  // Five entries of 400 units, a day apart; named so the listing's order is not their age.
  const std::vector<std::string> newest_first = {"c.zip", "a.zip", "e.zip", "b.zip", "d.zip"};
  const auto today = fs::file_time_type::clock::now();
  for (std::size_t age = 0; age < newest_first.size(); ++age) {
    WriteFile(server.root() / "12345" / newest_first[age], std::string(400, 'x'));
    fs::last_write_time(server.root() / "12345" / newest_first[age], today - std::chrono::hours(24 * age));
  }
  auto client = ClientOf(server.port(), certificates_.CaFile());
  client->SetQtdMinArquivos(3);
  client->SetQtdMaxArquivos(19);
  client->SetTamMaxArquivos(750);

  const TClearFolder result = client->ClearFolder("12345");
  EXPECT_EQ(result.StatusCode, 200);
  EXPECT_EQ(result.Mensagem, "");
  EXPECT_EQ(result.QtdAnterior, 5);
  EXPECT_EQ(result.QtdAtual, 3);
  EXPECT_EQ(result.TamanhoAnterior, 2000);
  EXPECT_EQ(result.TamanhoAtual, 1200);
  std::vector<std::string> deleted;
  for (const auto& sent : SentRequests(server)) {
    if (sent.path == "/2/files/delete_v2") deleted.push_back(sent.body);
  }
  EXPECT_EQ(deleted, (std::vector<std::string>{"{ \"path\":\"/12345/b.zip\"}", "{ \"path\":\"/12345/d.zip\"}"}));
  for (const auto& name : newest_first) {
    EXPECT_EQ(fs::exists(server.root() / "12345" / name), name != "b.zip" && name != "d.zip") << name;
  }

  const std::size_t before = server.LogLines().size();
  for (const char* root : {"", "/"}) {
    try {
      client->ClearFolder(root);
      ADD_FAILURE() << "the root folder was trimmed";
    } catch (const CloudError& error) {
      EXPECT_STREQ(error.what(), "Não foi informada nenhuma pasta ou informada a pasta raiz");
    }
  }
  EXPECT_EQ(server.LogLines().size(), before) << "nothing is listed or deleted";
}

TEST_F(CloudClientTest, DownloadReplacesTheTargetOnlyWhenTheWholeFileArrived) {
  FakeCloudServer server(certificates_.ServerArguments());
  WriteFile(server.root() / "d" / "new.zip", "new bytes");
  WriteFile(server.root() / "d" / "empty.zip", "");
  auto client = ClientOf(server.port(), certificates_.CaFile());
  const std::string target = local_.WriteFile("target.zip", "old bytes, longer than the new");

  EXPECT_THROW(client->Download("/d/missing.zip", target), CloudError);
  EXPECT_EQ(client->Retorno.Mensagem, "HTTP/1.1 409 Conflict");
  EXPECT_EQ(ReadFile(target), "old bytes, longer than the new") << "a failed download leaves the target";

  EXPECT_EQ(client->Download("/d/new.zip", target).StatusCode, 200);
  EXPECT_EQ(ReadFile(target), "new bytes");
  const std::string empty = local_.Path() + "empty.zip";
  EXPECT_EQ(client->Download("/d/empty.zip", empty).StatusCode, 200);
  EXPECT_TRUE(fs::exists(empty));
  EXPECT_EQ(fs::file_size(empty), 0u);
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(local_.Path())) left.push_back(entry.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"empty.zip", "target.zip"})) << "no partial file stays behind";
}

}  // namespace
}  // namespace nuvexa::cloud

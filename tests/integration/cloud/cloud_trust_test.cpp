// Whole cycles in process that must not record a backup the cloud does not hold: the content
// hash of every upload checked, and access through short-lived tokens that expire and renew.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/cloud_cycle.h"
#include "support/test_files.h"

namespace nuvexa {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

constexpr const char* kRefreshToken = "rt-farmacia-1";
constexpr const char* kWrongHash = "0000000000000000000000000000000000000000000000000000000000000000";

class CloudTrust : public test::CloudCycleTest {
 protected:
  // Access through the refresh token alone, with access tokens that live `lifetime_s`.
  void UseShortLivedTokens(int lifetime_s) {
    std::vector<std::string> arguments = certificates_.ServerArguments();
    arguments.insert(arguments.end(), {"--refresh-token", kRefreshToken, "--access-token-lifetime",
                                       std::to_string(lifetime_s), "--token", "only-for-the-admin"});
    StartCloud(arguments);
    environment_.Set("NUVEXA_CLOUD_REFRESH_TOKEN", kRefreshToken);
    environment_.Set("NUVEXA_CLOUD_APP_KEY", "test-app-key");
    environment_.Set("NUVEXA_CLOUD_APP_SECRET", "test-app-secret");
    environment_.Set("NUVEXA_CLOUD_TOKEN", "a-long-lived-token-the-cloud-no-longer-takes");
    NewModule();
  }
  int RefreshGrants() const { return Admin("tokens")["refresh_grants"].get<int>(); }
  // An archive one byte over a single request's limit, for a session of a start, an append
  // and a finish.
  std::string SessionSizedArchive() const {
    const std::string archive = installation_.Folder() + "NuvexaDrovana_10122026_1030.zip";
    std::ofstream(archive).close();
    fs::resize_file(archive, 149'000'001);
    return archive;
  }
  // The session's requests to the cloud, as "path status".
  std::vector<std::string> SessionRequests() const {
    std::vector<std::string> requests;
    for (const auto& line : cloud_->LogLines()) {
      const std::string path = line["path"].get<std::string>();
      if (path.starts_with("/2/files/upload_session/"))
        requests.push_back(path.substr(24) + " " + std::to_string(line["status"].get<int>()) + " " +
                           line["headers"].value("Dropbox-API-Arg", "").substr(0, 80));
    }
    return requests;
  }
};

TEST_F(CloudTrust, ACloudCopyWhoseHashDiffersIsNoBackupForASimpleUploadOrASession) {
  Arm({{"endpoint", "/2/files/upload"}, {"content_hash", kWrongHash}});
  module_->RunCycleNow();
  const std::vector<std::string> messages = installation_.LogMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_THAT(messages[0], StartsWith("A cópia na nuvem de /" + std::string(kCompanyFolder) + "/"));
  EXPECT_THAT(messages[0], HasSubstr("não confere com o arquivo: content_hash " + std::string(kWrongHash)));
  EXPECT_EQ(LastBackup(), "<null>");

  module_->CarregarParametrosConexao("SYSDBA", test::kSysdbaPassword);
  const std::string archive = SessionSizedArchive();
  for (const nlohmann::json& rule :
       {nlohmann::json{{"endpoint", "/2/files/upload_session/finish"}, {"content_hash", kWrongHash}},
        nlohmann::json{{"endpoint", "/2/files/upload_session/finish"}, {"omit_content_hash", true}}}) {
    SCOPED_TRACE(rule.dump());
    Arm(rule);
    EXPECT_FALSE(module_->Upload(kCompanyFolder, archive));
    EXPECT_EQ(LastBackup(), "<null>");
    EXPECT_THAT(installation_.LogMessages().back(), HasSubstr("A cópia na nuvem de /"));
  }
  EXPECT_TRUE(module_->Upload(kCompanyFolder, archive)) << "the true hash passes";
  EXPECT_NE(LastBackup(), "<null>");
}

TEST_F(CloudTrust, CyclesAFewSecondsApartEachGetOneShortLivedTokenAndRecord) {
  UseShortLivedTokens(2);
  for (int cycle = 1; cycle <= 3; ++cycle) {
    SCOPED_TRACE(cycle);
    pharmacy_->RunSql("UPDATE PADRAO SET NUVEXAULTIMOBACKUP = NULL;");
    if (fs::exists(CloudFolder())) fs::remove_all(CloudFolder());  // archives of one minute share a name
    module_->RunCycleNow();
    EXPECT_FALSE(fs::exists(installation_.Folder() + "Nuvexa.log")) << ::testing::PrintToString(installation_.LogMessages());
    EXPECT_EQ(LastBackup(), ThisCycle());
    EXPECT_TRUE(fs::exists(Uploaded()));
    EXPECT_EQ(RefreshGrants(), cycle) << "one token request a cycle";
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // the token is gone by the next one
  }
}

TEST_F(CloudTrust, ATokenThatExpiresInTheMiddleOfASessionIsRenewedOnceAndTheSessionGoesOnAtItsOffset) {
  UseShortLivedTokens(2);
  module_->CarregarParametrosConexao("SYSDBA", test::kSysdbaPassword);
  const std::string archive = SessionSizedArchive();
  // held long enough for the token it carries to expire before the cloud looks at it
  Arm({{"endpoint", "/2/files/upload_session/append_v2"}, {"stall_seconds", 3}});

  EXPECT_TRUE(module_->Upload(kCompanyFolder, archive));
  EXPECT_THAT(installation_.LogMessages(), IsEmpty());
  EXPECT_EQ(RefreshGrants(), 2) << "the first token, and one renewal";
  const std::string at_offset = R"({"cursor": {"session_id": ")";
  const std::vector<std::string> requests = SessionRequests();
  ASSERT_EQ(requests.size(), 4u) << ::testing::PrintToString(requests);
  EXPECT_THAT(requests[0], StartsWith("start 200"));
  EXPECT_THAT(requests[1], StartsWith("append_v2 401"));
  EXPECT_THAT(requests[2], StartsWith("append_v2 200"));
  EXPECT_EQ(requests[1].substr(14), requests[2].substr(14)) << "the same session at the same offset";
  EXPECT_THAT(requests[3], StartsWith("finish 200"));
  EXPECT_EQ(fs::file_size(CloudFolder() / "NuvexaDrovana_10122026_1030.zip"), 149'000'001u);
  EXPECT_NE(LastBackup(), "<null>");
}

TEST_F(CloudTrust, ARevokedRefreshTokenSaysToAuthoriseAgainAndRecordsNothing) {
  UseShortLivedTokens(60);
  Admin("revoke", {{"refresh_token", kRefreshToken}});
  module_->RunCycleNow();
  EXPECT_THAT(installation_.LogMessages(),
              ElementsAre("O acesso à nuvem precisa ser autorizado de novo: execute nuvexa -AUTHORIZE (a nuvem "
                          "recusou o token de renovação: invalid_grant)"));
  EXPECT_EQ(LastBackup(), "<null>");
  EXPECT_FALSE(fs::exists(Uploaded()));
  for (const std::string& secret : {std::string(kRefreshToken), std::string("only-for-the-admin")}) {
    EXPECT_THAT(test::ReadFileBytes(installation_.Folder() + "Nuvexa.log"), ::testing::Not(HasSubstr(secret)));
  }
}

}  // namespace
}  // namespace nuvexa

// What the service leaves where others may look: no secret in the log, on standard output or
// standard error (the journal's source), whatever fails; no backup, archive or log that
// another user of the machine can read.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "child_process.h"
#include "support/cloud_cycle.h"
#include "support/test_files.h"

namespace nuvexa {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kToken = "sl.Priv4te-Bearer-T0ken-9f8e7d";
constexpr const char* kWrongCentralPassword = "Wr0ng-Central-Pass";
// The local passwords built into the service, the central's, and the test server's.
const std::vector<std::string> kSecrets = {kToken, kWrongCentralPassword, "cobweb", "quindowel", "Rm54tq8W"};

class Privacy : public test::CloudCycleTest {
 protected:
  void SetUp() override {
    test::CloudCycleTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    std::vector<std::string> arguments = certificates_.ServerArguments();
    arguments.insert(arguments.end(), {"--token", kToken});
    StartCloud(arguments);
    environment_.Set("NUVEXA_CLOUD_TOKEN", kToken);
    fs::copy_file(test::NuvexaBinary(), installation_.Folder() + "nuvexa");
  }
  test::ChildResult RunOnce() const {
    return test::RunToEnd(installation_.Folder() + "nuvexa", {"-ONCE"}, {}, output_.Path());
  }
  // Whether another user of the machine can read the file: its own mode, or a folder on the way.
  static bool OthersCanRead(const fs::path& file) {
    struct stat st{};
    if (::stat(file.c_str(), &st) == 0 && (st.st_mode & S_IROTH) == 0) return false;
    for (fs::path folder = file.parent_path(); folder != folder.root_path(); folder = folder.parent_path()) {
      if (::stat(folder.c_str(), &st) == 0 && (st.st_mode & S_IXOTH) == 0) return false;
    }
    return true;
  }

  test::TempFolder output_;
};

TEST_F(Privacy, NoSecretReachesTheLogOrTheStandardStreamsWhateverFails) {
  struct Case {
    const char* why;
    std::function<void(Privacy&)> fault;
  } const cases[] = {
      {"the cloud refuses the token", [](Privacy& t) { t.Arm({{"endpoint", "/2/files/upload"}, {"status", 401}}); }},
      {"the central refuses the password",
       [](Privacy& t) { t.environment_.Set("NUVEXA_CENTRAL_PASSWORD", kWrongCentralPassword); }},
      {"a token with a line break",
       [](Privacy& t) { t.environment_.Set("NUVEXA_CLOUD_TOKEN", std::string(kToken) + "\r\nX-Extra: 1"); }},
      {"the local database cannot be opened with either password",
       [](Privacy& t) { t.installation_.WriteSettings({"Servidor=localhost", "Caminho=/nowhere/QUORVO.FDB"}); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    fs::remove(installation_.Folder() + "Nuvexa.log");
    pharmacy_->RunSql("UPDATE PADRAO SET NUVEXAULTIMOBACKUP = NULL;");  // due again
    c.fault(*this);
    const test::ChildResult run = RunOnce();
    const std::string log = test::ReadFileBytes(installation_.Folder() + "Nuvexa.log");
    EXPECT_FALSE(log.empty()) << "the fault was logged";
    for (const std::string& secret : kSecrets) {
      EXPECT_THAT(log, Not(HasSubstr(secret)));
      EXPECT_THAT(run.out, Not(HasSubstr(secret)));
      EXPECT_THAT(run.err, Not(HasSubstr(secret)));
    }
    environment_.Set("NUVEXA_CENTRAL_PASSWORD", test::kSysdbaPassword);
    environment_.Set("NUVEXA_CLOUD_TOKEN", kToken);
    installation_.WriteSettings({"Servidor=localhost", "Caminho=" + pharmacy_->Path()});
  }
}

TEST_F(Privacy, NeitherTheRefreshTokenNorTheAccessTokensItGetsAreShown) {
  constexpr const char* kRefreshToken = "rt-Priv4te-Refresh-77aa";
  std::vector<std::string> arguments = certificates_.ServerArguments();
  arguments.insert(arguments.end(),
                   {"--token", kToken, "--refresh-token", kRefreshToken, "--access-token-lifetime", "1"});
  StartCloud(arguments);
  environment_.Set("NUVEXA_CLOUD_REFRESH_TOKEN", kRefreshToken);
  environment_.Set("NUVEXA_CLOUD_APP_KEY", "test-app-key");
  environment_.Set("NUVEXA_CLOUD_APP_SECRET", "test-app-secret");
  struct Case {
    const char* why;
    std::function<void(Privacy&)> fault;
  } const cases[] = {
      {"the upload fails after tokens were granted",
       [](Privacy& t) { t.Arm({{"endpoint", "/2/files/upload"}, {"status", 500}}); }},
      {"the refresh token is revoked", [&](Privacy& t) { t.Admin("revoke", {{"refresh_token", kRefreshToken}}); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    fs::remove(installation_.Folder() + "Nuvexa.log");
    pharmacy_->RunSql("UPDATE PADRAO SET NUVEXAULTIMOBACKUP = NULL;");
    c.fault(*this);
    const test::ChildResult run = RunOnce();
    const std::string log = test::ReadFileBytes(installation_.Folder() + "Nuvexa.log");
    EXPECT_FALSE(log.empty()) << "the fault was logged";
    std::vector<std::string> secrets = {kRefreshToken, "test-app-secret"};
    for (const auto& line : cloud_->LogLines()) {
      const std::string bearer = line["headers"].value("Authorization", "");
      if (bearer.starts_with("Bearer ")) secrets.push_back(bearer.substr(7));
    }
    EXPECT_GT(secrets.size(), 2u) << "access tokens were granted and used";
    for (const std::string& secret : secrets) {
      EXPECT_THAT(log, Not(HasSubstr(secret)));
      EXPECT_THAT(run.out, Not(HasSubstr(secret)));
      EXPECT_THAT(run.err, Not(HasSubstr(secret)));
    }
  }
}

TEST_F(Privacy, BackupsArchivesAndTheLogAreNotForOtherUsers) {
  struct Run {
    const char* why;
    const char* cloud_switch;
    const char* kept;  // what the pharmacy's folder keeps
  } const runs[] = {{"the cloud copy off", "'Y'", ".fbk"}, {"the cloud copy on", "NULL", ".zip"}};
  for (const Run& r : runs) {
    SCOPED_TRACE(r.why);
    pharmacy_->RunSql(std::string("UPDATE PADRAO SET NUVEXAULTIMOBACKUP = NULL, NUVEXADESATIVAR = ") + r.cloud_switch +
                      ";");
    Arm({{"endpoint", "/2/files/upload"}, {"status", 500}});  // with the cloud copy on, the log gets a line
    RunOnce();
    std::vector<fs::path> files;
    if (fs::exists(installation_.Folder() + "Nuvexa.log")) files.push_back(installation_.Folder() + "Nuvexa.log");
    for (const char* folder : {"BACKUP DROVANA", "BACKUP RECEITA DIGITAL"}) {
      for (const auto& entry : fs::directory_iterator(installation_.Folder() + folder)) files.push_back(entry.path());
    }
    EXPECT_TRUE(std::any_of(files.begin(), files.end(), [&](const fs::path& f) {
      return f.parent_path().filename() == "BACKUP DROVANA" && f.extension() == r.kept;
    })) << r.kept;
    for (const fs::path& file : files) EXPECT_FALSE(OthersCanRead(file)) << file;
  }
}

}  // namespace
}  // namespace nuvexa

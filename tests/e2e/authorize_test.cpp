// nuvexa -AUTHORIZE as a person runs it at the terminal: the address printed, the code pasted,
// the refresh token written into the service's environment file and nowhere else.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "child_process.h"
#include "support/fake_cloud_server.h"
#include "support/installation.h"
#include "support/temp_folder.h"
#include "support/test_files.h"

namespace nuvexa {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kOtherLines = "NUVEXA_CENTRAL_SERVER=10.0.0.5/3051\n# kept as it is\nNUVEXA_CLOUD_REFRESH_TOKEN=old\n";

class Authorize : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy_file(test::NuvexaBinary(), folder_.Path() + "nuvexa");
    std::ofstream(EnvFile(), std::ios::binary) << kOtherLines;
    ::chmod(EnvFile().c_str(), 0644);
  }
  std::string EnvFile() const { return folder_.Path() + "nuvexa.env"; }
  std::unique_ptr<test::ChildProcess> Start() const {
    const std::string api = "https://127.0.0.1:" + std::to_string(cloud_.port());
    return std::make_unique<test::ChildProcess>(
        folder_.Path() + "nuvexa", std::vector<std::string>{"-AUTHORIZE"},
        test::ChildProcess::Environment{{"NUVEXA_CLOUD_API_URL", api},
                                        {"NUVEXA_CA_FILE", certificates_.CaFile()},
                                        {"NUVEXA_ENV_FILE", EnvFile()},
                                        {"NUVEXA_CLOUD_APP_KEY", "test-app-key"},
                                        {"NUVEXA_CLOUD_APP_SECRET", "test-app-secret"}},
        output_.Path());
  }
  // A POST to the fake cloud: its answer.
  std::string Post(const std::string& path, const std::string& arguments) const {
    return test::RunCommand("curl -sS --cacert '" + certificates_.CaFile() + "' " + arguments + " https://127.0.0.1:" +
                            std::to_string(cloud_.port()) + path)
        .output;
  }
  // The challenge in the address the child printed, once it has printed it.
  std::string PrintedChallenge(const test::ChildProcess& child) const {
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < end) {
      const std::string out = child.Stdout();
      const std::size_t at = out.find("code_challenge=");
      if (at != std::string::npos && out.find("code_challenge_method=S256", at) != std::string::npos)
        return out.substr(at + 15, out.find('&', at) - at - 15);
      std::this_thread::sleep_for(20ms);
    }
    return "";
  }
  mode_t Mode() const {
    struct stat st{};
    ::stat(EnvFile().c_str(), &st);
    return st.st_mode & 07777;
  }

  test::TempFolder folder_;
  test::TempFolder output_;
  test::TestCertificates certificates_;
  test::FakeCloudServer cloud_{certificates_.ServerArguments()};
};

TEST_F(Authorize, ThePastedCodeBecomesARefreshTokenInTheEnvironmentFileAndNowhereElse) {
  const auto nuvexa = Start();
  const std::string challenge = PrintedChallenge(*nuvexa);
  ASSERT_FALSE(challenge.empty()) << nuvexa->Stdout() << nuvexa->Stderr();
  EXPECT_THAT(nuvexa->Stdout(), HasSubstr("https://www.dropbox.com/oauth2/authorize?client_id=test-app-key"
                                          "&response_type=code&token_access_type=offline&code_challenge="));
  Post("/__admin/auth_code", "-H 'Content-Type: application/json' -d '" +
                                  nlohmann::json{{"code", "the-pasted-code"}, {"code_challenge", challenge}}.dump() + "'");
  nuvexa->WriteStdin("  the-pasted-code \n");
  ASSERT_EQ(nuvexa->WaitExit(30s), 0) << nuvexa->Stderr();

  const std::string text = test::ReadFileBytes(EnvFile());
  const std::string kept = "NUVEXA_CENTRAL_SERVER=10.0.0.5/3051\n# kept as it is\nNUVEXA_CLOUD_REFRESH_TOKEN=";
  ASSERT_TRUE(text.starts_with(kept)) << text;
  ASSERT_TRUE(text.ends_with("\n"));
  const std::string refresh_token = text.substr(kept.size(), text.size() - kept.size() - 1);
  EXPECT_NE(refresh_token, "old");
  EXPECT_EQ(Mode(), 0600u);
  EXPECT_THAT(nuvexa->Stdout(), Not(HasSubstr(refresh_token)));
  EXPECT_THAT(nuvexa->Stderr(), Not(HasSubstr(refresh_token)));
  // the token works: the service will get access tokens with it
  EXPECT_THAT(Post("/oauth2/token", "-d grant_type=refresh_token -d refresh_token=" + refresh_token +
                                        " -d client_id=test-app-key -d client_secret=test-app-secret"),
              HasSubstr("\"access_token\""));
}

TEST_F(Authorize, AnEmptyOrRefusedCodeLeavesTheFileAsItWasAndSaysSo) {
  struct Case {
    const char* why;
    const char* typed;
    const char* said;
  } const cases[] = {
      {"nothing typed", "\n", "O acesso à nuvem não foi autorizado: nenhum código foi informado."},
      {"a code the cloud does not know", "not-a-code\n",
       "O acesso à nuvem não foi autorizado: A nuvem recusou o código de autorização (invalid_grant)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    const auto nuvexa = Start();
    nuvexa->WriteStdin(c.typed);
    EXPECT_EQ(nuvexa->WaitExit(30s), 1);
    EXPECT_THAT(nuvexa->Stderr(), HasSubstr(c.said));
    EXPECT_EQ(test::ReadFileBytes(EnvFile()), kOtherLines);
    EXPECT_EQ(Mode(), 0644u) << "not touched at all";
  }
}

}  // namespace
}  // namespace nuvexa

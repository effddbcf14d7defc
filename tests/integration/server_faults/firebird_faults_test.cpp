// Whole cycles in process while the local Firebird server goes away: stopped before a cycle,
// killed in the middle of a backup. These stop the shared server: nothing else runs meanwhile.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/cloud_cycle.h"
#include "support/firebird_server.h"
#include "support/test_files.h"

namespace nuvexa {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

void Server(const std::string& what) {
  const test::CommandResult result =
      test::RunCommand("bash '" NUVEXA_FIREBIRD_SCRIPT "' " + what);
  if (result.status != 0) throw std::runtime_error("firebird.sh " + what + " failed: " + result.output);
}

// Waits until the server answers again (its guard restarts it after a crash).
bool ServerAnswersWithin(std::chrono::seconds patience) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while (std::chrono::steady_clock::now() < deadline) {
    if (test::FirebirdAnswers()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return false;
}

// Whatever a test does, the server runs again when it ends.
class ServerRestored {
 public:
  ~ServerRestored() {
    try {
      Server("start");
    } catch (const std::exception&) {
      // the next test reports a server that does not answer
    }
  }
};

// The backup files and archives in a folder.
std::vector<std::string> BackupsIn(const std::string& folder) {
  std::vector<std::string> names;
  if (!fs::exists(folder)) return names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string extension = entry.path().extension().string();
    if (extension == ".fbk" || extension == ".zip") names.push_back(entry.path().filename().string());
  }
  return names;
}

class FirebirdFaults : public test::CloudCycleTest {
 protected:
  std::string DrovanaFolder() const { return installation_.Folder() + "BACKUP DROVANA/"; }

  ServerRestored restored_;
};

TEST_F(FirebirdFaults, AServerStoppedBeforeACycleIsOneLogLineAndTheNextCycleRecovers) {
  KeepEarlierArchives();
  Server("stop");
  module_->RunCycleNow();
  Server("start");

  EXPECT_EQ(module_->LogEntriesWritten(), 1);
  EXPECT_THAT(installation_.LogMessages(), ElementsAre("Falha na conexão com o banco de dados!!!"));
  EXPECT_EQ(LastBackup(), "<null>");
  EXPECT_EQ(BackupsIn(DrovanaFolder()), std::vector<std::string>{"NuvexaDrovana_01122026_1000.zip"});
  ExpectEarlierArchivesKept();

  ExpectTheNextCycleRecovers();
}

TEST_F(FirebirdFaults, AServerKilledDuringTheBackupLeavesNoBackupAndTheNextCycleRecovers) {
  // rows enough for the backup to last while the test kills the server
  pharmacy_->RunSql(
      "CREATE TABLE LASTRO (T VARCHAR(40));\nCOMMIT;\nSET TERM ^;\n"
      "EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < 400000) DO BEGIN "
      "INSERT INTO LASTRO VALUES (UUID_TO_CHAR(GEN_UUID())); I = I + 1; END END^\nSET TERM ;^");
  KeepEarlierArchives();

  std::atomic<bool> killed = false;
  std::atomic<bool> done = false;
  std::thread killer([&] {
    // once the archive holds the first blocks of the backup file that the server still writes
    while (!done) {
      for (const std::string& name : BackupsIn(DrovanaFolder())) {
        std::error_code error;
        if (name.ends_with(".zip") && name != "NuvexaDrovana_01122026_1000.zip" &&
            fs::file_size(DrovanaFolder() + name, error) > 4096 && !error) {
          test::RunCommand("pkill -9 -u firebird -x firebird");
          killed = true;
          return;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  module_->RunCycleNow();
  done = true;
  killer.join();
  ASSERT_TRUE(killed) << "the backup ended before the server could be killed";
  ASSERT_TRUE(ServerAnswersWithin(std::chrono::seconds(30))) << "the server's guard did not start it again";

  EXPECT_GE(module_->LogEntriesWritten(), 1);
  EXPECT_EQ(LastBackup(), "<null>");
  EXPECT_EQ(BackupsIn(DrovanaFolder()), std::vector<std::string>{"NuvexaDrovana_01122026_1000.zip"})
      << "no part of the broken backup is left to pass for one";
  EXPECT_FALSE(fs::exists(CloudFolder() / fs::path(LocalArchive()).filename())) << "nothing was uploaded";
  ExpectEarlierArchivesKept();

  ExpectTheNextCycleRecovers();
}

}  // namespace
}  // namespace nuvexa

// Whole cycles in process while the machine itself fails them: a full disk under the archive
// and under the log, a log or a backup folder that cannot be written, a central server that
// cannot be reached or refuses the login.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/file.h"
#include "support/cloud_cycle.h"
#include "support/test_files.h"

namespace nuvexa {
namespace {

namespace fs = std::filesystem;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// While it lives, no file that this process writes grows past `bytes`: the write that would
// take it past fails with EFBIG, as on a full disk, instead of ending the process.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, saved_.rlim_max};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) throw std::runtime_error("cannot limit the size of files");
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, previous_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  sighandler_t previous_ = SIG_DFL;
};

using LocalFaults = test::CloudCycleTest;

TEST_F(LocalFaults, ADiskThatFillsWhileTheArchiveIsWrittenLeavesNoArchiveAndRecordsNothing) {
  // rows that do not compress, so that the archive is larger than the room the log needs
  pharmacy_->RunSql(
      "CREATE TABLE LASTRO (T VARCHAR(40));\nCOMMIT;\nSET TERM ^;\n"
      "EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < 5000) DO BEGIN "
      "INSERT INTO LASTRO VALUES (UUID_TO_CHAR(GEN_UUID())); I = I + 1; END END^\nSET TERM ;^");
  KeepEarlierArchives();
  constexpr rlim_t kRoom = 16 * 1024;  // room for the log's line, not for the archive
  {
    const FileSizeLimit full_disk(kRoom);
    module_->RunCycleNow();
  }
  const std::vector<std::string> messages = installation_.LogMessages();
  EXPECT_THAT(messages, ElementsAre(AllOf(StartsWith("Falha ao compactar o arquivo: "), HasSubstr("File too large"))));
  EXPECT_FALSE(fs::exists(LocalArchive())) << "no partial archive that a later run would take for whole";
  EXPECT_FALSE(fs::exists(Uploaded()));
  EXPECT_EQ(LastBackup(), "<null>");
  ExpectEarlierArchivesKept();

  ExpectTheNextCycleRecovers();
  EXPECT_GT(fs::file_size(LocalArchive()), kRoom) << "the archive fits the room the fault left: no fault was made";
}

TEST_F(LocalFaults, ALogThatCannotGrowLosesTheEntryWholeAndTheServiceGoesOn) {
  KeepEarlierArchives();
  Arm({{"endpoint", "/2/files/upload"}, {"status", 503}});
  // a log larger than the archive: the limit then lets the archive through and not the entry
  {
    std::ofstream log(installation_.Folder() + "Nuvexa.log", std::ios::binary);
    for (int i = 0; i < 2000; ++i) log << "10/12/2026 09:00:00 - an earlier entry of the log\r\n";
  }
  const std::string before = Log();
  {
    const FileSizeLimit full_disk(before.size());
    // the host writes what escapes the cycle to the system's log and its loop goes on
    EXPECT_THROW(module_->RunCycleNow(), platform::FileError);
  }
  EXPECT_EQ(Log(), before) << "no part of an entry was written";
  ASSERT_TRUE(fs::exists(LocalArchive()));
  EXPECT_LT(fs::file_size(LocalArchive()), before.size()) << "the archive fitted: the log's entry was what failed";
  EXPECT_TRUE(module_->Timer1.Enabled()) << "the cycle's clean-up ran: the next cycle will come";
  EXPECT_EQ(LastBackup(), "<null>");
  EXPECT_FALSE(fs::exists(Uploaded()));
  ExpectEarlierArchivesKept();

  ExpectTheNextCycleRecovers();
}

TEST_F(LocalFaults, ALogThatIsNoFileFailsTheEntryAndTheNextCycleRecoversOnceItIsOne) {
  KeepEarlierArchives();
  Arm({{"endpoint", "/2/files/upload"}, {"status", 500}});
  const std::string log = installation_.Folder() + "Nuvexa.log";
  fs::create_directory(log);  // as root, no mode bit keeps a file from being written

  EXPECT_THROW(module_->RunCycleNow(), platform::FileError);
  EXPECT_TRUE(module_->Timer1.Enabled());
  EXPECT_EQ(LastBackup(), "<null>");
  ExpectEarlierArchivesKept();

  fs::remove(log);
  ExpectTheNextCycleRecovers();
}

TEST_F(LocalFaults, ABackupFolderThatCannotBeMadeFailsTheJobAndUploadsNothing) {
  const std::string folder = installation_.Folder() + "BACKUP DROVANA";
  std::ofstream(folder) << "a file where the folder goes";

  module_->RunCycleNow();
  EXPECT_GE(module_->LogEntriesWritten(), 1) << "the job says why";
  EXPECT_EQ(LastBackup(), "<null>");
  EXPECT_FALSE(fs::exists(CloudFolder())) << "nothing reached the cloud";
  EXPECT_EQ(test::ReadFileBytes(folder), "a file where the folder goes");

  fs::remove(folder);
  KeepEarlierArchives();
  ExpectTheNextCycleRecovers();
}

// The central server only tunes the settings: without it the backup is still made and sent.
class CentralFaults : public LocalFaults {
 protected:
  void ExpectTheBackupGoesOnAndTheNextCycleRecovers(const std::string& logged) {
    NewModule();  // the central server's address and password are read at start
    KeepEarlierArchives();
    module_->RunCycleNow();
    EXPECT_EQ(module_->LogEntriesWritten(), 2) << "the synchronisation's line and the cloud step's";
    const std::string prefix = "Falha na conexão com o servidor da central: [FireDAC][Phys][FB]" + logged;
    EXPECT_THAT(installation_.LogMessages(), Contains(StartsWith(prefix)).Times(2));
    EXPECT_EQ(LastBackup(), ThisCycle()) << "the backup is made and recorded all the same";
    EXPECT_TRUE(fs::exists(Uploaded()));
    ExpectEarlierArchivesKept();

    fs::remove(Uploaded());  // the next cycle's archive, of the same minute, takes its name
    environment_.PointCentralAt(*central_);
    NewModule();
    pharmacy_->RunSql("UPDATE PADRAO SET NUVEXAULTIMOBACKUP = NULL;");
    ExpectTheNextCycleRecovers();
  }
};

TEST_F(CentralFaults, AnUnreachableServerIsLoggedAndTheBackupGoesOn) {
  environment_.PointCentralNowhere();
  ExpectTheBackupGoesOnAndTheNextCycleRecovers("Unable to complete network request to host");
}

TEST_F(CentralFaults, ARefusedLoginIsLoggedAndTheBackupGoesOn) {
  environment_.Set("NUVEXA_CENTRAL_PASSWORD", "not-the-password");
  ExpectTheBackupGoesOnAndTheNextCycleRecovers("Your user name and password are not defined");
}

}  // namespace
}  // namespace nuvexa

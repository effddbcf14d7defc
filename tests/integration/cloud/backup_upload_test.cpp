// The cycle with the cloud copy on, in process: real backups on the local Firebird server,
// a central database there, and nuvexa-fake-cloud over HTTPS on two hosts; what was sent is
// read back from the server's request log.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "backup/backup_naming.h"
#include "platform/date_time.h"
#include "platform/file.h"
#include "platform/folders.h"
#include "service/srv_nuvexa.h"
#include "support/fake_cloud_server.h"
#include "support/firebird_database.h"
#include "support/installation.h"
#include "support/service_environment.h"
#include "support/test_files.h"

namespace nuvexa {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* kCompanyFolder = "12345678000195";  // PADRAO.CGC of the sample database

// "YYYY-MM-DD HH:MM:SS", as isql prints a timestamp, to the second.
std::string IsqlTimestamp(platform::TDateTime moment) {
  const platform::DateParts d = platform::DecodeDate(moment);
  const platform::TimeParts t = platform::DecodeTime(moment);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day, t.hour, t.minute, t.second);
  return text;
}

class CloudStep : public ::testing::Test {
 protected:
  void SetUp() override {
    NUVEXA_REQUIRE_FIREBIRD();
    pharmacy_ = std::make_unique<test::FirebirdDatabase>(test::ReadSourceFile("scripts/sql/pharmacy.sql"));
    test::TempFolder scratch;
    test::RunIsql(scratch, "CREATE DATABASE 'localhost:" + pharmacy_->Folder() +
                               "RECEITADIGITAL.FDB' USER 'SYSDBA' PASSWORD 'cobweb' DEFAULT CHARACTER SET ISO8859_1;\n" +
                               test::ReadSourceFile("scripts/sql/prescription.sql"));
    central_ = std::make_unique<test::FirebirdDatabase>(
        test::ReadSourceFile("scripts/sql/central.sql") +
        "INSERT INTO CONFIGURACOES VALUES (1, 360, 1, 3, 750, 60, 'N', '', 0);\n"
        "INSERT INTO CLIENTES (CODIGO, CNPJ, ESTADO, SUPORTEATIVO) VALUES (1, '12.345.678/0001-95', 'SP', 'Y');\n"
        "COMMIT;\n");
    installation_.WriteSettings({"Servidor=localhost", "Caminho=" + pharmacy_->Path()});
    environment_.PointCentralAt(*central_);
    environment_.PointCloudAt(cloud_, certificates_.CaFile());
    module_ = std::make_unique<TSrvNuvexa>(ModuleEnvironment{loop_, status_, event_log_, installation_.Folder()});
    module_->ArchivePauseMilliseconds = 0;
  }

  // To the second; "<null>" when never recorded.
  std::string LastBackup() {
    return pharmacy_->Scalar("SELECT SUBSTRING(CAST(NUVEXAULTIMOBACKUP AS VARCHAR(30)) FROM 1 FOR 19) FROM PADRAO");
  }
  std::string LocalArchive() const {
    return installation_.Folder() + "BACKUP DROVANA/NuvexaDrovana_" + backup::BackupStamp(module_->DataHoraAtualBackup) +
           ".zip";
  }
  fs::path CloudFolder() const { return cloud_.root() / kCompanyFolder; }
  // The storage calls sent since the last call, as "host path status".
  std::vector<std::string> NewRequests() {
    std::vector<std::string> requests;
    const std::vector<json> lines = cloud_.LogLines();
    for (std::size_t i = seen_; i < lines.size(); ++i) {
      requests.push_back(lines[i].value("host", "?") + " " + lines[i]["path"].get<std::string>() + " " +
                         std::to_string(lines[i]["status"].get<int>()));
    }
    seen_ = lines.size();
    return requests;
  }
  // An archive that an earlier cycle stored, dated `days_ago`.
  void PutOldArchive(const std::string& name, int days_ago) {
    fs::create_directories(CloudFolder());
    const fs::path file = CloudFolder() / name;
    std::ofstream(file) << name;
    test::RunCommand("touch -d '" + std::to_string(days_ago) + " days ago' '" + file.string() + "'");
  }
  void Fail(const std::string& endpoint, int nth, int status) {
    const test::CommandResult result = test::RunCommand(
        "curl -sS --cacert '" + certificates_.CaFile() + "' -X POST -H 'Content-Type: application/json' -d '" +
        json{{"endpoint", endpoint}, {"nth", nth}, {"status", status}}.dump() + "' https://127.0.0.1:" +
        std::to_string(cloud_.port()) + "/__admin/fail");
    ASSERT_EQ(result.status, 0) << result.output;
  }

  test::TestCertificates certificates_;
  test::FakeCloudServer cloud_{[&] {
    std::vector<std::string> arguments = certificates_.ServerArguments();
    arguments.insert(arguments.end(), {"--content-port", "0"});
    return arguments;
  }()};
  test::Installation installation_;
  test::ScopedEnvironment environment_;
  std::unique_ptr<test::FirebirdDatabase> pharmacy_;
  std::unique_ptr<test::FirebirdDatabase> central_;
  platform::EventLoop loop_;
  MemoryStatusReporter status_;
  MemoryEventLogger event_log_;
  std::unique_ptr<TSrvNuvexa> module_;
  std::size_t seen_ = 0;
};

TEST_F(CloudStep, ADueCycleCreatesTheFolderUploadsTheArchiveAndRecordsTheBackup) {
  module_->RunCycleNow();
  ASSERT_THAT(installation_.LogMessages(), IsEmpty());

  const std::string name = "NuvexaDrovana_" + backup::BackupStamp(module_->DataHoraAtualBackup) + ".zip";
  EXPECT_THAT(NewRequests(), ElementsAre("api /2/files/list_folder 200", "api /2/files/create_folder_v2 200",
                                         "api /2/files/list_folder 200", "content /2/files/upload 200"));
  ASSERT_TRUE(fs::exists(CloudFolder() / name));
  EXPECT_EQ(test::ReadFileBytes((CloudFolder() / name).string()), test::ReadFileBytes(LocalArchive()))
      << "the cloud holds the archive byte for byte";
  EXPECT_EQ(test::RunCommand("unzip -tq '" + (CloudFolder() / name).string() + "'").status, 0);
  EXPECT_EQ(LastBackup(), IsqlTimestamp(module_->DataHoraAtualBackup));
  EXPECT_EQ(module_->MaximoTamanhoAtual, module_->MaximoTamanho - static_cast<std::int64_t>(fs::file_size(LocalArchive())));
  EXPECT_EQ(module_->MaximoBackup, 2) << "the central limits arrived before the trim";
  EXPECT_FALSE(module_->ConnTarvioSystem.Connected());

  module_->RunCycleNow();
  EXPECT_THAT(NewRequests(), IsEmpty()) << "right after a backup none is due";
  EXPECT_THAT(installation_.LogMessages(), IsEmpty());
}

TEST_F(CloudStep, AnExistingFolderIsTrimmedByTheCentralLimitsAndEachDeletionIsLoggedWhenSwitchedOn) {
  struct Case { const char* why; const char* switch_value; bool recorded; };
  const Case kCases[] = {
      {"Y records every deletion", "Y", true},
      {"y is not Y", "y", false},
      {"N records nothing", "N", false},
  };
  for (const Case& c : kCases) {
    fs::remove_all(CloudFolder());
    for (int age = 1; age <= 4; ++age) PutOldArchive("NuvexaDrovana_old" + std::to_string(age) + ".zip", age);
    central_->RunSql(std::string("UPDATE CONFIGURACOES SET NUVEXAATIVARLOGEXCLUSAO = '") + c.switch_value +
                     "'; DELETE FROM LOG_EXCLUSAO_NUVEXA;");
    pharmacy_->RunSql("UPDATE PADRAO SET NUVEXAULTIMOBACKUP = NULL;");
    NewRequests();

    module_->RunCycleNow();
    EXPECT_THAT(installation_.LogMessages(), IsEmpty()) << c.why;
    const std::vector<std::string> requests = NewRequests();
    EXPECT_EQ(std::count(requests.begin(), requests.end(), "api /2/files/create_folder_v2 200"), 0)
        << c.why << ": an existing folder is not created again";
    // four archives, at most 3 - 1 = 2 remain before the new one arrives
    EXPECT_TRUE(fs::exists(CloudFolder() / "NuvexaDrovana_old1.zip")) << c.why;
    EXPECT_TRUE(fs::exists(CloudFolder() / "NuvexaDrovana_old2.zip")) << c.why;
    EXPECT_FALSE(fs::exists(CloudFolder() / "NuvexaDrovana_old3.zip")) << c.why;
    EXPECT_FALSE(fs::exists(CloudFolder() / "NuvexaDrovana_old4.zip")) << c.why;
    const std::string logged = central_->Scalar("SELECT SEQUENCIAL, CNPJ, ARQUIVOEXCLUIDO FROM LOG_EXCLUSAO_NUVEXA "
                                                 "ORDER BY ARQUIVOEXCLUIDO");
    if (c.recorded) {
      EXPECT_THAT(logged, ::testing::MatchesRegex("[0-9]+ 12.345.678/0001-95 /" + std::string(kCompanyFolder) +
                                                  "/NuvexaDrovana_old3.zip [0-9]+ 12.345.678/0001-95 /" +
                                                  kCompanyFolder + "/NuvexaDrovana_old4.zip"))
          << c.why;
    } else {
      EXPECT_EQ(logged, "") << c.why;
    }
    EXPECT_EQ(LastBackup(), IsqlTimestamp(module_->DataHoraAtualBackup)) << c.why;
  }
}

TEST_F(CloudStep, AnUnauthorisedUploadIsOneLineAndTheNextCycleRecovers) {
  Fail("/2/files/upload", 1, 401);
  module_->RunCycleNow();
  EXPECT_THAT(installation_.LogMessages(), ElementsAre("HTTP/1.1 401 Unauthorized"));
  EXPECT_EQ(LastBackup(), "<null>");

  module_->RunCycleNow();
  EXPECT_THAT(installation_.LogMessages(), ElementsAre("HTTP/1.1 401 Unauthorized")) << "nothing more";
  EXPECT_EQ(LastBackup(), IsqlTimestamp(module_->DataHoraAtualBackup));
  EXPECT_TRUE(fs::exists(CloudFolder() / fs::path(LocalArchive()).filename()));
}

TEST_F(CloudStep, AFailedPharmacyBackupUploadsAndRecordsNothing) {
  // the server cannot write into a folder that only root may enter
  const std::string folder = installation_.Folder() + "BACKUP DROVANA";
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  const std::string earlier = folder + "/NuvexaDrovana_01122026_1000.zip";
  std::ofstream(earlier) << "an earlier cycle's archive";

  module_->RunCycleNow();
  EXPECT_THAT(installation_.LogMessages(), ::testing::Not(IsEmpty())) << "the job says why";
  EXPECT_THAT(NewRequests(), IsEmpty()) << "nothing is sent to the cloud";
  EXPECT_EQ(LastBackup(), "<null>");
  EXPECT_EQ(test::ReadFileBytes(earlier), "an earlier cycle's archive");
}

TEST_F(CloudStep, ATrimThatFailsStillClosesTheCentralConnectionAndIsOneLine) {
  Fail("/2/files/list_folder", 2, 500);  // the first listing finds the folder, the second is the trim's
  module_->RunCycleNow();
  EXPECT_EQ(module_->LogEntriesWritten(), 1);
  EXPECT_THAT(installation_.LogMessages(), ElementsAre("HTTP/1.1 500 Internal Server Error"));
  EXPECT_EQ(LastBackup(), "<null>");
  EXPECT_FALSE(module_->ConnTarvioSystem.Connected());
  EXPECT_EQ(central_->Scalar("SELECT COUNT(*) FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION "
                              "AND MON$SYSTEM_FLAG = 0"),
            "0")
      << "no attachment of the service is left on the central server";
  const std::vector<std::string> requests = NewRequests();
  EXPECT_EQ(std::count_if(requests.begin(), requests.end(),
                          [](const std::string& r) { return r.find("upload") != std::string::npos; }),
            0);
}

TEST_F(CloudStep, AnUnreachableCentralServerIsLoggedAndTheUploadGoesOn) {
  environment_.PointCentralNowhere();
  module_ = std::make_unique<TSrvNuvexa>(ModuleEnvironment{loop_, status_, event_log_, installation_.Folder()});
  module_->ArchivePauseMilliseconds = 0;
  module_->RunCycleNow();
  EXPECT_EQ(module_->LogEntriesWritten(), 2) << "the synchronisation's line and the cloud step's";
  const std::vector<std::string> messages = installation_.LogMessages();
  EXPECT_EQ(std::count_if(messages.begin(), messages.end(),
                          [](const std::string& m) { return m.starts_with("Falha na conexão com o servidor da central: "); }),
            2);
  EXPECT_EQ(LastBackup(), IsqlTimestamp(module_->DataHoraAtualBackup));
}

// Archives at the size threshold, sent as sparse files: one request up to 149,000,000
// bytes, a session of 100,000,000-byte chunks above it.
TEST_F(CloudStep, TheArchiveSizeChoosesOneRequestOrASession) {
  module_->CarregarParametrosConexao("SYSDBA", test::kSysdbaPassword);
  module_->DataHoraAtualBackup = platform::EncodeDateTime({2026, 12, 10}, {10, 30, 0, 0});
  struct Case { const char* name; std::uintmax_t size; std::vector<std::string> requests; };
  const Case kCases[] = {
      {"at.zip", 149'000'000, {"/2/files/upload 149000000"}},
      {"above.zip", 149'000'001,
       {"/2/files/upload_session/start 100000000", "/2/files/upload_session/append_v2 49000001",
        "/2/files/upload_session/finish 0"}},
  };
  for (const Case& c : kCases) {
    const std::string file = installation_.Folder() + c.name;
    std::ofstream(file).close();
    fs::resize_file(file, c.size);
    pharmacy_->RunSql("UPDATE PADRAO SET NUVEXAULTIMOBACKUP = NULL;");
    const std::size_t before = cloud_.LogLines().size();
    EXPECT_TRUE(module_->Upload(kCompanyFolder, file)) << c.name;
    std::vector<std::string> sent;
    const std::vector<json> lines = cloud_.LogLines();
    for (std::size_t i = before; i < lines.size(); ++i) {
      sent.push_back(lines[i]["path"].get<std::string>() + " " + std::to_string(lines[i]["body_size"].get<long long>()));
    }
    EXPECT_EQ(sent, c.requests) << c.name;
    EXPECT_EQ(fs::file_size(CloudFolder() / c.name), c.size) << c.name;
    EXPECT_EQ(LastBackup(), "2026-12-10 10:30:00") << c.name;
    fs::remove(file);
  }
  EXPECT_THAT(installation_.LogMessages(), IsEmpty());
}

TEST_F(CloudStep, AMissingArchiveIsLoggedAndNothingIsSent) {
  module_->CarregarParametrosConexao("SYSDBA", test::kSysdbaPassword);
  EXPECT_FALSE(module_->Upload(kCompanyFolder, installation_.Folder() + "NuvexaDrovana_01022024_1030.zip"));
  EXPECT_EQ(module_->LogEntriesWritten(), 1);
  EXPECT_THAT(NewRequests(), IsEmpty());
  EXPECT_EQ(LastBackup(), "<null>");
}

}  // namespace
}  // namespace nuvexa

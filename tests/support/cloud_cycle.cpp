#include "support/cloud_cycle.h"

#include <cstdio>
#include <fstream>

#include "backup/backup_naming.h"
#include "platform/date_time.h"
#include "platform/folders.h"
#include "support/test_files.h"

namespace nuvexa::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kEarlierArchive = "NuvexaDrovana_01122026_1000.zip";

// "YYYY-MM-DD HH:MM:SS", as isql prints a timestamp, to the second.
std::string IsqlTimestamp(platform::TDateTime moment) {
  const platform::DateParts d = platform::DecodeDate(moment);
  const platform::TimeParts t = platform::DecodeTime(moment);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day, t.hour, t.minute, t.second);
  return text;
}

}  // namespace

void CloudCycleTest::SetUp() {
  NUVEXA_REQUIRE_FIREBIRD();
  pharmacy_ = std::make_unique<FirebirdDatabase>(ReadSourceFile("scripts/sql/pharmacy.sql"));
  TempFolder scratch;
  RunIsql(scratch, "CREATE DATABASE 'localhost:" + pharmacy_->Folder() +
                       "RECEITADIGITAL.FDB' USER 'SYSDBA' PASSWORD 'cobweb' DEFAULT CHARACTER SET ISO8859_1;\n" +
                       ReadSourceFile("scripts/sql/prescription.sql"));
  central_ = std::make_unique<FirebirdDatabase>(
      ReadSourceFile("scripts/sql/central.sql") +
      "INSERT INTO CONFIGURACOES VALUES (1, 360, 1, 3, 750, 60, 'N', '', 0);\n"
      "INSERT INTO CLIENTES (CODIGO, CNPJ, ESTADO, SUPORTEATIVO) VALUES (1, '12.345.678/0001-95', 'SP', 'Y');\n"
      "COMMIT;\n");
  installation_.WriteSettings({"Servidor=localhost", "Caminho=" + pharmacy_->Path()});
  StartCloud();
  environment_.PointCentralAt(*central_);
  environment_.PointCloudAt(*cloud_, certificates_.CaFile());
  NewModule();
}

void CloudCycleTest::StartCloud(std::vector<std::string> arguments) {
  cloud_.reset();
  if (arguments.empty()) arguments = certificates_.ServerArguments();
  // the first start takes free ports, every later one the same
  arguments.insert(arguments.end(), {"--root", cloud_root_.Path(), "--port", std::to_string(api_port_),
                                     "--content-port", std::to_string(content_port_)});
  cloud_ = std::make_unique<FakeCloudServer>(arguments);
  api_port_ = cloud_->port();
  content_port_ = cloud_->content_port();
}

void CloudCycleTest::NewModule() {
  module_.reset();
  module_ = std::make_unique<TSrvNuvexa>(ModuleEnvironment{loop_, status_, event_log_, installation_.Folder()});
  module_->ArchivePauseMilliseconds = 0;
}

void CloudCycleTest::Arm(const nlohmann::json& rule) const {
  // from a file: a rule's body may be larger than a command line
  TempFolder scratch;
  const std::string file = scratch.WriteFile("rule.json", rule.dump());
  const CommandResult result =
      RunCommand("curl -sS --fail-with-body --cacert '" + certificates_.CaFile() +
                 "' -X POST -H 'Content-Type: application/json' --data-binary '@" + file + "' https://127.0.0.1:" +
                 std::to_string(api_port_) + "/__admin/fail");
  if (result.status != 0) throw std::runtime_error("the fake cloud refused the rule: " + result.output);
}

nlohmann::json CloudCycleTest::Admin(const std::string& endpoint, const nlohmann::json& body) const {
  TempFolder scratch;
  const std::string post =
      body.is_null() ? "" : " -X POST -H 'Content-Type: application/json' --data-binary '@" +
                                scratch.WriteFile("body.json", body.dump()) + "'";
  const CommandResult result = RunCommand("curl -sS --fail-with-body --cacert '" + certificates_.CaFile() + "'" + post +
                                          " https://127.0.0.1:" + std::to_string(api_port_) + "/__admin/" + endpoint);
  if (result.status != 0) throw std::runtime_error("the fake cloud's /__admin/" + endpoint + " failed: " + result.output);
  return nlohmann::json::parse(result.output);
}

std::string CloudCycleTest::LastBackup() const {
  return pharmacy_->Scalar("SELECT SUBSTRING(CAST(NUVEXAULTIMOBACKUP AS VARCHAR(30)) FROM 1 FOR 19) FROM PADRAO");
}

std::string CloudCycleTest::ThisCycle() const { return IsqlTimestamp(module_->DataHoraAtualBackup); }

std::string CloudCycleTest::LocalArchive() const {
  return installation_.Folder() + "BACKUP DROVANA/NuvexaDrovana_" + backup::BackupStamp(module_->DataHoraAtualBackup) +
         ".zip";
}

std::string CloudCycleTest::Log() const { return ReadFileBytes(installation_.Folder() + "Nuvexa.log"); }

void CloudCycleTest::ExpectTheNextCycleRecovers() {
  const std::string log = Log();
  module_->RunCycleNow();
  EXPECT_EQ(Log(), log) << "nothing more is logged";
  EXPECT_EQ(LastBackup(), ThisCycle());
  EXPECT_TRUE(fs::exists(Uploaded())) << Uploaded();
  ExpectEarlierArchivesKept();
}

void CloudCycleTest::KeepEarlierArchives() {
  // as the service makes it, so that the server may still write its backup there
  platform::CreateSharedFolder(installation_.Folder() + "BACKUP DROVANA", "firebird");
  std::ofstream(installation_.Folder() + "BACKUP DROVANA/" + kEarlierArchive) << "an earlier cycle's archive";
  fs::create_directories(CloudFolder());
  std::ofstream(CloudFolder() / kEarlierArchive) << "an earlier cycle's archive";
}

void CloudCycleTest::ExpectEarlierArchivesKept() const {
  EXPECT_EQ(ReadFileBytes(installation_.Folder() + "BACKUP DROVANA/" + kEarlierArchive), "an earlier cycle's archive");
  EXPECT_EQ(ReadFileBytes((CloudFolder() / kEarlierArchive).string()), "an earlier cycle's archive");
}

}  // namespace nuvexa::test

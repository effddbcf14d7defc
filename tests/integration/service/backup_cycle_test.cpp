#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/file.h"
#include "service/srv_nuvexa.h"
#include "support/firebird_database.h"
#include "support/installation.h"

namespace nuvexa {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The module with the work it hands out replaced by recorders, so a test follows the
// cycle's sequencing against the real local database.
class RecordingModule : public TSrvNuvexa {
 public:
  using TSrvNuvexa::TSrvNuvexa;

  std::vector<std::string> calls;
  bool drovana_result = true;
  bool receita_result = true;
  std::function<void()> on_sync;
  std::function<void()> on_cloud;

 protected:
  bool SincronizarCentral() override {
    calls.push_back("sync");
    if (on_sync) on_sync();
    return true;
  }
  bool BackupDrovana() override {
    calls.push_back("drovana");
    return drovana_result;
  }
  bool BackupReceitaDigital() override {
    calls.push_back("receita");
    return receita_result;
  }
  void CloudStep() override {
    calls.push_back("cloud");
    if (on_cloud) on_cloud();
  }
};

class BackupCycle : public ::testing::Test {
 protected:
  void SetUp() override {
    NUVEXA_REQUIRE_FIREBIRD();
    database_ = std::make_unique<test::FirebirdDatabase>(test::ReadSourceFile("scripts/sql/pharmacy.sql"));
    Settings({});
  }
  void Settings(std::vector<std::string> extra) {
    extra.insert(extra.begin(), {"Servidor=localhost", "Caminho=" + database_->Path()});
    installation_.WriteSettings(extra);
  }
  std::string Padrao(const std::string& column) {
    return database_->RunSql("SET HEADING OFF; SELECT " + column + " FROM PADRAO ORDER BY CODIGO;");
  }

  test::Installation installation_;
  std::unique_ptr<test::FirebirdDatabase> database_;
  platform::EventLoop loop_;
  MemoryStatusReporter status_;
  MemoryEventLogger event_log_;
  RecordingModule module_{{loop_, status_, event_log_, installation_.Folder()}};
};

TEST_F(BackupCycle, FirstRunBacksUpAndTheCloudStepRuns) {
  module_.RunCycleNow();
  EXPECT_THAT(module_.calls, ElementsAre("sync", "drovana", "receita", "cloud"));
  EXPECT_THAT(installation_.LogMessages(), IsEmpty());
  EXPECT_GT(module_.DataHoraAtualBackup, 0.0);
  EXPECT_EQ(module_.Timer1.Interval(), 3600000) << "a connected cycle takes IntervaloThread";
  EXPECT_TRUE(module_.Timer1.Enabled());
  EXPECT_FALSE(module_.Conndrovana.Connected());
}

TEST_F(BackupCycle, CloudStepRaisingStillClosesEverythingAndLogsOneLine) {
  module_.on_cloud = [] { throw std::runtime_error("HTTP/1.1 401 Unauthorized"); };
  module_.RunCycleNow();
  EXPECT_THAT(installation_.LogMessages(), ElementsAre("HTTP/1.1 401 Unauthorized"));
  EXPECT_FALSE(module_.TBPadrao.Active());
  EXPECT_FALSE(module_.Conndrovana.Connected());
  EXPECT_TRUE(module_.Timer1.Enabled());
  EXPECT_THAT(Padrao("NUVEXAULTIMOBACKUP"), ::testing::HasSubstr("<null>")) << "nothing recorded";
}

TEST_F(BackupCycle, CloudCopyOffRecordsTheLastBackupOnlyWhenBothJobsSucceed) {
  struct Case { const char* why; std::vector<std::string> settings; const char* desativar; bool drovana, receita, recorded; };
  const Case kCases[] = {
      {"off by the settings file alone", {"DesativarNuvexa=1"}, "N", true, true, true},
      {"off by the settings file in hexadecimal", {"DesativarNuvexa=0x1"}, "N", true, false, false},
      {"off by PADRAO", {}, "Y", false, true, false},
  };
  for (const auto& c : kCases) {
    database_->RunSql(std::string("UPDATE PADRAO SET NUVEXAULTIMOBACKUP = NULL, NUVEXADESATIVAR = '") + c.desativar + "';");
    Settings(c.settings);
    module_.calls.clear();
    module_.drovana_result = c.drovana;
    module_.receita_result = c.receita;
    module_.RunCycleNow();
    EXPECT_THAT(module_.calls, ElementsAre("sync", "drovana", "receita")) << c.why << ": no cloud step";
    EXPECT_EQ(Padrao("NUVEXAULTIMOBACKUP").find("<null>") == std::string::npos, c.recorded) << c.why;
  }
}

TEST_F(BackupCycle, NotDueRunsNoJob) {
  database_->RunSql("UPDATE PADRAO SET NUVEXAULTIMOBACKUP = CURRENT_TIMESTAMP, NUVEXAINTERVALO = 0;");
  module_.RunCycleNow();
  EXPECT_THAT(module_.calls, ElementsAre("sync"));
  EXPECT_EQ(module_.BackupIntervalo, 360) << "NUVEXAINTERVALO 0 keeps the module's interval";
}

TEST_F(BackupCycle, ATimerPeriodOfZeroOrLessKeepsThePreviousOne) {
  database_->RunSql("UPDATE PADRAO SET NUVEXAULTIMOBACKUP = CURRENT_TIMESTAMP;");
  for (int period : {0, -1000}) {
    module_.on_sync = [&] { module_.IntervaloThread = period; };
    module_.RunCycleNow();
    EXPECT_EQ(module_.Timer1.Interval(), 5000) << period;
  }
  module_.on_sync = [&] { module_.IntervaloThread = 60000; };
  module_.RunCycleNow();
  EXPECT_EQ(module_.Timer1.Interval(), 60000);
}

TEST_F(BackupCycle, SyncErrorIsLoggedAndTheCycleGoesOn) {
  module_.on_sync = [] { throw std::runtime_error("Falha na conexão com o servidor da central: recusada"); };
  module_.RunCycleNow();
  EXPECT_THAT(module_.calls, ElementsAre("sync", "drovana", "receita", "cloud"));
  EXPECT_THAT(installation_.LogMessages(), ElementsAre("Falha na conexão com o servidor da central: recusada"));
}

TEST_F(BackupCycle, UnreachableDatabaseLogsOneLineAndKeepsThePeriod) {
  installation_.WriteSettings({"Servidor=localhost", "Caminho=" + database_->Folder() + "missing.fdb"});
  module_.RunCycleNow();
  module_.RunCycleNow();
  EXPECT_THAT(module_.calls, IsEmpty()) << "no synchronisation without the local database";
  EXPECT_THAT(installation_.LogMessages(), ElementsAre("Falha na conexão com o banco de dados!!!",
                                                       "Falha na conexão com o banco de dados!!!"));
  EXPECT_EQ(module_.Timer1.Interval(), 5000);
  EXPECT_FALSE(platform::FileExists(database_->Folder() + "missing.fdb")) << "the connection never creates a database";
}

TEST_F(BackupCycle, LastBackupUpdateSetsEveryRow) {
  database_->RunSql("INSERT INTO PADRAO (CODIGO, CGC) VALUES (2, 'outra');");
  module_.CarregarParametrosConexao("SYSDBA", test::kSysdbaPassword);
  module_.DataHoraAtualBackup = platform::EncodeDateTime({2026, 12, 10}, {22, 15, 30, 0});
  module_.RecordLastBackup();
  const std::string rows = Padrao("NUVEXAULTIMOBACKUP");
  EXPECT_EQ(rows.find("<null>"), std::string::npos) << rows;
  std::size_t hits = 0;
  for (std::size_t at = 0; (at = rows.find("2026-12-10 22:15:30", at)) != std::string::npos; ++at) ++hits;
  EXPECT_EQ(hits, 2u) << rows;
}

TEST_F(BackupCycle, SecondParameterLoadLeavesTwelveEntriesWithTheNewerPassword) {
  module_.CarregarParametrosConexao("SYSDBA", "cobweb");
  module_.CarregarParametrosConexao("SYSDBA", "quindowel");
  const auto& params = module_.Conndrovana.Params();
  EXPECT_THAT(params, ElementsAre("DriverID=FB", "Pooled=false", "Database=" + database_->Path(), "User_Name=SYSDBA",
                                  "Password=quindowel", "Protocol=TCPIP", "Server=localhost", "Port=3050",
                                  "SQLDialect=3", "CharacterSet=ISO8859_1", "ExtendedMetaData=False", "OpenMode=Open"));
}

TEST(BackupCycleSettings, MissingSettingsFileGivesTheDefaultConnection) {
  test::Installation installation;
  platform::EventLoop loop;
  MemoryStatusReporter status;
  MemoryEventLogger event_log;
  TSrvNuvexa module({loop, status, event_log, installation.Folder()});
  module.CarregarParametrosConexao("SYSDBA", "cobweb");
  const auto& params = module.Conndrovana.Params();
  ASSERT_EQ(params.size(), 12u);
  EXPECT_EQ(params[2], "Database=" + installation.Folder() + "QUORVO.FDB");
  EXPECT_EQ(params[6], "Server=localhost");
  EXPECT_EQ(params[7], "Port=3050");
}

}  // namespace
}  // namespace nuvexa

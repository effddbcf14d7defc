// The synchronisation against a real central database and a real local one, both on the
// local Firebird server; what changed is read back with isql.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "central/central_settings.h"
#include "service/srv_nuvexa.h"
#include "support/firebird_database.h"
#include "support/installation.h"
#include "support/service_environment.h"
#include "support/test_files.h"

namespace nuvexa {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

class SyncModule : public TSrvNuvexa {
 public:
  using TSrvNuvexa::SincronizarCentral;
  using TSrvNuvexa::TSrvNuvexa;
};

// Every UPDATE of a row counts in its ESCRITAS, so a test sees a write that changed nothing.
constexpr const char* kLocalCounters = R"(
ALTER TABLE PADRAO ADD ESCRITAS INTEGER DEFAULT 0 NOT NULL;
COMMIT;
SET TERM ^ ;
CREATE TRIGGER PADRAO_ESCRITAS FOR PADRAO BEFORE UPDATE AS BEGIN NEW.ESCRITAS = OLD.ESCRITAS + 1; END^
SET TERM ; ^
COMMIT;
)";

constexpr const char* kCentralRows = R"(
ALTER TABLE CLIENTES ADD ESCRITAS INTEGER DEFAULT 0 NOT NULL;
COMMIT;
SET TERM ^ ;
CREATE TRIGGER CLIENTES_ESCRITAS FOR CLIENTES BEFORE UPDATE AS BEGIN NEW.ESCRITAS = OLD.ESCRITAS + 1; END^
SET TERM ; ^
INSERT INTO CONFIGURACOES VALUES (1, 240, 3, 20, 750, 60, 'N', 'C:\Quorvo\Schemas', 7);
INSERT INTO CRST VALUES ('SP', 'Y', 'N', 41, 'SP-0001-ÁÉ');
INSERT INTO CLIENTES (CODIGO, CNPJ, RAZAOSOCIAL, ESTADO, IPSERVIDOR, BANCODEDADOS, RETAGUARDA, PDV, SUPORTEATIVO)
  VALUES (1, '12.345.678/0001-95', 'FARMÁCIA SÃO JOÃO', 'SP', '10.0.0.9', 400, 4000, 4000, 'Y');
INSERT INTO CLIENTES (CODIGO, CNPJ, RAZAOSOCIAL, ESTADO, IPSERVIDOR, BANCODEDADOS, RETAGUARDA, PDV, SUPORTEATIVO)
  VALUES (2, '98.765.432/0001-10', 'OUTRA FARMÁCIA', 'SP', '10.0.0.50', 1, 2, 3, 'Y');
COMMIT;
)";

class CentralSync : public ::testing::Test {
 protected:
  void SetUp() override {
    NUVEXA_REQUIRE_FIREBIRD();
    local_ = std::make_unique<test::FirebirdDatabase>(test::ReadSourceFile("scripts/sql/pharmacy.sql") + kLocalCounters);
    central_ = std::make_unique<test::FirebirdDatabase>(test::ReadSourceFile("scripts/sql/central.sql") + kCentralRows);
    installation_.WriteSettings({"Servidor=localhost", "Caminho=" + local_->Path()});
    environment_.PointCentralAt(*central_);
    NewModule();
  }
  void NewModule() {
    module_.reset();
    module_ = std::make_unique<SyncModule>(ModuleEnvironment{loop_, status_, event_log_, installation_.Folder()});
  }
  // One synchronisation with the local database open, as the cycle runs it.
  bool Sync() {
    module_->CarregarParametrosConexao("SYSDBA", test::kSysdbaPassword);
    module_->Conndrovana.Open();
    module_->TBPadrao.Open();
    const bool result = module_->SincronizarCentral();
    EXPECT_FALSE(module_->ConnTarvioSystem.Connected()) << "the central connection is closed after each run";
    module_->TBPadrao.Close();
    module_->Conndrovana.Close();
    return result;
  }
  std::string Local(const std::string& columns) { return local_->Scalar("SELECT " + columns + " FROM PADRAO"); }
  std::string Client(int codigo, const std::string& columns) {
    return central_->Scalar("SELECT " + columns + " FROM CLIENTES WHERE CODIGO = " + std::to_string(codigo));
  }
  central::BackupSettings Fields() const {
    return {module_->BackupIntervalo, module_->MinimoBackup, module_->MaximoBackup, module_->MaximoTamanho,
            module_->IntervaloThread};
  }

  test::Installation installation_;
  test::ScopedEnvironment environment_;
  std::unique_ptr<test::FirebirdDatabase> local_;
  std::unique_ptr<test::FirebirdDatabase> central_;
  platform::EventLoop loop_;
  MemoryStatusReporter status_;
  MemoryEventLogger event_log_;
  std::unique_ptr<SyncModule> module_;
};

TEST_F(CentralSync, InventoryAndSettingsAreWrittenOnlyWhenTheyDiffer) {
  const std::string ip = module_->CapturarIP();
  ASSERT_FALSE(ip.empty());

  EXPECT_TRUE(Sync()) << "SUPORTEATIVO is Y";
  EXPECT_EQ(Client(1, "IPSERVIDOR, BANCODEDADOS, RETAGUARDA, PDV, ESCRITAS"), ip + " 412 4120 4118 1");
  EXPECT_EQ(Client(2, "IPSERVIDOR, BANCODEDADOS, RETAGUARDA, PDV, ESCRITAS"), "10.0.0.50 1 2 3 0")
      << "only the row of this client";
  EXPECT_EQ(Local("INFORMARRESPTECNICA, INFORMARHASHCSRT, IDCRST, CRST, PASTASCHEMAS, VERSAOACBRSERVICOS"),
            "Y N 41 SP-0001-ÁÉ C:\\Quorvo\\Schemas 7");
  const std::string padrao_writes = Local("ESCRITAS");

  Sync();
  EXPECT_EQ(Client(1, "ESCRITAS"), "1") << "the same inventory writes nothing";
  EXPECT_EQ(Local("ESCRITAS"), padrao_writes) << "the same settings leave PADRAO unwritten";

  local_->RunSql("UPDATE VERSOES SET PDV4 = 4119;");
  Sync();
  EXPECT_EQ(Client(1, "IPSERVIDOR, BANCODEDADOS, RETAGUARDA, PDV, ESCRITAS"), ip + " 412 4120 4119 2");
  central_->RunSql("UPDATE CLIENTES SET IPSERVIDOR = '192.0.2.1' WHERE CODIGO = 1;");
  Sync();
  EXPECT_EQ(Client(1, "IPSERVIDOR, PDV"), ip + " 4119") << "a changed address is put back";
  EXPECT_EQ(Local("ESCRITAS"), padrao_writes);
  EXPECT_THAT(installation_.LogMessages(), IsEmpty());
}

TEST_F(CentralSync, TheClientRowDecidesTheTechnicalSettingsAndTheResult) {
  struct Case {
    const char* why;
    const char* cgc;
    const char* estado;
    const char* suporte;
    bool result;
    const char* technical;  // INFORMARRESPTECNICA, INFORMARHASHCSRT, IDCRST, CRST after the run
    bool client_written;
  };
  const Case kCases[] = {
      {"a CNPJ without a client row leaves both rows alone", "12345678000195", "SP", "Y", false, "X X 9 antigo",
       false},
      {"a state without a CRST row gives N, N and empty codes", "12.345.678/0001-95", "RJ", "Y", true,
       "N N <null> <null>", true},
      {"SUPORTEATIVO other than exactly Y is no", "12.345.678/0001-95", "SP", "y", false, "Y N 41 SP-0001-ÁÉ", true},
  };
  for (const Case& c : kCases) {
    local_->RunSql(std::string("UPDATE PADRAO SET CGC = '") + c.cgc +
                   "', INFORMARRESPTECNICA = 'X', INFORMARHASHCSRT = 'X', IDCRST = '9', CRST = 'antigo';");
    central_->RunSql(std::string("UPDATE CLIENTES SET IPSERVIDOR = '10.0.0.9', ESTADO = '") + c.estado +
                     "', SUPORTEATIVO = '" + c.suporte + "' WHERE CODIGO = 1;");
    const std::string client_before = Client(1, "IPSERVIDOR, BANCODEDADOS, ESCRITAS");
    EXPECT_EQ(Sync(), c.result) << c.why;
    EXPECT_EQ(Local("INFORMARRESPTECNICA, INFORMARHASHCSRT, IDCRST, CRST"), c.technical) << c.why;
    EXPECT_EQ(Client(1, "IPSERVIDOR, BANCODEDADOS, ESCRITAS") != client_before, c.client_written) << c.why;
    EXPECT_EQ(Local("PASTASCHEMAS, VERSAOACBRSERVICOS"), "C:\\Quorvo\\Schemas 7")
        << c.why << ": the shared settings come whatever the client row";
  }
}

TEST_F(CentralSync, CentralSettingsBecomeTheServiceFieldsAndTheCloudLimits) {
  const central::BackupSettings before{11, 5, 9, 123'000'000, 420'000};
  struct Case {
    const char* why;
    const char* configuracoes;  // SQL that leaves CONFIGURACOES as the case needs
    int local_intervalo;
    central::BackupSettings expected;
  };
  const Case kCases[] = {
      {"the central values, with one file less and in bytes and milliseconds",
       "UPDATE CONFIGURACOES SET NUVEXAINTERVALO = 240, NUVEXAMINIMOBACKUP = 3, NUVEXAMAXIMOBACKUP = 20, "
       "NUVEXATAMANHOMAXIMO = 750, NUVEXAINTERVALOTHREAD = 60",
       0, {240, 3, 19, 750'000'000, 3'600'000}},
      {"a local interval wins over the central one; 3000 MB fit in 64 bits",
       "UPDATE CONFIGURACOES SET NUVEXATAMANHOMAXIMO = 3000", 120, {120, 3, 19, 3'000'000'000, 3'600'000}},
      {"a row of zeros changes no field",
       "UPDATE CONFIGURACOES SET NUVEXAINTERVALO = 0, NUVEXAMINIMOBACKUP = 0, NUVEXAMAXIMOBACKUP = 0, "
       "NUVEXATAMANHOMAXIMO = 0, NUVEXAINTERVALOTHREAD = 0",
       0, before},
      {"NULLs and negative values change no field",
       "UPDATE CONFIGURACOES SET NUVEXAINTERVALO = NULL, NUVEXAMINIMOBACKUP = -1, NUVEXAMAXIMOBACKUP = NULL, "
       "NUVEXATAMANHOMAXIMO = -750, NUVEXAINTERVALOTHREAD = -60",
       0, before},
      {"a table without rows changes no field", "DELETE FROM CONFIGURACOES", 0, before},
  };
  for (const Case& c : kCases) {
    central_->RunSql(std::string(c.configuracoes) + ";");
    local_->RunSql("UPDATE PADRAO SET NUVEXAINTERVALO = " + std::to_string(c.local_intervalo) + ";");
    NewModule();
    module_->BackupIntervalo = before.BackupIntervalo;
    module_->MinimoBackup = before.MinimoBackup;
    module_->MaximoBackup = before.MaximoBackup;
    module_->MaximoTamanho = before.MaximoTamanho;
    module_->IntervaloThread = before.IntervaloThread;
    Sync();
    const central::BackupSettings fields = Fields();
    EXPECT_EQ(fields, c.expected) << c.why << ": got " << fields.BackupIntervalo << " " << fields.MinimoBackup << " "
                                  << fields.MaximoBackup << " " << fields.MaximoTamanho << " "
                                  << fields.IntervaloThread;
    if (fields != before) {
      EXPECT_EQ(module_->DTDropBox1.QtdMinArquivos(), fields.MinimoBackup) << c.why;
      EXPECT_EQ(module_->DTDropBox1.QtdMaxArquivos(), fields.MaximoBackup) << c.why;
      EXPECT_EQ(module_->DTDropBox1.TamMaxArquivos(), fields.MaximoTamanho) << c.why;
    }
  }
}

TEST_F(CentralSync, AnUnreachableCentralServerWritesOneLineAndChangesNothing) {
  environment_.PointCentralNowhere();
  NewModule();
  EXPECT_FALSE(Sync());
  EXPECT_EQ(Fields(), (central::BackupSettings{360, 3, 19, 750'000'000, 3'600'000}));
  EXPECT_EQ(module_->DTDropBox1.QtdMaxArquivos(), 19);
  // one entry: the client library's message may run over several lines of it
  EXPECT_EQ(module_->LogEntriesWritten(), 1);
  const auto messages = installation_.LogMessages();
  ASSERT_FALSE(messages.empty());
  EXPECT_THAT(messages[0], StartsWith("Falha na conexão com o servidor da central: "));
  EXPECT_THAT(messages[0], ::testing::HasSubstr("127.0.0.1")) << "the client library's message follows";
  EXPECT_EQ(Local("ESCRITAS"), "0");
}

TEST_F(CentralSync, AFailingStatementClosesTheConnectionAndGoesToTheCaller) {
  central_->RunSql("DROP TABLE CRST;");
  EXPECT_THROW(Sync(), std::exception);
  EXPECT_FALSE(module_->ConnTarvioSystem.Connected());
  EXPECT_EQ(module_->BackupIntervalo, 360) << "the fields are set only by a run that gets that far";
}

TEST(MachineAddress, IsAnAddressOfThisMachineThatIsNotLoopbackWhenItHasOne) {
  const test::CommandResult listed = test::RunCommand("hostname -I");
  ASSERT_EQ(listed.status, 0) << listed.output;
  std::istringstream words(listed.output);
  std::vector<std::string> ipv4;
  for (std::string word; words >> word;) {
    if (word.find(':') == std::string::npos) ipv4.push_back(word);
  }
  if (ipv4.empty()) GTEST_SKIP() << "this machine has no IPv4 address beyond loopback";
  platform::EventLoop loop;
  MemoryStatusReporter status;
  MemoryEventLogger event_log;
  test::Installation installation;
  TSrvNuvexa module({loop, status, event_log, installation.Folder()});
  EXPECT_THAT(ipv4, ::testing::Contains(module.CapturarIP()));
}

}  // namespace
}  // namespace nuvexa

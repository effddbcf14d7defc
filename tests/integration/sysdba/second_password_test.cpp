#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "service/srv_nuvexa.h"
#include "support/firebird_database.h"
#include "support/installation.h"

namespace nuvexa {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Changes SYSDBA's password on the shared server and puts the usual one back however the
// test ends.
class SysdbaPassword {
 public:
  explicit SysdbaPassword(const test::FirebirdDatabase& database) : database_(database) {}
  SysdbaPassword(const SysdbaPassword&) = delete;
  SysdbaPassword& operator=(const SysdbaPassword&) = delete;
  ~SysdbaPassword() {
    try {
      Set(test::kSysdbaPassword);
    } catch (const std::exception& e) {
      ADD_FAILURE() << "SYSDBA's password could not be restored: " << e.what();
    }
  }
  void Set(const std::string& password) {
    if (password == current_) return;
    test::TempFolder scratch;
    test::RunIsql(scratch, "CONNECT 'localhost:" + database_.Path() + "' USER 'SYSDBA' PASSWORD '" + current_ +
                               "';\nALTER USER SYSDBA PASSWORD '" + password + "';\nCOMMIT;");
    current_ = password;
  }

 private:
  const test::FirebirdDatabase& database_;
  std::string current_ = test::kSysdbaPassword;
};


// A module whose jobs report what ran, so the cycle can run without backups.
class CountingModule : public TSrvNuvexa {
 public:
  using TSrvNuvexa::TSrvNuvexa;
  int syncs = 0;

 protected:
  bool SincronizarCentral() override { return ++syncs > 0; }
  bool BackupDrovana() override { return true; }
  bool BackupReceitaDigital() override { return true; }
  void CloudStep() override {}
};

TEST(SecondPassword, FirstPasswordFailsSilentlyAndBothWrongLogOnce) {
  NUVEXA_REQUIRE_FIREBIRD();
  test::FirebirdDatabase database(test::ReadSourceFile("scripts/sql/pharmacy.sql"));
  test::Installation installation;
  installation.WriteSettings({"Servidor=localhost", "Caminho=" + database.Path()});
  SysdbaPassword password(database);
  platform::EventLoop loop;
  MemoryStatusReporter status;
  MemoryEventLogger event_log;

  password.Set("quindowel");
  {
    CountingModule module({loop, status, event_log, installation.Folder()});
    module.RunCycleNow();
    EXPECT_EQ(module.syncs, 1) << "connected with the second password";
    EXPECT_EQ(module.Conndrovana.ParamValue("Password"), "quindowel");
    EXPECT_THAT(installation.LogMessages(), IsEmpty()) << "the first password's failure writes nothing";
  }

  password.Set("neither-of-them");
  {
    CountingModule module({loop, status, event_log, installation.Folder()});
    module.RunCycleNow();
    EXPECT_EQ(module.syncs, 0);
    EXPECT_THAT(installation.LogMessages(), ElementsAre("Falha na conexão com o banco de dados!!!"));
    EXPECT_EQ(module.Timer1.Interval(), 5000);
  }
}

}  // namespace
}  // namespace nuvexa

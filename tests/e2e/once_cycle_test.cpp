// nuvexa -ONCE with the cloud copy off, so that a cycle is the two backup jobs alone: from
// folders whose names the process's locale may not spell, and with a PADRAO whose schedule
// columns hold what the management program may leave in them.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "child_process.h"
#include "platform/file.h"
#include "support/firebird_database.h"
#include "support/installation.h"
#include "support/service_environment.h"
#include "support/temp_folder.h"
#include "support/test_files.h"

namespace nuvexa {
namespace {

const std::string kCredentials = " USER 'SYSDBA' PASSWORD 'cobweb'";

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// Firebird's tools under a UTF-8 locale, so that only the service meets the test's locale.
std::string RunToolUtf8(const std::string& command) {
  const test::CommandResult result = test::RunCommand("LC_ALL=C.UTF-8 " + command + " 2>&1");
  if (result.status != 0) throw std::runtime_error(command + " failed:\n" + result.output);
  return result.output;
}

std::string RunIsqlUtf8(const test::TempFolder& scratch, const std::string& script) {
  const std::string path = scratch.WriteFile("script.sql", "SET NAMES UTF8;\n" + script + "\n");
  return RunToolUtf8("isql-fb -q -b -i " + Quoted(path));
}

std::string MakeFolder(const std::string& parent, const std::string& name, mode_t mode) {
  const std::string folder = parent + name + "/";
  std::filesystem::create_directory(folder);
  if (::chmod(folder.c_str(), mode) != 0) throw std::runtime_error("cannot set the mode of " + folder);
  return folder;
}

// The installation's two local databases, QUORVO.FDB and RECEITADIGITAL.FDB, side by side
// in `folder`, which the server may write; dropped when the object goes.
class LocalDatabases {
 public:
  LocalDatabases(std::string folder, const std::string& padrao_sql) : folder_(std::move(folder)) {
    Create(Pharmacy(), test::ReadSourceFile("scripts/sql/pharmacy.sql") + padrao_sql);
    Create(folder_ + "RECEITADIGITAL.FDB", test::ReadSourceFile("scripts/sql/prescription.sql"));
  }
  ~LocalDatabases() {
    for (const std::string& path : {Pharmacy(), folder_ + "RECEITADIGITAL.FDB"}) {
      try {
        RunIsqlUtf8(scratch_, "CONNECT " + Quoted("localhost:" + path) + kCredentials + ";\nDROP DATABASE;");
      } catch (const std::exception&) {
        // the files go with their temporary folder anyway
      }
    }
  }
  LocalDatabases(const LocalDatabases&) = delete;
  LocalDatabases& operator=(const LocalDatabases&) = delete;

  std::string Pharmacy() const { return folder_ + "QUORVO.FDB"; }

 private:
  void Create(const std::string& path, const std::string& setup_sql) const {
    RunIsqlUtf8(scratch_, "CREATE DATABASE " + Quoted("localhost:" + path) + kCredentials +
                              " DEFAULT CHARACTER SET ISO8859_1;\n" + setup_sql + "\nCOMMIT;");
  }

  std::string folder_;
  test::TempFolder scratch_;
};

// The one backup file of a backup folder; "" when there is none, or more.
std::string OnlyBackupIn(const std::string& folder) {
  if (!std::filesystem::exists(folder)) return "";
  std::vector<std::string> backups;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() == ".fbk") backups.push_back(entry.path().string());
  }
  return backups.size() == 1 ? backups[0] : "";
}

class OnceCycle : public ::testing::Test {
 protected:
  void SetUp() override {
    NUVEXA_REQUIRE_FIREBIRD();
    central_ = std::make_unique<test::FirebirdDatabase>(
        test::ReadSourceFile("scripts/sql/central.sql") +
        "INSERT INTO CONFIGURACOES VALUES (1, 360, 3, 20, 750, 60, 'Y', '', 0);\n"
        "INSERT INTO CLIENTES (CODIGO, CNPJ, ESTADO, SUPORTEATIVO) VALUES (1, '12.345.678/0001-95', 'SP', 'Y');\n"
        "COMMIT;\n");
    environment_.PointCentralAt(*central_);
  }

  // Installs the executable and its quorvo.ini in `folder`, then runs one cycle under `locale`.
  test::ChildResult RunOnce(const std::string& folder, const std::vector<std::string>& settings,
                            const std::string& locale) const {
    std::filesystem::copy_file(test::NuvexaBinary(), folder + "nuvexa",
                               std::filesystem::copy_options::overwrite_existing);
    std::string ini = "[Quorvo]\r\n";
    for (const std::string& line : settings) ini += line + "\r\n";
    std::ofstream(folder + "quorvo.ini", std::ios::binary) << ini;
    return test::RunToEnd(folder + "nuvexa", {"-ONCE"}, {{"LC_ALL", locale}}, output_.Path());
  }

  // Restores the backup file into a new database and counts the pharmacy's products there.
  std::string RestoredProducts(const std::string& backup) const {
    test::TempFolder target;
    ::chmod(target.Path().c_str(), 0777);
    const std::string restored = "localhost:" + target.Path() + "restored.fdb";
    RunToolUtf8("gbak -c -user SYSDBA -password cobweb " + Quoted(backup) + " " + Quoted(restored));
    return test::WhitespaceCollapsed(RunIsqlUtf8(
        target, "CONNECT " + Quoted(restored) + kCredentials +
                    ";\nSET HEADING OFF;\nSELECT COUNT(*) FROM PRODUTOS;\nDROP DATABASE;"));
  }

  std::unique_ptr<test::FirebirdDatabase> central_;
  test::ScopedEnvironment environment_;
  test::TempFolder output_;
};

// Only PADRAO's NUVEXADESATIVAR = 'Y' keeps the backup files: the archive would replace them.
constexpr const char* kCloudOff = "UPDATE PADRAO SET NUVEXADESATIVAR = 'Y';\n";

TEST_F(OnceCycle, BacksUpFromFoldersWithNonAsciiNamesWhateverTheLocale) {
  for (const std::string locale : {"C", "C.UTF-8"}) {
    SCOPED_TRACE("LC_ALL=" + locale);
    test::Installation parent;
    const std::string installation = MakeFolder(parent.Folder(), "Farmácia São João", 0755);
    test::TempFolder data;
    ::chmod(data.Path().c_str(), 0777);
    const LocalDatabases databases(MakeFolder(data.Path(), "Dados da Farmácia", 0777), kCloudOff);
    const std::string external = MakeFolder(data.Path(), "Cópias de Segurança", 0755);

    const std::vector<std::string> settings = {"Servidor=localhost", "Caminho=" + databases.Pharmacy(),
                                               "PastaExternaBackupDrovana=" + external};
    const test::ChildResult run = RunOnce(installation, settings, locale);

    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(platform::FileExists(installation + "Nuvexa.log")) << test::ReadFileBytes(installation + "Nuvexa.log");
    const std::string backup = OnlyBackupIn(installation + "BACKUP DROVANA");
    EXPECT_NE(backup, "") << "one backup of the pharmacy's database";
    if (backup.empty()) continue;
    EXPECT_EQ(RestoredProducts(backup), " 3 ");
    const std::string copy = external + std::filesystem::path(backup).filename().string();
    EXPECT_TRUE(test::ReadFileBytes(copy) == test::ReadFileBytes(backup)) << "the external folder has the same backup";
    EXPECT_NE(OnlyBackupIn(installation + "BACKUP RECEITA DIGITAL"), "") << "the database beside Caminho too";
  }
}

TEST_F(OnceCycle, TheScheduledHourIsReadOnlyInFixedHourMode) {
  // The management program owns the schema: here the hour is a text column holding no time.
  const std::string kTextHour =
      "ALTER TABLE PADRAO DROP NUVEXA_HORABACKUPAGENDADO;\n"
      "ALTER TABLE PADRAO ADD NUVEXA_HORABACKUPAGENDADO VARCHAR(10);\n"
      "COMMIT;\n"
      "UPDATE PADRAO SET NUVEXA_HORABACKUPAGENDADO = 'xx';\n";
  struct Case {
    const char* why;
    const char* mode;
    bool backed_up;
    std::vector<std::string> log;
  } const cases[] = {
      {"interval mode never looks at it", "N", true, {}},
      {"fixed-hour mode stops the cycle with a message", "Y", false,
       {"NUVEXA_HORABACKUPAGENDADO: 'xx' is not a time of day"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    test::Installation installation;
    test::TempFolder data;
    ::chmod(data.Path().c_str(), 0777);
    const LocalDatabases databases(data.Path(), kCloudOff + kTextHour +
                                                    "UPDATE PADRAO SET NUVEXA_BACKUPAGENDADO = '" + c.mode + "';\n");

    const test::ChildResult run =
        RunOnce(installation.Folder(), {"Servidor=localhost", "Caminho=" + databases.Pharmacy()}, "C.UTF-8");

    EXPECT_EQ(run.status, c.log.empty() ? 0 : 1) << run.err;
    EXPECT_EQ(installation.LogMessages(), c.log);
    EXPECT_EQ(OnlyBackupIn(installation.Folder() + "BACKUP DROVANA") != "", c.backed_up);
  }
}

}  // namespace
}  // namespace nuvexa

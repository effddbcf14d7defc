#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>
#include <thread>

#include "platform/file.h"
#include "support/firebird_database.h"
#include "support/installation.h"
#include "support/fake_cloud_server.h"
#include "support/service_environment.h"
#include "support/test_files.h"

extern char** environ;

namespace nuvexa {
namespace {

using namespace std::chrono_literals;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The executable copied into an installation folder, so that it finds quorvo.ini and writes
// Nuvexa.log beside itself.
class InstalledNuvexa {
 public:
  explicit InstalledNuvexa(const test::Installation& installation) : path_(installation.Folder() + "nuvexa") {
    std::filesystem::copy_file(test::NuvexaBinary(), path_, std::filesystem::copy_options::overwrite_existing);
  }
  // Starts it with one switch; standard error goes to `stderr_path`.
  pid_t Start(const std::string& switch_name, const std::string& stderr_path) const {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, stderr_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const std::string arg = "-" + switch_name;
    char* argv[] = {const_cast<char*>(path_.c_str()), const_cast<char*>(arg.c_str()), nullptr};
    pid_t pid = 0;
    const int error = posix_spawn(&pid, path_.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) throw std::runtime_error("cannot start " + path_);
    return pid;
  }
  // Waits for the process; -1 when it has not ended in time (it is then killed).
  static int WaitExit(pid_t pid, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      if (std::chrono::steady_clock::now() > end) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return -1;
      }
      std::this_thread::sleep_for(20ms);
    }
  }

 private:
  std::string path_;
};

class Foreground : public ::testing::Test {
 protected:
  void SetUp() override { NUVEXA_REQUIRE_FIREBIRD(); }
  test::Installation installation_;
  InstalledNuvexa nuvexa_{installation_};
  std::string stderr_ = installation_.Folder() + "stderr.txt";
};

// The maker's central database with the settings every installation gets.
std::unique_ptr<test::FirebirdDatabase> CentralDatabase() {
  return std::make_unique<test::FirebirdDatabase>(
      test::ReadSourceFile("scripts/sql/central.sql") +
      "INSERT INTO CONFIGURACOES VALUES (1, 360, 3, 20, 750, 60, 'Y', '', 0);\n"
      "INSERT INTO CLIENTES (CODIGO, CNPJ, ESTADO, SUPORTEATIVO) VALUES (1, '12.345.678/0001-95', 'SP', 'Y');\n"
      "COMMIT;\n");
}

TEST_F(Foreground, OnceExitsZeroOnACleanCycle) {
  const auto central = CentralDatabase();
  test::ScopedEnvironment environment;
  environment.PointCentralAt(*central);
  test::FirebirdDatabase database(test::ReadSourceFile("scripts/sql/pharmacy.sql"));
  // a backup made a minute ago: the cycle connects and finds nothing due
  database.RunSql("UPDATE PADRAO SET NUVEXAULTIMOBACKUP = DATEADD(-1 MINUTE TO CURRENT_TIMESTAMP);");
  installation_.WriteSettings({"Servidor=localhost", "Caminho=" + database.Path()});
  EXPECT_EQ(InstalledNuvexa::WaitExit(nuvexa_.Start("ONCE", stderr_), 60s), 0);
  EXPECT_FALSE(platform::FileExists(installation_.Folder() + "Nuvexa.log"));
  // the runtime files are written at every start, first of all, and are nobody else's to read
  for (const char* runtime_file : {"libeay32.dll", "ssleay32.dll", "openssl.exe", "zlib1.dll"}) {
    const std::string path = installation_.Folder() + runtime_file;
    EXPECT_TRUE(platform::FileExists(path)) << runtime_file;
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::others_all,
              std::filesystem::perms::none)
        << runtime_file;
  }
}

TEST_F(Foreground, OnceWithTheCloudCopyOnStoresTheArchiveInTheCompanyFolder) {
  test::FirebirdDatabase pharmacy(test::ReadSourceFile("scripts/sql/pharmacy.sql"));
  test::TempFolder scratch;
  test::RunIsql(scratch, "CREATE DATABASE 'localhost:" + pharmacy.Folder() +
                             "RECEITADIGITAL.FDB' USER 'SYSDBA' PASSWORD 'cobweb' DEFAULT CHARACTER SET ISO8859_1;\n" +
                             test::ReadSourceFile("scripts/sql/prescription.sql"));
  const auto central = CentralDatabase();
  test::TestCertificates certificates;
  std::vector<std::string> arguments = certificates.ServerArguments();
  arguments.insert(arguments.end(), {"--content-port", "0"});
  test::FakeCloudServer cloud(arguments);
  test::ScopedEnvironment environment;
  environment.PointCentralAt(*central);
  environment.PointCloudAt(cloud, certificates.CaFile());
  installation_.WriteSettings({"Servidor=localhost", "Caminho=" + pharmacy.Path()});

  EXPECT_EQ(InstalledNuvexa::WaitExit(nuvexa_.Start("ONCE", stderr_), 120s), 0) << test::ReadFileBytes(stderr_);
  EXPECT_FALSE(platform::FileExists(installation_.Folder() + "Nuvexa.log"));
  std::vector<std::filesystem::path> archives;
  for (const auto& entry : std::filesystem::directory_iterator(installation_.Folder() + "BACKUP DROVANA")) {
    archives.push_back(entry.path());
  }
  ASSERT_EQ(archives.size(), 1u);
  const auto uploaded = cloud.root() / "12345678000195" / archives[0].filename();
  EXPECT_EQ(test::ReadFileBytes(uploaded.string()), test::ReadFileBytes(archives[0].string()));
  EXPECT_THAT(pharmacy.RunSql("SET HEADING OFF; SELECT NUVEXAULTIMOBACKUP FROM PADRAO;"),
              ::testing::Not(::testing::HasSubstr("<null>")));

  const std::size_t requests = cloud.LogLines().size();
  EXPECT_EQ(InstalledNuvexa::WaitExit(nuvexa_.Start("ONCE", stderr_), 60s), 0) << "a second run finds nothing due";
  EXPECT_EQ(cloud.LogLines().size(), requests);
}

TEST_F(Foreground, OnceExitsOneWithTheLogLineWhenTheDatabaseIsUnreachable) {
  installation_.WriteSettings({"Servidor=localhost", "Caminho=" + installation_.Folder() + "missing.fdb"});
  EXPECT_EQ(InstalledNuvexa::WaitExit(nuvexa_.Start("once", stderr_), 60s), 1);
  EXPECT_THAT(installation_.LogMessages(), ElementsAre("Falha na conexão com o banco de dados!!!"));
  std::ifstream echoed(stderr_);
  std::string line;
  std::getline(echoed, line);
  EXPECT_THAT(line, ::testing::HasSubstr(" - Falha na conexão com o banco de dados!!!")) << "echoed in UTF-8";
}

TEST_F(Foreground, ConsoleRetriesEveryFiveSecondsAndStopsOnSigterm) {
  installation_.WriteSettings({"Servidor=localhost", "Caminho=" + installation_.Folder() + "missing.fdb"});
  const pid_t pid = nuvexa_.Start("CONSOLE", stderr_);
  // cycles at about 5 s and 10 s (each one period after the previous one ended)
  std::this_thread::sleep_for(12s);
  ::kill(pid, SIGTERM);
  EXPECT_EQ(InstalledNuvexa::WaitExit(pid, 10s), 0) << "a clean stop";
  const auto messages = installation_.LogMessages();
  EXPECT_EQ(messages.size(), 2u);
  EXPECT_THAT(messages, Each("Falha na conexão com o banco de dados!!!"));
}

}  // namespace
}  // namespace nuvexa

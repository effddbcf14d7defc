#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "backup/backup_naming.h"
#include "platform/file.h"
#include "platform/folders.h"
#include "platform/paths.h"
#include "service/srv_nuvexa.h"
#include "support/firebird_database.h"
#include "support/installation.h"
#include "support/service_environment.h"
#include "support/test_files.h"

namespace nuvexa {
namespace {

namespace fs = std::filesystem;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

// Restores a backup file into a new database and counts the rows of a table there.
std::string RestoredRows(const std::string& backup, const test::FirebirdDatabase& scratch, const std::string& table) {
  const std::string target = scratch.Folder() + "restored-" + std::to_string(::getpid()) + ".fdb";
  std::remove(target.c_str());
  const auto [status, output] =
      test::RunCommand("gbak -c -user SYSDBA -password cobweb '" + backup + "' 'localhost:" + target + "'");
  if (status != 0) return "restore failed: " + output;
  test::TempFolder isql;
  const std::string rows = test::RunIsql(isql, "CONNECT 'localhost:" + target +
                                                   "' USER 'SYSDBA' PASSWORD 'cobweb';\nSET HEADING OFF;\nSELECT COUNT(*) FROM " +
                                                   table + ";\nDROP DATABASE;");
  const auto first = rows.find_first_not_of(" \n");
  return first == std::string::npos ? rows : rows.substr(first, rows.find_last_not_of(" \n") - first + 1);
}

// The module with the central synchronisation and the cloud step left out (they have their
// own tests).
class JobsModule : public TSrvNuvexa {
 public:
  using TSrvNuvexa::BackupDrovana;
  using TSrvNuvexa::BackupReceitaDigital;
  using TSrvNuvexa::TSrvNuvexa;

 protected:
  bool SincronizarCentral() override { return false; }
  void CloudStep() override {}
};

class BackupJobs : public ::testing::Test {
 protected:
  void SetUp() override {
    NUVEXA_REQUIRE_FIREBIRD();
    pharmacy_ = std::make_unique<test::FirebirdDatabase>(test::ReadSourceFile("scripts/sql/pharmacy.sql"));
    // the digital-prescription database lies beside the pharmacy database
    prescription_path_ = pharmacy_->Folder() + "RECEITADIGITAL.FDB";
    test::TempFolder scratch;
    test::RunIsql(scratch, "CREATE DATABASE 'localhost:" + prescription_path_ +
                               "' USER 'SYSDBA' PASSWORD 'cobweb' DEFAULT CHARACTER SET ISO8859_1;\n" +
                               test::ReadSourceFile("scripts/sql/prescription.sql"));
    module_.ArchivePauseMilliseconds = 0;
    Settings({});
  }
  void TearDown() override {
    if (!prescription_path_.empty()) {
      test::TempFolder scratch;
      try {
        test::RunIsql(scratch, "CONNECT 'localhost:" + prescription_path_ + "' USER 'SYSDBA' PASSWORD 'cobweb';\nDROP DATABASE;");
      } catch (const std::exception&) {
      }
    }
  }
  void Settings(std::vector<std::string> extra) {
    extra.insert(extra.begin(), {"Servidor=localhost", "Caminho=" + pharmacy_->Path()});
    installation_.WriteSettings(extra);
  }
  void SetCloudSwitch(const char* value) { pharmacy_->RunSql(std::string("UPDATE PADRAO SET NUVEXADESATIVAR = '") + value + "';"); }
  // Opens the local connection and PADRAO as a cycle does before the jobs run.
  void PrepareCycle() {
    module_.CarregarParametrosConexao("SYSDBA", test::kSysdbaPassword);
    module_.Conndrovana.Open();
    module_.TBPadrao.Open();
    module_.DataHoraAtualBackup = platform::Now();
  }
  std::string Folder(const char* name) const { return installation_.Folder() + name + "/"; }
  std::string Stamped(const char* folder, const char* prefix, const char* extension) const {
    return Folder(folder) + prefix + backup::BackupStamp(module_.DataHoraAtualBackup) + extension;
  }

  test::Installation installation_;
  std::unique_ptr<test::FirebirdDatabase> pharmacy_;
  std::string prescription_path_;
  platform::EventLoop loop_;
  MemoryStatusReporter status_;
  MemoryEventLogger event_log_;
  JobsModule module_{{loop_, status_, event_log_, installation_.Folder()}};
};

TEST_F(BackupJobs, CycleWithTheCloudCopyOffBacksUpBothDatabasesAndRecordsTheTime) {
  SetCloudSwitch("Y");
  module_.RunCycleNow();
  ASSERT_THAT(installation_.LogMessages(), IsEmpty());

  const std::string drovana = Stamped("BACKUP DROVANA", "NuvexaDrovana_", ".fbk");
  const std::string receita = Stamped("BACKUP RECEITA DIGITAL", "NuvexaRecDigital_", ".fbk");
  ASSERT_TRUE(platform::FileExists(drovana));
  ASSERT_TRUE(platform::FileExists(receita));
  EXPECT_FALSE(platform::FileExists(platform::ChangeFileExt(drovana, ".zip"))) << "no archive with the cloud copy off";
  EXPECT_EQ(RestoredRows(drovana, *pharmacy_, "PRODUTOS"), "3");
  EXPECT_EQ(RestoredRows(receita, *pharmacy_, "RECEITAS"), "2");

  const std::string recorded = pharmacy_->RunSql("SET HEADING OFF; SELECT NUVEXAULTIMOBACKUP FROM PADRAO;");
  const platform::DateParts d = platform::DecodeDate(module_.DataHoraAtualBackup);
  const platform::TimeParts t = platform::DecodeTime(module_.DataHoraAtualBackup);
  char expected[32];
  std::snprintf(expected, sizeof expected, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day, t.hour, t.minute, t.second);
  EXPECT_THAT(recorded, HasSubstr(expected));
}

TEST_F(BackupJobs, CloudCopyOnArchivesTheBackupAndRemovesIt) {
  PrepareCycle();
  const std::string kept_backup = installation_.Folder() + "kept.fbk";
  module_.BeforeArchiveCheck = [&](const std::string& archive) {
    fs::copy_file(platform::ChangeFileExt(archive, ".fbk"), kept_backup);  // the finished backup file
  };
  ASSERT_TRUE(module_.BackupDrovana());
  ASSERT_THAT(installation_.LogMessages(), IsEmpty());
  const std::string backup = Stamped("BACKUP DROVANA", "NuvexaDrovana_", ".fbk");
  const std::string archive = platform::ChangeFileExt(backup, ".zip");
  EXPECT_EQ(module_.ArquivoCompactadoDrovana, archive);
  EXPECT_FALSE(platform::FileExists(backup));
  ASSERT_TRUE(platform::FileExists(archive));

  EXPECT_EQ(test::RunCommand("unzip -t '" + archive + "'").status, 0);
  const std::string info = test::WhitespaceCollapsed(test::RunCommand("zipinfo -v '" + archive + "'").output);
  EXPECT_THAT(info, HasSubstr("central directory contains 1 entry."));
  EXPECT_THAT(info, HasSubstr("Central directory entry #1: --------------------------- " +
                              platform::ExtractFileName(backup) + " offset"))
      << "the bare file name";
  EXPECT_THAT(info, HasSubstr("compression method: deflated"));
  EXPECT_THAT(info, HasSubstr("minimum software version required to extract: 2.0"));
  EXPECT_THAT(info, HasSubstr("version of encoding software: 2.0"));
  EXPECT_THAT(info, HasSubstr("extended local header: no"));
  EXPECT_THAT(info, HasSubstr("MS-DOS file attributes (20 hex): arc"));
  const std::string header = test::ReadFileBytes(archive).substr(0, 8);
  EXPECT_EQ(header.substr(4, 4), std::string("\x14\0\0\0", 4)) << "version needed 20, flag 0";

  test::TempFolder out;
  ASSERT_EQ(test::RunCommand("unzip -q '" + archive + "' -d '" + out.Path() + "'").status, 0);
  const std::string extracted = out.Path() + platform::ExtractFileName(backup);
  EXPECT_EQ(test::ReadFileBytes(extracted), test::ReadFileBytes(kept_backup)) << "byte-identical to the backup file";
  EXPECT_EQ(RestoredRows(extracted, *pharmacy_, "PRODUTOS"), "3");
}

// With the cloud copy on, the archive takes the backup file's blocks while the server is still
// writing it, and holds the finished file.
TEST_F(BackupJobs, TheArchiveGrowsWhileTheServerWritesTheBackup) {
  // rows enough for a backup of several blocks
  pharmacy_->RunSql(
      "CREATE TABLE LASTRO (T VARCHAR(40));\nCOMMIT;\nSET TERM ^;\n"
      "EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < 400000) DO BEGIN "
      "INSERT INTO LASTRO VALUES (UUID_TO_CHAR(GEN_UUID())); I = I + 1; END END^\nSET TERM ;^");
  PrepareCycle();
  // Compressed on the archive's own thread: worker threads at idle priority wait while other
  // tests keep the cores busy, which is what they are for.
  test::ScopedEnvironment environment;
  environment.Set("NUVEXA_ARCHIVE_THREADS", "1");
  const std::string backup = Stamped("BACKUP DROVANA", "NuvexaDrovana_", ".fbk");
  const std::string archive = platform::ChangeFileExt(backup, ".zip");
  const std::string kept_backup = installation_.Folder() + "kept.fbk";
  module_.BeforeArchiveCheck = [&](const std::string&) { fs::copy_file(backup, kept_backup); };

  std::atomic<bool> done = false;
  std::uintmax_t backup_size_when_archive_had_data = 0;
  bool backup_grew_after = false;
  std::thread watcher([&] {
    while (!done && !backup_grew_after) {
      std::error_code e1, e2;
      const std::uintmax_t zip = fs::file_size(archive, e1);
      const std::uintmax_t fbk = fs::file_size(backup, e2);
      if (!e1 && !e2) {
        if (backup_size_when_archive_had_data == 0 && zip > 4096) backup_size_when_archive_had_data = fbk;
        if (backup_size_when_archive_had_data != 0 && fbk > backup_size_when_archive_had_data) backup_grew_after = true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  const bool made = module_.BackupDrovana();
  done = true;
  watcher.join();
  ASSERT_TRUE(made) << ::testing::PrintToString(installation_.LogMessages());
  EXPECT_TRUE(backup_grew_after) << "the archive held compressed data only once the backup file stopped growing";
  EXPECT_EQ(module_.ArquivoCompactadoDrovana, archive);
  EXPECT_FALSE(platform::FileExists(backup));

  test::TempFolder out;
  ASSERT_EQ(test::RunCommand("unzip -q '" + archive + "' -d '" + out.Path() + "'").status, 0);
  const std::string extracted = out.Path() + platform::ExtractFileName(backup);
  EXPECT_TRUE(test::ReadFileBytes(extracted) == test::ReadFileBytes(kept_backup)) << "not the finished backup file";
}

// The executable's folder is root's (0755): only the backup folders that the service makes
// let the server in, and nothing the service writes is readable by other users.
TEST_F(BackupJobs, TheServerWritesIntoTheFoldersTheServiceSharesAndNothingIsWorldReadable) {
  // each job trims its external folder of the other job's kind of file: one folder each
  const std::string externa = installation_.Folder() + "copias/";
  const std::string externa_receita = installation_.Folder() + "copias-receita/";
  platform::ForceDirectories(externa);
  platform::ForceDirectories(externa_receita);
  Settings({"PastaExternaBackupDrovana=" + externa, "PastaExternaBackupReceitaDigital=" + externa_receita});
  const mode_t saved = ::umask(0);  // whatever the service inherits
  module_.RunCycleNow();
  ::umask(saved);
  ASSERT_THAT(installation_.LogMessages(), IsEmpty());

  const ::group* firebird = ::getgrnam("firebird");
  ASSERT_NE(firebird, nullptr);
  for (const char* name : {"BACKUP DROVANA", "BACKUP RECEITA DIGITAL"}) {
    struct stat st{};
    ASSERT_EQ(::stat(Folder(name).c_str(), &st), 0) << name;
    EXPECT_EQ(st.st_mode & 07777, 02770u) << name;
    EXPECT_EQ(st.st_gid, firebird->gr_gid) << name;
  }
  const std::string archive = Stamped("BACKUP DROVANA", "NuvexaDrovana_", ".zip");
  const std::string receita = Stamped("BACKUP RECEITA DIGITAL", "NuvexaRecDigital_", ".fbk");
  ASSERT_TRUE(platform::FileExists(archive));
  ASSERT_TRUE(platform::FileExists(receita)) << "the server wrote into the shared folder";
  for (const std::string& ours : {archive, externa + platform::ExtractFileName(archive),
                                   externa_receita + platform::ExtractFileName(receita)}) {
    struct stat st{};
    ASSERT_EQ(::stat(ours.c_str(), &st), 0) << ours;
    EXPECT_EQ(st.st_mode & 0007, 0u) << ours << " is readable by others";
    EXPECT_EQ(st.st_mode & 0777, 0640u) << ours;
  }
}

TEST_F(BackupJobs, FailedBackupLogsTheServerMessageAndStillTrims) {
  SetCloudSwitch("Y");
  PrepareCycle();
  // the settings change after the cycle connected: the job reads them afresh
  installation_.WriteSettings({"Servidor=localhost", "Caminho=" + pharmacy_->Folder() + "NAOEXISTE.FDB"});
  // six old backups: the trim keeps five even though this run's backup failed
  platform::ForceDirectories(Folder("BACKUP DROVANA"));
  for (int i = 0; i < 6; ++i) {
    const std::string old = Folder("BACKUP DROVANA") + "NuvexaDrovana_old" + std::to_string(i) + ".fbk";
    std::ofstream(old) << "old";
    fs::last_write_time(old, fs::file_time_type::clock::now() - std::chrono::hours(24 * (10 - i)));
  }
  EXPECT_FALSE(module_.BackupDrovana());
  const auto messages = installation_.LogMessages();
  ASSERT_FALSE(messages.empty());
  EXPECT_THAT(messages[0], StartsWith("[FireDAC][Phys][FB]"));
  EXPECT_THAT(test::ReadFileBytes(installation_.Folder() + "Nuvexa.log"), HasSubstr("NAOEXISTE.FDB"));
  EXPECT_FALSE(platform::FileExists(Folder("BACKUP DROVANA") + "NuvexaDrovana_old0.fbk")) << "the oldest went";
  EXPECT_TRUE(platform::FileExists(Folder("BACKUP DROVANA") + "NuvexaDrovana_old1.fbk"));
  EXPECT_TRUE(module_.ArquivoCompactadoDrovana.empty());
}

TEST_F(BackupJobs, ArchiveThatCannotBeCreatedLeavesNoArchiveAndFailsTheJob) {
  PrepareCycle();
  const std::string archive = Stamped("BACKUP DROVANA", "NuvexaDrovana_", ".zip");
  platform::CreateSharedFolder(Folder("BACKUP DROVANA"), "firebird");
  platform::ForceDirectories(archive);  // a folder where the archive should go
  EXPECT_FALSE(module_.BackupDrovana());
  EXPECT_THAT(installation_.LogMessages(), ElementsAre(StartsWith("Falha ao compactar o arquivo: ")));
  EXPECT_FALSE(platform::FileExists(archive));
  EXPECT_FALSE(platform::FileExists(Stamped("BACKUP DROVANA", "NuvexaDrovana_", ".fbk"))) << "the backup file goes anyway";
  EXPECT_TRUE(module_.ArquivoCompactadoDrovana.empty()) << "never names an archive that is not complete";
}

TEST_F(BackupJobs, AMissingBackupFileIsAnArchiveFailure) {
  const std::string missing = Folder("BACKUP DROVANA") + "NuvexaDrovana_10122026_1000.fbk";
  const std::string archive = platform::ChangeFileExt(missing, ".zip");
  platform::ForceDirectories(Folder("BACKUP DROVANA"));
  EXPECT_FALSE(module_.TSrvNuvexa::CompactarArquivo(missing, archive)) << "an archive without the backup is no backup";
  EXPECT_THAT(installation_.LogMessages(),
              ElementsAre(AllOf(StartsWith("Falha ao compactar o arquivo: "), HasSubstr(missing))));
  EXPECT_FALSE(platform::FileExists(archive));
}

TEST_F(BackupJobs, ExternalCopiesAndTheirFailures) {
  const std::string external = installation_.Folder() + "copias";
  fs::create_directories(external);
  Settings({"PastaExternaBackupDrovana=" + external, "PastaExternaBackupReceitaDigital=" + external + "/missing"});
  PrepareCycle();
  ASSERT_TRUE(module_.BackupDrovana());
  ASSERT_TRUE(module_.BackupReceitaDigital());
  EXPECT_TRUE(platform::FileExists(external + "/" + platform::ExtractFileName(module_.ArquivoCompactadoDrovana)))
      << "the archive is copied with the cloud copy on";
  EXPECT_THAT(installation_.LogMessages(),
              ElementsAre("Falha ao copiar Backup para pasta externa: No such file or directory"));
}

TEST_F(BackupJobs, AnExternalFolderThatIsTheBackupFolderItselfLeavesTheArchiveWhole) {
  // the administrator's link to the backup folder, made before the service made the folder
  const std::string external = installation_.Folder() + "copias";
  ASSERT_EQ(::symlink(Folder("BACKUP DROVANA").c_str(), external.c_str()), 0);
  Settings({"PastaExternaBackupDrovana=" + external});
  PrepareCycle();
  ASSERT_TRUE(module_.BackupDrovana());
  EXPECT_THAT(installation_.LogMessages(), ElementsAre(AllOf(StartsWith("Falha ao copiar Backup para pasta externa: "),
                                                             HasSubstr("is the file being copied itself"))));
  const std::string archive = Stamped("BACKUP DROVANA", "NuvexaDrovana_", ".zip");
  EXPECT_EQ(test::RunCommand("unzip -t '" + archive + "'").status, 0) << "the archive the cloud step sends";
}

TEST_F(BackupJobs, ACloudSwitchThatCannotBeReadIsLoggedAndEndsTheJobWithoutTrimming) {
  const std::string external = installation_.Folder() + "copias/";
  platform::ForceDirectories(external);
  Settings({"PastaExternaBackupDrovana=" + external});
  platform::CreateSharedFolder(Folder("BACKUP DROVANA"), "firebird");
  const std::string old_archive = Folder("BACKUP DROVANA") + "NuvexaDrovana_01012026_1000.zip";
  const std::string old_backup = Folder("BACKUP DROVANA") + "NuvexaDrovana_01012026_1000.fbk";
  std::ofstream(old_archive) << "old";
  std::ofstream(old_backup) << "old";
  // PADRAO was never opened: the switch's column is unknown to the query
  module_.CarregarParametrosConexao("SYSDBA", test::kSysdbaPassword);
  module_.Conndrovana.Open();
  module_.DataHoraAtualBackup = platform::Now();

  bool made = true;
  ASSERT_NO_THROW(made = module_.BackupDrovana());
  EXPECT_FALSE(made);
  EXPECT_THAT(installation_.LogMessages(), ElementsAre("[FireDAC][Phys][FB]Field [NUVEXADESATIVAR] not found."));
  EXPECT_TRUE(platform::FileExists(old_archive)) << "either trim rule would delete one kind of backup";
  EXPECT_TRUE(platform::FileExists(old_backup));
  EXPECT_TRUE(platform::FileExists(Stamped("BACKUP DROVANA", "NuvexaDrovana_", ".fbk"))) << "the backup was made";
  EXPECT_TRUE(fs::is_empty(external)) << "nothing copied by a guess";
}

// The trim on real files: the times decide, not the names.
class Retention : public ::testing::Test {
 protected:
  void MakeFile(const std::string& name, int age_minutes) {
    const std::string path = folder_.Path() + name;
    std::ofstream(path) << name;
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::minutes(age_minutes));
  }
  std::vector<std::string> Remaining() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_.Path())) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  test::TempFolder folder_;
  platform::EventLoop loop_;
  MemoryStatusReporter status_;
  MemoryEventLogger event_log_;
  TSrvNuvexa module_{{loop_, status_, event_log_, folder_.Path()}};
};

TEST_F(Retention, KeepsTheNewestByTimeNotByName) {
  // names count up while the times count down: z24 is the oldest
  for (int i = 0; i < 25; ++i) MakeFile("a" + std::to_string(100 + i) + ".zip", 1000 - i * 10);
  MakeFile("zz-oldest.ZIP", 5000);
  module_.LimpaPastaLocal(folder_.Path(), 20, "*.zip");
  const auto remaining = Remaining();
  ASSERT_EQ(remaining.size(), 20u);
  EXPECT_EQ(remaining.front(), "a105.zip") << "zz-oldest and a100 to a104 were the oldest";
  EXPECT_EQ(remaining.back(), "a124.zip");
}

TEST_F(Retention, ZeroDeletesTheMaskOnlyAndLeavesHiddenFilesAndFolders) {
  MakeFile("a.fbk", 10);
  MakeFile("b.FBK", 20);
  MakeFile("c.zip", 30);
  MakeFile(".hidden.fbk", 40);
  fs::create_directory(folder_.Path() + "sub.fbk");
  std::ofstream(folder_.Path() + "sub.fbk/inner.fbk") << "x";
  module_.LimpaPastaLocal(platform::ExcludeTrailingPathDelimiter(folder_.Path()), 0, "*.fbk");
  EXPECT_THAT(Remaining(), ElementsAre(".hidden.fbk", "c.zip", "sub.fbk"));
  EXPECT_TRUE(platform::FileExists(folder_.Path() + "sub.fbk/inner.fbk"));
}

TEST_F(Retention, ReadOnlyFilesStayAndTheTrimGoesOn) {
  // read-only: nobody may write it, whoever may read or run it
  struct Kept { const char* name; mode_t mode; bool stays; };
  const Kept kFiles[] = {
      {"a-owner-writable.fbk", 0644, false}, {"b-read-only.fbk", 0444, true}, {"c-group-writable.fbk", 0460, false},
      {"d-read-and-run.fbk", 0555, true},    {"e-write-only.fbk", 0200, false},
  };
  int age = 100;
  for (const Kept& f : kFiles) {
    MakeFile(f.name, age -= 10);
    ASSERT_EQ(::chmod((folder_.Path() + f.name).c_str(), f.mode), 0);
  }
  module_.LimpaPastaLocal(folder_.Path(), 0, "*.fbk");
  for (const Kept& f : kFiles) EXPECT_EQ(platform::FileExists(folder_.Path() + f.name), f.stays) << f.name;
}

TEST_F(Retention, FewerFilesThanTheCountOrNoFolderDeleteNothing) {
  MakeFile("a.fbk", 10);
  MakeFile("b.fbk", 20);
  module_.LimpaPastaLocal(folder_.Path(), 5, "*.fbk");
  EXPECT_EQ(Remaining().size(), 2u);
  EXPECT_NO_THROW(module_.LimpaPastaLocal(folder_.Path() + "missing/", 0, "*.fbk"));
}

// The archive is read back before the backup file goes: damage done on the disk between the
// writing and the check fails the archive, and no archive is left for the cloud step.
TEST_F(BackupJobs, AnArchiveThatDoesNotReadBackAsWrittenIsAnArchiveFailure) {
  const auto u16 = [](const std::string& bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8;
  };
  const auto u32 = [&](const std::string& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(u16(bytes, at)) | static_cast<std::uint32_t>(u16(bytes, at + 2)) << 16;
  };
  const auto hex = [](std::uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return std::string(text);
  };
  struct Case {
    const char* why;
    // damages the archive's bytes; gives the pattern of the message that names the damage
    std::function<std::string(std::string& bytes, const std::string& name)> damage;
  } const cases[] = {
      {"a byte inside the compressed data",
       [&](std::string& bytes, const std::string& name) {
         const std::size_t data = 30 + u16(bytes, 26) + u16(bytes, 28);
         bytes[data + u32(bytes, 18) / 2] ^= 0x55;
         return "The (Deflate data|archive's CRC-32) of " + name + " .+";
       }},
      {"the central directory's CRC-32",
       [&](std::string& bytes, const std::string& name) {
         const std::size_t crc = u32(bytes, bytes.size() - 22 + 16) + 16;  // in the directory's first header
         const std::uint32_t written = u32(bytes, crc);
         bytes[crc] ^= 0x01;
         return "The central directory's CRC-32 of " + name + " is " + hex(written ^ 0x01) + ", " + hex(written) +
                " was written";
       }},
  };
  PrepareCycle();
  const std::string backup = Stamped("BACKUP DROVANA", "NuvexaDrovana_", ".fbk");
  const std::string archive = platform::ChangeFileExt(backup, ".zip");
  for (const Case& c : cases) {
    std::string pattern;
    module_.BeforeArchiveCheck = [&](const std::string& path) {
      EXPECT_EQ(path, archive);
      EXPECT_TRUE(platform::FileExists(backup)) << "the backup file stays until the archive was read back";
      std::string bytes = test::ReadFileBytes(path);
      pattern = c.damage(bytes, platform::ExtractFileName(backup));
      std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    };
    const std::size_t logged = installation_.LogMessages().size();
    EXPECT_FALSE(module_.BackupDrovana()) << c.why;
    const auto messages = installation_.LogMessages();
    ASSERT_EQ(messages.size(), logged + 1) << c.why;
    EXPECT_THAT(messages.back(), ::testing::MatchesRegex("Falha ao compactar o arquivo: " + pattern)) << c.why;
    EXPECT_FALSE(platform::FileExists(archive)) << c.why;
    EXPECT_TRUE(module_.ArquivoCompactadoDrovana.empty()) << c.why;
  }

  module_.BeforeArchiveCheck = nullptr;
  const std::size_t logged = installation_.LogMessages().size();
  ASSERT_TRUE(module_.BackupDrovana());
  EXPECT_EQ(installation_.LogMessages().size(), logged);
  EXPECT_EQ(module_.ArquivoCompactadoDrovana, archive);
  EXPECT_EQ(test::RunCommand("unzip -t '" + archive + "'").status, 0);
}

}  // namespace
}  // namespace nuvexa

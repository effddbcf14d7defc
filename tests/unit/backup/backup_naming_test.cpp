#include "backup/backup_naming.h"

#include <gtest/gtest.h>

#include "backup/local_retention.h"
#include "platform/paths.h"

namespace nuvexa::backup {
namespace {

TEST(BackupNaming, StampIsDayMonthYearHourMinute) {
  EXPECT_EQ(BackupStamp(platform::EncodeDateTime({2025, 12, 8}, {23, 34, 59, 999})), "08122025_2334");
  EXPECT_EQ(BackupStamp(platform::EncodeDateTime({2026, 1, 2}, {3, 4, 0, 0})), "02012026_0304");
}

TEST(BackupNaming, PrescriptionDatabaseLiesBesideThePharmacyDatabase) {
  struct Case { const char* caminho; const char* folder; };
  const Case kCases[] = {
      {"C:\\Dados\\QUORVO.FDB", "C:\\Dados\\"},
      {"/srv/dados/QUORVO.FDB", "/srv/dados/"},
      {"D:QUORVO.FDB", "D:"},
      {"QUORVO.FDB", ""},
  };
  for (const auto& c : kCases) EXPECT_EQ(DatabaseFolderPart(c.caminho), c.folder) << c.caminho;
}

TEST(BackupNaming, ArchivePathChangesOnlyTheExtension) {
  EXPECT_EQ(platform::ChangeFileExt("/opt/fbk.tools/BACKUP DROVANA/NuvexaDrovana_08122025_2334.fbk", ".zip"),
            "/opt/fbk.tools/BACKUP DROVANA/NuvexaDrovana_08122025_2334.zip");
  EXPECT_EQ(platform::ChangeFileExt("/opt/a.b/noext", ".zip"), "/opt/a.b/noext.zip");
}

TEST(LocalRetention, OldestBeyondTheCountGoFirst) {
  TBArquivos table;
  // appended in name order, times out of order: the time decides
  table.Append({"/f/a.zip", 30.0});
  table.Append({"/f/b.zip", 10.0});
  table.Append({"/f/c.zip", 20.0});
  table.Append({"/f/d.zip", 10.0});
  struct Case { int keep; std::vector<std::string> deleted; };
  const Case kCases[] = {
      {2, {"/f/b.zip", "/f/d.zip"}},
      {0, {"/f/b.zip", "/f/d.zip", "/f/c.zip", "/f/a.zip"}},
      {4, {}},
      {5, {}},
  };
  for (const auto& c : kCases) EXPECT_EQ(table.OldestBeyond(c.keep), c.deleted) << c.keep;
  table.Clear();
  EXPECT_TRUE(table.OldestBeyond(0).empty());
}

}  // namespace
}  // namespace nuvexa::backup

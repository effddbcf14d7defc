// Whole cycles in process fed what the installation may hold: a damaged settings file, a
// PADRAO without rows, a registration number without digits.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/cloud_cycle.h"
#include "support/test_files.h"

namespace nuvexa {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class BadInput : public test::CloudCycleTest {
 protected:
  std::vector<std::string> CloudRequests() const {
    std::vector<std::string> paths;
    for (const auto& line : cloud_->LogLines()) paths.push_back(line["path"].get<std::string>());
    return paths;
  }
};

TEST_F(BadInput, ASettingsFileWithGarbageLongValuesAndDuplicateKeysStillNamesTheDatabase) {
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 131 + 7) % 256);
  std::string text = garbage + "\r\n[Quorvo]\r\n" + garbage.substr(0, 300) + "\r\nServidor=localhost\r\n" +
                     "Caminho=" + pharmacy_->Path() + "\r\n" +
                     "Caminho=/nowhere/QUORVO.FDB\r\n" +  // the first of two keys counts
                     "PastaExternaBackupReceitaDigital" + std::string(100000, 'x') + "=y\r\n" +
                     "Sobra=" + std::string(100000, 'v') + "\r\n" + garbage;
  std::ofstream(installation_.Folder() + "quorvo.ini", std::ios::binary) << text;

  module_->RunCycleNow();
  EXPECT_FALSE(fs::exists(installation_.Folder() + "Nuvexa.log")) << test::ReadFileBytes(installation_.Folder() + "Nuvexa.log");
  EXPECT_EQ(LastBackup(), ThisCycle());
  EXPECT_TRUE(fs::exists(Uploaded()));
}

TEST_F(BadInput, APadraoWithoutRowsSendsNothingAndRecordsNothing) {
  pharmacy_->RunSql("DELETE FROM PADRAO;");
  module_->RunCycleNow();
  EXPECT_THAT(installation_.LogMessages(),
              ElementsAre("CNPJ da empresa sem dígitos (PADRAO.CGC): o backup não foi enviado para a nuvem"));
  EXPECT_THAT(CloudRequests(), IsEmpty());
  EXPECT_EQ(pharmacy_->Scalar("SELECT COUNT(*) FROM PADRAO"), "0");
}

TEST_F(BadInput, ARegistrationNumberWithoutDigitsSendsNothingAndRecordsNothing) {
  KeepEarlierArchives();
  pharmacy_->RunSql("UPDATE PADRAO SET CGC = 'sem número';");
  module_->RunCycleNow();
  EXPECT_THAT(installation_.LogMessages(),
              ElementsAre("CNPJ da empresa sem dígitos (PADRAO.CGC): o backup não foi enviado para a nuvem"));
  EXPECT_THAT(CloudRequests(), IsEmpty());
  EXPECT_EQ(LastBackup(), "<null>");
  ExpectEarlierArchivesKept();
}

TEST_F(BadInput, AListingLargerThanAnyFolderIsRefusedUnreadAndNothingIsDeleted) {
  KeepEarlierArchives();
  Arm({{"endpoint", "/2/files/list_folder"}, {"status", 200}, {"body_bytes", 65 << 20}});
  module_->RunCycleNow();
  EXPECT_THAT(installation_.LogMessages(), ElementsAre("The response is larger than 67108864 bytes and was not read"));
  EXPECT_EQ(LastBackup(), "<null>");
  ExpectEarlierArchivesKept();
}

}  // namespace
}  // namespace nuvexa

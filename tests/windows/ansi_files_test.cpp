// The Windows side of the settings file, the log and the carried files, through the system's
// own interfaces.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "deploy/deployment_table.h"
#include "deploy/runtime_deployment.h"
#include "platform/code_page.h"
#include "platform/executable_resources.h"
#include "platform/file_version.h"
#include "platform/ini.h"
#include "platform/windows/wide.h"
#include "service/activity_log.h"
#include "support/temp_folder.h"
#include "support/test_files.h"

namespace {

using nuvexa::test::TempFolder;

// The text in the ANSI code page as the system converts it, independent of our converters.
std::string InAnsi(const std::wstring& text) {
  const int length = ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), bytes.data(), length, nullptr, nullptr);
  return bytes;
}

TEST(WindowsProfile, ReadsAWindows1252FileWithALowerCaseSection) {
  TempFolder folder;
  // as the management program writes it: Windows-1252, its own spelling of the names
  folder.WriteFile("quorvo.ini",
                   "[quorvo]\r\nservidor=farmacia-srv\r\nCaminho=C:\\Farm\xE1""cia S\xE3o Jo\xE3o\\quorvo.fdb\r\n"
                   "MaximoBackup=  12 \r\n");
  const platform::Ini ini(folder.Path() + "Quorvo.ini");
  EXPECT_EQ(ini.ReadString("Quorvo", "Servidor", ""), "farmacia-srv");
  EXPECT_EQ(ini.ReadString("Quorvo", "Caminho", ""), "C:\\Farmácia São João\\quorvo.fdb");
  EXPECT_EQ(ini.ReadInteger("QUORVO", "maximobackup", 0), 12);
  EXPECT_EQ(ini.ReadString("Quorvo", "Ausente", "padrão  "), "padrão") << "a default loses its trailing blanks";
  EXPECT_EQ(platform::Ini(folder.Path() + "missing.ini").ReadString("Quorvo", "Servidor", "x"), "x");
}

TEST(WindowsLog, AnEntryIsWrittenInTheAnsiCodePage) {
  TempFolder folder;
  const std::string path = folder.Path() + "Nuvexa.log";
  nuvexa::ActivityLog(path).Write("Falha na conexão com o banco de dados!!!");
  const std::string bytes = nuvexa::test::ReadFileBytes(path);
  const std::string expected = InAnsi(L" - Falha na conex\u00E3o com o banco de dados!!!\r\n");
  ASSERT_GE(bytes.size(), expected.size());
  EXPECT_EQ(bytes.substr(bytes.size() - expected.size()), expected) << "code page " << ::GetACP();
  EXPECT_EQ(platform::FromUtf8("ã", platform::CodePage::Ansi), InAnsi(L"\u00E3"));
}

TEST(WindowsResources, TheExecutableCarriesEveryRuntimeFileAndTheirVersionsReadBack) {
  for (const auto& entry : nuvexa::deploy::kDeploymentTable) {
    const auto bytes = platform::FindExecutableResource(entry.resource_name);
    ASSERT_TRUE(bytes.has_value()) << entry.resource_name;
    EXPECT_FALSE(bytes->empty()) << entry.resource_name;
  }
  EXPECT_TRUE(platform::FindExecutableResource("RS_LIBEAY32").has_value()) << "names ignore case";
  EXPECT_FALSE(platform::FindExecutableResource("rs_nothing").has_value());

  TempFolder folder;
  const auto written = nuvexa::deploy::WriteRuntimeFiles(folder.Path());
  EXPECT_EQ(written.size(), nuvexa::deploy::kDeploymentTable.size());
  EXPECT_EQ(nuvexa::deploy::VersaoPrograma(folder.Path() + "libeay32.dll"), "1.0.2.21")
      << "read with GetFileVersionInfoW";
  EXPECT_EQ(platform::FileVersionText(folder.Path() + "borlndmm.dll"), "") << "a file without version information";
  EXPECT_TRUE(nuvexa::deploy::WriteRuntimeFiles(folder.Path()).empty()) << "the second start writes nothing";
}

}  // namespace

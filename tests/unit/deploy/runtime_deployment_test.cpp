#include "deploy/runtime_deployment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "deploy/pe_image_writer.h"
#include "platform/executable_resources.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using nuvexa::deploy::ExtrairRessource;
using nuvexa::deploy::VersionParts;
using nuvexa::deploy::WriteRuntimeFiles;
using nuvexa::test::TempFolder;

// The files in the order they are deployed.
const std::vector<std::string> kFilesInOrder = {
    "libeay32.dll",
    "ssleay32.dll",
    "openssl.exe",
    "borlndmm.dll",
    "capicom.dll",
    "iconv.dll",
    "inpout32.dll",
    "kernel32.dll",
    "libcharset-1.dll",
    "libcrypto-1_1.dll",
    "libexslt.dll",
    "libexslt-0.dll",
    "libgcc_s_dw2-1.dll",
    "libiconv.dll",
    "libiconv-2.dll",
    "libintl-8.dll",
    "libltdl-7.dll",
    "libssl-1_1.dll",
    "libstdc++-6.dll",
    "libwinpthread-1.dll",
    "libxml2.dll",
    "libxml2-2.dll",
    "libxmlsec.dll",
    "libxmlsec1.dll",
    "libxmlsec1-openssl.dll",
    "libxmlsec-openssl.dll",
    "libxslt.dll",
    "libxslt-1.dll",
    "msvcm80.dll",
    "msvcp80.dll",
    "msvcr120.dll",
    "msvcr71.dll",
    "msvcr80.dll",
    "msxml5.dll",
    "msxml5r.dll",
    "zlib.dll",
    "zlib1.dll",
};

// Every resource is named after its file: "rs_", the name without extension, '+' dropped
// and '-' as '_' ("libstdc++-6.dll" is rs_libstdc_6).
std::string ResourceOf(std::string file_name) {
  file_name.erase(file_name.rfind('.'));
  file_name.erase(std::remove(file_name.begin(), file_name.end(), '+'), file_name.end());
  std::replace(file_name.begin(), file_name.end(), '-', '_');
  return "rs_" + file_name;
}

std::string Carried(const std::string& file_name) {
  const auto bytes = platform::FindExecutableResource(ResourceOf(file_name));
  if (!bytes) throw std::runtime_error("no resource for " + file_name);
  return std::string(*bytes);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string Pe(const VersionParts& file, const VersionParts& product, const char* description) {
  const auto image = nuvexa::deploy::PeImageWithResources(
      nuvexa::deploy::PeFormat::Pe32,
      {{nuvexa::deploy::kRtVersion, nuvexa::deploy::VersionInfoBlock(file, product, description)}});
  return {image.begin(), image.end()};
}

// used by the link cases, which are POSIX's alone
[[maybe_unused]] std::vector<std::string> AllFilesExcept(const std::set<std::string>& left_out) {
  std::vector<std::string> files;
  std::copy_if(kFilesInOrder.begin(), kFilesInOrder.end(), std::back_inserter(files),
               [&](const std::string& f) { return left_out.count(f) == 0; });
  return files;
}

TEST(RuntimeDeployment, AnEmptyFolderGetsEveryFileInTableOrder) {
  TempFolder folder;
  EXPECT_EQ(WriteRuntimeFiles(folder.Path()), kFilesInOrder);
  for (const std::string& name : kFilesInOrder)
    EXPECT_EQ(ReadFile(folder.Path() + name), Carried(name)) << name << " holds its own resource";
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.Path()), fs::directory_iterator()), 37);

  EXPECT_EQ(WriteRuntimeFiles(folder.Path()), std::vector<std::string>())
      << "a deployed folder is left as it is: the carried libraries have the version the table expects";
}

TEST(RuntimeDeployment, PresentFilesAreReplacedOnlyForAnotherVersion) {
  struct Case {
    const char* why;
    const char* name;
    std::string content;
    bool replaced;
  } const cases[] = {
      {"an entry without a version is never replaced", "zlib.dll", "not zlib at all", false},
      {"an empty file of an entry without a version stays", "openssl.exe", "", false},
      {"the expected version, whatever else differs", "libeay32.dll", Pe({1, 0, 2, 21}, {7, 7, 7, 7}, "other build"),
       false},
      {"an older version", "libeay32.dll", Pe({1, 0, 2, 20}, {1, 0, 2, 20}, "old"), true},
      {"a newer version", "ssleay32.dll", Pe({1, 1, 0, 0}, {1, 1, 0, 0}, "new"), true},
      {"the expected version only as the product version", "libeay32.dll", Pe({1, 0, 2, 20}, {1, 0, 2, 21}, "x"), true},
      {"a versioned entry whose version cannot be read", "libeay32.dll", "MZ but nothing else", true},
      {"an empty versioned entry", "ssleay32.dll", "", true},
  };
  TempFolder folder;
  WriteRuntimeFiles(folder.Path());
  for (const auto& c : cases) {
    const std::string path = folder.WriteFile(c.name, c.content);
    const auto written = WriteRuntimeFiles(folder.Path());
    EXPECT_EQ(written, c.replaced ? std::vector<std::string>{c.name} : std::vector<std::string>()) << c.why;
    EXPECT_EQ(ReadFile(path), c.replaced ? Carried(c.name) : c.content) << c.why;
    folder.WriteFile(c.name, Carried(c.name));
  }
}

// Symbolic links are a POSIX arrangement of the folder (creating them on Windows takes a privilege).
#ifndef _WIN32
TEST(RuntimeDeployment, TargetsThatCannotBeWrittenAreSkipped) {
  TempFolder folder, elsewhere;
  fs::create_directory(folder.Path() + "ssleay32.dll");
  // Links count by their target, and a write never goes through one.
  const std::string old_libeay = elsewhere.WriteFile("libeay32.dll", Pe({1, 0, 2, 20}, {1, 0, 2, 20}, "old"));
  fs::create_symlink(old_libeay, folder.Path() + "libeay32.dll");
  fs::create_symlink(elsewhere.WriteFile("zlib.dll", "someone's zlib"), folder.Path() + "zlib.dll");
  fs::create_symlink(elsewhere.Path() + "zlib1.dll", folder.Path() + "zlib1.dll");

  // A link to an outdated or to no file is replaced by the carried file itself (the
  // copy is renamed into place), never written through.
  EXPECT_EQ(WriteRuntimeFiles(folder.Path()), AllFilesExcept({"ssleay32.dll", "zlib.dll"}))
      << "each failed entry is skipped and the ones after it are still written";
  EXPECT_TRUE(fs::is_directory(folder.Path() + "ssleay32.dll"));
  EXPECT_FALSE(fs::is_symlink(folder.Path() + "libeay32.dll"));
  EXPECT_EQ(ReadFile(folder.Path() + "libeay32.dll"), Carried("libeay32.dll"));
  EXPECT_FALSE(fs::exists(folder.Path() + "ssleay32.dll.part")) << "a failed write leaves nothing behind";
  EXPECT_EQ(ReadFile(old_libeay), Pe({1, 0, 2, 20}, {1, 0, 2, 20}, "old")) << "an outdated file behind a link";
  EXPECT_EQ(ReadFile(elsewhere.Path() + "zlib.dll"), "someone's zlib") << "a present file behind a link";
  EXPECT_FALSE(fs::exists(elsewhere.Path() + "zlib1.dll")) << "nothing is created through a link to nothing";
}
#endif

TEST(RuntimeDeployment, AResourceTheExecutableDoesNotCarryWritesNothing) {
  TempFolder folder;
  EXPECT_FALSE(ExtrairRessource(folder.Path(), "extra.dll", "rs_extra", ""));
  EXPECT_FALSE(fs::exists(folder.Path() + "extra.dll"));
}

}  // namespace

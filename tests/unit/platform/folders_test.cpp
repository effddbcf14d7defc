// The external copy of a backup: a whole copy or none, and never over the backup itself.
#include "platform/folders.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file.h"
#include "support/temp_folder.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using nuvexa::test::ReadFileBytes;
using nuvexa::test::TempFolder;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(CopyFileReplacing, ATargetThatIsTheSourceItselfIsRefusedAndTheSourceStaysWhole) {
  TempFolder folder;
  const std::string name = "NuvexaDrovana_10122026_1000.zip";
  const std::string source = folder.WriteFile(name, "the only copy");
  const std::string dir = folder.Path().substr(0, folder.Path().size() - 1);
  ASSERT_EQ(::symlink(dir.c_str(), (folder.Path() + "external").c_str()), 0);
  struct Case { const char* why; std::string target; };
  const Case kCases[] = {
      {"the same path", source},
      {"a doubled slash", dir + "//" + name},
      {"a dot folder", dir + "/./" + name},
      {"the folder through its parent", dir + "/../" + fs::path(dir).filename().string() + "/" + name},
      {"the folder through a symbolic link", dir + "/external/" + name},
  };
  for (const Case& c : kCases) {
    try {
      platform::CopyFileReplacing(source, c.target);
      ADD_FAILURE() << c.why << ": copied";
    } catch (const platform::FileError& error) {
      EXPECT_THAT(error.what(), HasSubstr("is the file being copied itself")) << c.why;
    }
    EXPECT_EQ(ReadFileBytes(source), "the only copy") << c.why;
    EXPECT_THAT(Names(folder.Path()), ElementsAre(name, "external")) << c.why << ": nothing left behind";
  }
}

TEST(CopyFileReplacing, TheTargetBecomesAWholeCopyOrStaysAsItWas) {
  TempFolder folder;
  const std::string target = folder.WriteFile("copy.zip", "yesterday's copy");
  // larger than one buffer of the copy
  const std::string source = folder.WriteFile("source.zip", nuvexa::test::CompressibleData((1 << 20) * 3 + 17));
  platform::CopyFileReplacing(source, target);
  EXPECT_EQ(ReadFileBytes(target), ReadFileBytes(source));

  // a folder opens like a file but fails at the first read
  ASSERT_EQ(::mkdir((folder.Path() + "unreadable").c_str(), 0700), 0);
  EXPECT_THROW(platform::CopyFileReplacing(folder.Path() + "unreadable", target), platform::FileError);
  EXPECT_EQ(ReadFileBytes(target), ReadFileBytes(source)) << "the last good copy stays";
  EXPECT_THAT(Names(folder.Path()), ElementsAre("copy.zip", "source.zip", "unreadable")) << "no partial copy stays";
}

}  // namespace

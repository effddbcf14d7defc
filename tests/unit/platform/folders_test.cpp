// The external copy of a backup: a whole copy or none, and never over the backup itself.
#include "platform/folders.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

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
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(CopyFileReplacing, ATargetThatIsTheSourceItselfIsRefusedAndTheSourceStaysWhole) {
  TempFolder folder;
  const std::string name = "NuvexaDrovana_10122026_1000.zip";
  const std::string source = folder.WriteFile(name, "the only copy");
  const std::string dir = folder.Path().substr(0, folder.Path().size() - 1);
#ifndef _WIN32
  // a link to a folder needs privileges on Windows
  ASSERT_EQ(::symlink(dir.c_str(), (folder.Path() + "external").c_str()), 0);
  const std::vector<std::string> kNames = {name, "external"};
#else
  const std::vector<std::string> kNames = {name};
#endif
  struct Case { const char* why; std::string target; };
  const Case kCases[] = {
      {"the same path", source},
      {"a doubled slash", dir + "//" + name},
      {"a dot folder", dir + "/./" + name},
      {"the folder through its parent", dir + "/../" + fs::path(dir).filename().string() + "/" + name},
#ifndef _WIN32
      {"the folder through a symbolic link", dir + "/external/" + name},
#endif
  };
  for (const Case& c : kCases) {
    try {
      platform::CopyFileReplacing(source, c.target);
      ADD_FAILURE() << c.why << ": copied";
    } catch (const platform::FileError& error) {
      EXPECT_THAT(error.what(), HasSubstr("is the file being copied itself")) << c.why;
    }
    EXPECT_EQ(ReadFileBytes(source), "the only copy") << c.why;
    EXPECT_EQ(Names(folder.Path()), kNames) << c.why << ": nothing left behind";
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
  ASSERT_TRUE(fs::create_directory(folder.Path() + "unreadable"));
  EXPECT_THROW(platform::CopyFileReplacing(folder.Path() + "unreadable", target), platform::FileError);
  EXPECT_EQ(ReadFileBytes(target), ReadFileBytes(source)) << "the last good copy stays";
  EXPECT_THAT(Names(folder.Path()), ElementsAre("copy.zip", "source.zip", "unreadable")) << "no partial copy stays";
}

}  // namespace

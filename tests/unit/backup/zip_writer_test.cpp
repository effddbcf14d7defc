#include "backup/zip_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

using nuvexa::backup::CompressionLevel;
using nuvexa::backup::RelativeEntryName;
using nuvexa::backup::WorstCaseEntrySize;
using nuvexa::backup::ZipError;

TEST(ZipWriter, RelativeEntryName) {
  struct Case {
    const char* why;
    std::string base, path, name;
  } const cases[] = {
      {"the backup's own folder gives the bare name", "/srv/nuvexa/BACKUP DROVANA", "/srv/nuvexa/BACKUP DROVANA/a.fbk",
       "a.fbk"},
      {"a base with a final separator", "/srv/nuvexa/BACKUP DROVANA/", "/srv/nuvexa/BACKUP DROVANA/a.fbk", "a.fbk"},
      {"a file below the base keeps its folders", "/srv/nuvexa", "/srv/nuvexa/BACKUP DROVANA/a.fbk",
       "BACKUP DROVANA/a.fbk"},
      {"the root folder", "/", "/a.fbk", "a.fbk"},
      {"no base: the path as given", "", "a.fbk", "a.fbk"},
  };
  for (const auto& c : cases) EXPECT_EQ(RelativeEntryName(c.base, c.path), c.name) << c.why;

  EXPECT_THROW(RelativeEntryName("/srv/nuvexa/BACKUP", "/srv/nuvexa/BACKUP DROVANA/a.fbk"), ZipError)
      << "a folder whose name only begins like the base is not inside it";
  EXPECT_THROW(RelativeEntryName("/srv/nuvexa", "/srv/nuvexa/"), ZipError) << "the base itself names no file";
}

TEST(ZipWriter, WorstCaseEntrySizeDecidesZip64BeforeTheData) {
  constexpr std::uint64_t kLimit = 0xFFFFFFFF;  // the first size a classic field cannot hold
  struct Case {
    const char* why;
    std::uint64_t size;
    CompressionLevel level;
    bool past_the_limit;
  } const cases[] = {
      {"stored data keeps its size: one byte under the limit fits", kLimit - 1, CompressionLevel::clNone, false},
      {"a little under 4 GiB that does not compress grows past the limit", kLimit - 100'000, CompressionLevel::clMax,
       true},
      {"at the fastest level too", kLimit - 100'000, CompressionLevel::clFastest, true},
      {"4,000,000,000 bytes stay under it", 4'000'000'000, CompressionLevel::clMax, false},
      {"an empty file is stored", 0, CompressionLevel::clMax, false},
  };
  for (const auto& c : cases) EXPECT_EQ(WorstCaseEntrySize(c.size, c.level) >= kLimit, c.past_the_limit) << c.why;

  EXPECT_GT(WorstCaseEntrySize(1, CompressionLevel::clNormal), 1u)
      << "Deflate never shrinks data that does not compress";
}

}  // namespace

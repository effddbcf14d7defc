#include "backup/zip_writer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using nuvexa::backup::RelativeEntryName;
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

}  // namespace

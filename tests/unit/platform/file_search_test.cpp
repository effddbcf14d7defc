#include "platform/file_search.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/paths.h"
#include "support/temp_folder.h"

namespace {

using nuvexa::test::TempFolder;

TEST(FileSearch, FindFileNoCase) {
  TempFolder folder;
  folder.WriteFile("Nuvexa.LOG", "");
  folder.WriteFile("fbclient.dll", "");
#ifndef _WIN32
  // two names that differ in case alone need a file system that tells case apart
  folder.WriteFile("FBCLIENT.DLL", "");
#endif
  const std::string base = folder.Path();
  const std::string unslashed = base.substr(0, base.size() - 1);

  struct Case {
    const char* why;
    std::string folder;
    std::string name;
    std::string expected;
  } const cases[] = {
      {"the name on disk is returned", base, "nuvexa.log", base + "Nuvexa.LOG"},
      {"a folder without a final slash is joined with one", unslashed, "NUVEXA.log",
       unslashed + platform::kPathSeparator + "Nuvexa.LOG"},
#ifndef _WIN32
      {"an exact match wins over another case", base, "FBCLIENT.DLL", base + "FBCLIENT.DLL"},
#endif
      {"an exact match wins, the other way round", base, "fbclient.dll", base + "fbclient.dll"},
#ifndef _WIN32
      {"among inexact matches, the first in byte order", base, "FbClient.dll", base + "FBCLIENT.DLL"},
#endif
      {"a missing file keeps the name asked for", base, "Quorvo.ini", base + "Quorvo.ini"},
      {"a missing folder keeps the name asked for", base + "none/", "Quorvo.ini", base + "none/Quorvo.ini"},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::FindFileNoCase(c.folder, c.name), c.expected) << c.why;
}

}  // namespace

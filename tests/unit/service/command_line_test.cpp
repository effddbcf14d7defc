#include "service/command_line.h"

#include <gtest/gtest.h>

namespace nuvexa {
namespace {

TEST(CommandLine, SwitchesStartWithDashOrSlashAndIgnoreCase) {
  struct Case { std::vector<std::string> args; bool found; };
  const Case kCases[] = {
      {{"nuvexa", "/install"}, true},     {{"nuvexa", "-INSTALL"}, true},  {{"nuvexa", "-x", "/Install"}, true},
      {{"nuvexa", "install"}, false},     {{"nuvexa", "-installer"}, false}, {{"nuvexa", "--install"}, false},
      {{"-install"}, false},              {{"nuvexa"}, false},
  };
  for (const auto& c : kCases) {
    std::string joined;
    for (const auto& a : c.args) joined += a + " ";
    EXPECT_EQ(FindSwitch(c.args, "INSTALL"), c.found) << joined;
  }
}

}  // namespace
}  // namespace nuvexa

#include <gtest/gtest.h>

#include "service/command_line.h"

namespace nuvexa {
namespace {

using A = HostAction;

TEST(HostCommand, InstallWinsOverUninstallAndSilentGoesWithEither) {
  struct Case { std::vector<std::string> args; HostCommand command; };
  const Case kCases[] = {
      {{"nuvexa"}, {A::kRunService, false}},
      {{"nuvexa", "-install"}, {A::kInstall, false}},
      {{"nuvexa", "/INSTALL", "/silent"}, {A::kInstall, true}},
      {{"nuvexa", "-uninstall", "-install"}, {A::kInstall, false}},
      {{"nuvexa", "-Uninstall"}, {A::kUninstall, false}},
      {{"nuvexa", "-silent", "/uninstall"}, {A::kUninstall, true}},
      {{"nuvexa", "-silent"}, {A::kRunService, false}},
      {{"nuvexa", "install"}, {A::kRunService, false}},
      {{"nuvexa", "-console"}, {A::kConsole, false}},
      {{"nuvexa", "-once"}, {A::kOnce, false}},
      {{"nuvexa", "-once", "-console"}, {A::kConsole, false}},
      {{"nuvexa", "-console", "-install", "-silent"}, {A::kInstall, true}},
      {{"nuvexa", "-once", "-uninstall"}, {A::kUninstall, false}},
      {{"nuvexa", "/Authorize"}, {A::kAuthorize, false}},
      {{"nuvexa", "-once", "-authorize"}, {A::kAuthorize, false}},
      {{"nuvexa", "-authorize", "-install"}, {A::kInstall, false}},
  };
  for (const auto& c : kCases) {
    std::string joined;
    for (const auto& a : c.args) joined += a + " ";
    EXPECT_EQ(ParseHostCommand(c.args), c.command) << joined;
  }
}

}  // namespace
}  // namespace nuvexa

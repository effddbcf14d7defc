#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "child_process.h"
#include "platform/file.h"
#include "platform/posix/systemd_unit.h"
#include "support/firebird_server.h"
#include "support/installation.h"
#include "support/temp_folder.h"
#include "support/test_files.h"

namespace nuvexa {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

const char* const kInstalled = "Service installed successfully\n";
const char* const kUninstalled = "Service uninstalled successfully\n";
const char* const kAlreadyInstalled =
    "Service \"Nuvexa\" failed to install with error: \"System Error.  Code: 1073.\r\n"
    "The specified service already exists.\"\n";
const char* const kNotInstalled =
    "Service \"Nuvexa\" failed to uninstall with error: \"System Error.  Code: 1060.\r\n"
    "The specified service does not exist as an installed service.\"\n";

// The executable in a folder whose name holds a space, and a unit folder of the test's own.
class Registration : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(folder_.Path() + "Nuvexa Backup");
    std::filesystem::create_directory(units_);
    std::filesystem::copy_file(test::NuvexaBinary(), executable_);
  }
  test::ChildResult Run(const std::vector<std::string>& arguments) const {
    return test::RunToEnd(executable_, arguments, {{"NUVEXA_UNIT_DIR", units_}}, folder_.Path());
  }

  test::TempFolder folder_;
  std::string executable_ = folder_.Path() + "Nuvexa Backup/nuvexa";
  std::string units_ = folder_.Path() + "units/";
  std::string unit_ = units_ + "SrvNuvexa.service";
};

TEST_F(Registration, InstallWritesTheUnitThatRunsTheQuotedExecutable) {
  const test::ChildResult result = Run({"-INSTALL"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, kInstalled);

  const std::string text = test::ReadFileBytes(unit_);
  EXPECT_THAT(text, HasSubstr("\nExecStart=\"" + executable_ + "\"\n"));
  EXPECT_EQ(text, platform::SystemdUnitText("Nuvexa", executable_));
  struct stat st {};
  ASSERT_EQ(::lstat(unit_.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0644u);
}

TEST_F(Registration, SwitchesAndFailuresInTurn) {
  // each row runs on what the rows before it left
  struct Step { const char* why; std::vector<std::string> arguments; std::string out; int status; bool unit_after; };
  const Step kSteps[] = {
      {"the first install registers", {"-install"}, kInstalled, 0, true},
      {"a second install finds the unit: 1073", {"-INSTALL"}, kAlreadyInstalled, 1, true},
      {"SILENT hides no failure", {"/install", "/silent"}, kAlreadyInstalled, 1, true},
      {"a silent removal prints nothing", {"-uninstall", "-SILENT"}, "", 0, false},
      {"removing a missing unit: 1060", {"/Uninstall"}, kNotInstalled, 1, false},
      {"silent, the 1060 failure still shows", {"-uninstall", "/silent"}, kNotInstalled, 1, false},
      {"INSTALL wins over UNINSTALL", {"-install", "-uninstall"}, kInstalled, 0, true},
      {"UNINSTALL removes the unit", {"-UNINSTALL"}, kUninstalled, 0, false},
      {"a silent install prints nothing", {"/SILENT", "/INSTALL"}, "", 0, true},
  };
  const std::string expected_text = platform::SystemdUnitText("Nuvexa", executable_);
  for (const Step& step : kSteps) {
    const test::ChildResult result = Run(step.arguments);
    EXPECT_EQ(result.status, step.status) << step.why << "\n" << result.err;
    EXPECT_EQ(result.out, step.out) << step.why;
    EXPECT_EQ(platform::FileExists(unit_), step.unit_after) << step.why;
    if (step.unit_after) {
      EXPECT_EQ(test::ReadFileBytes(unit_), expected_text) << step.why << ": the unit is intact";
    }
  }
}

TEST_F(Registration, SystemdAnalyzeVerifyAcceptsTheUnit) {
  if (test::RunCommand("command -v systemd-analyze").status != 0) {
    if (test::RunningInCi()) FAIL() << "systemd-analyze is missing (package systemd, scripts/deps.sh)";
    GTEST_SKIP() << "systemd-analyze is missing; install the systemd package (scripts/deps.sh)";
  }
  ASSERT_EQ(Run({"-install", "-silent"}).status, 0);
  // offline: no running systemd is needed to load and check a unit file; man pages need not be installed
  const test::CommandResult verify = test::RunCommand("systemd-analyze verify --man=no '" + unit_ + "'");
  EXPECT_EQ(verify.status, 0) << verify.output;
  EXPECT_THAT(verify.output, Not(HasSubstr("SrvNuvexa"))) << "no warning about the unit";
}

}  // namespace
}  // namespace nuvexa

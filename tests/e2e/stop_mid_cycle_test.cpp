// A stop request (SIGTERM from systemd) in the middle of a cycle: the service reports stopped,
// the cycle finishes the step it is in and the rest of it, and the process then ends, leaving
// only whole files behind.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "support/cloud_cycle.h"
#include "support/test_files.h"

namespace nuvexa {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  if (fs::exists(folder)) {
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  }
  return names;
}

bool HasFileEndingWith(const std::string& folder, const std::string& end) {
  const std::vector<std::string> names = Names(folder);
  return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return n.ends_with(end); });
}

class StopMidCycle : public test::CloudCycleTest {
 protected:
  void SetUp() override {
    test::CloudCycleTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    fs::copy_file(test::NuvexaBinary(), installation_.Folder() + "nuvexa");
  }
  std::unique_ptr<test::ChildProcess> StartService() const {
    // started by systemd, as the unit does; the environment points it at the test's servers
    return std::make_unique<test::ChildProcess>(installation_.Folder() + "nuvexa", std::vector<std::string>{},
                                                test::ChildProcess::Environment{{"INVOCATION_ID", "0123456789abcdef"}},
                                                output_.Path());
  }
  std::string Drovana() const { return installation_.Folder() + "BACKUP DROVANA/"; }

  // What must hold once the stopped service has ended: the cycle ran to its end.
  void ExpectTheCycleFinishedWhole(test::ChildProcess& nuvexa) {
    EXPECT_EQ(nuvexa.WaitExit(120s), 0) << nuvexa.Stderr();
    EXPECT_FALSE(fs::exists(installation_.Folder() + "Nuvexa.log")) << test::ReadFileBytes(installation_.Folder() + "Nuvexa.log");
    const std::vector<std::string> archives = Names(Drovana());
    ASSERT_EQ(archives.size(), 1u) << ::testing::PrintToString(archives) << ": one archive, no backup file, no partial file";
    ASSERT_TRUE(archives[0].ends_with(".zip")) << archives[0];
    const std::string local = Drovana() + archives[0];
    EXPECT_EQ(test::RunCommand("unzip -tq '" + local + "'").status, 0) << "the archive is whole";
    EXPECT_TRUE(test::ReadFileBytes((CloudFolder() / archives[0]).string()) == test::ReadFileBytes(local))
        << "the cloud holds it byte for byte";
    EXPECT_NE(LastBackup(), "<null>");
    EXPECT_THAT(Names(CloudFolder().string()), ::testing::Each(::testing::Not(::testing::StartsWith("."))));
  }

  test::TempFolder output_;
};

TEST_F(StopMidCycle, DuringTheArchiveTheCycleStillUploadsAndRecordsBeforeTheProcessEnds) {
  const auto nuvexa = StartService();
  // the archive is written and the backup file not yet removed: the archive step is under way
  ASSERT_TRUE(WaitUntil([&] { return HasFileEndingWith(Drovana(), ".zip") && HasFileEndingWith(Drovana(), ".fbk"); },
                        60s))
      << nuvexa->Stderr();
  nuvexa->Signal(SIGTERM);
  ExpectTheCycleFinishedWhole(*nuvexa);
}

TEST_F(StopMidCycle, DuringTheUploadTheUploadEndsAndIsRecordedBeforeTheProcessEnds) {
  // the upload takes a few seconds to be answered: the stop comes while it is in flight
  Arm({{"endpoint", "/2/files/upload"}, {"stall_seconds", 4}});
  const auto nuvexa = StartService();
  ASSERT_TRUE(WaitUntil(
      [&] {
        // the archive step is over and the trim's listing answered: next comes the upload
        const auto lines = cloud_->LogLines();
        return HasFileEndingWith(Drovana(), ".zip") && !HasFileEndingWith(Drovana(), ".fbk") &&
               std::count_if(lines.begin(), lines.end(), [](const nlohmann::json& l) {
                 return l["path"] == "/2/files/list_folder";
               }) >= 2;
      },
      60s))
      << nuvexa->Stderr();
  std::this_thread::sleep_for(1s);
  nuvexa->Signal(SIGTERM);
  ExpectTheCycleFinishedWhole(*nuvexa);
  const auto lines = cloud_->LogLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back()["path"], "/2/files/upload");
  EXPECT_EQ(lines.back()["status"], 200);
}

}  // namespace
}  // namespace nuvexa

#include "service/status_notification.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/service_environment.h"
#include "support/temp_folder.h"

namespace nuvexa {
namespace {

using S = TCurrentStatus;
using ::testing::ElementsAre;

TEST(StatusNotification, OnlyAPendingStatusReportedAgainCountsItsCheckPoint) {
  struct Case { const char* why; std::vector<S> statuses; std::vector<std::uint32_t> check_points; };
  const Case kCases[] = {
      {"the host's start: the status before the first report counts as start-pending",
       {S::csStartPending, S::csStartPending, S::csRunning}, {1, 2, 0}},
      {"a third start-pending counts on", {S::csStartPending, S::csStartPending, S::csStartPending}, {1, 2, 3}},
      {"a stop after running starts at 0", {S::csRunning, S::csStopPending, S::csStopped}, {0, 0, 0}},
      {"a repeated stop-pending counts", {S::csRunning, S::csStopPending, S::csStopPending}, {0, 0, 1}},
      {"another pending status starts again at 0",
       {S::csStartPending, S::csStartPending, S::csStopPending, S::csStopPending}, {1, 2, 0, 1}},
      {"pause and continue", {S::csRunning, S::csPausePending, S::csPaused, S::csContinuePending, S::csRunning},
       {0, 0, 0, 0, 0}},
      {"a settled status repeated stays at 0", {S::csRunning, S::csRunning, S::csPaused, S::csPaused}, {0, 0, 0, 0}},
  };
  for (const auto& c : kCases) {
    ServiceStatusRecord record = InitialStatusRecord();
    std::vector<std::uint32_t> check_points;
    for (const S status : c.statuses) {
      record = NextStatusRecord(record, status);
      check_points.push_back(record.check_point);
    }
    EXPECT_EQ(check_points, c.check_points) << c.why;
  }
}

TEST(StatusNotification, EachRecordCarriesWhatTheWindowsServiceManagerReceives) {
  struct Case { S status; std::uint32_t state; std::uint32_t accepted; };
  const Case kCases[] = {
      {S::csStopped, 1, 7},         {S::csStartPending, 2, 0},    {S::csStopPending, 3, 7},
      {S::csRunning, 4, 7},         {S::csContinuePending, 5, 7}, {S::csPausePending, 6, 7},
      {S::csPaused, 7, 7},
  };
  for (const auto& c : kCases) {
    const ServiceStatusRecord record = NextStatusRecord(InitialStatusRecord(), c.status);
    EXPECT_EQ(record.service_type, 0x10u) << StatusName(c.status);
    EXPECT_EQ(record.current_state, c.state) << StatusName(c.status);
    EXPECT_EQ(record.controls_accepted, c.accepted) << StatusName(c.status);
    EXPECT_EQ(record.win32_exit_code, 0u) << StatusName(c.status);
    EXPECT_EQ(record.service_specific_exit_code, 0u) << StatusName(c.status);
    EXPECT_EQ(record.wait_hint, 5000u) << StatusName(c.status);
  }
}

TEST(StatusNotification, SystemdHearsReadyStoppingAndTheStatusWithItsCheckPoint) {
  ServiceStatusRecord second_start = NextStatusRecord(NextStatusRecord(InitialStatusRecord(), S::csStartPending),
                                                      S::csStartPending);
  EXPECT_EQ(NotificationText(S::csStartPending, second_start),
            "STATUS=start-pending (check point 2, wait hint 5000 ms)");
  const ServiceStatusRecord settled = NextStatusRecord(second_start, S::csRunning);
  EXPECT_EQ(NotificationText(S::csRunning, settled), "READY=1\nSTATUS=running (check point 0, wait hint 5000 ms)");
  EXPECT_EQ(NotificationText(S::csStopPending, settled),
            "STOPPING=1\nSTATUS=stop-pending (check point 0, wait hint 5000 ms)");
  EXPECT_EQ(NotificationText(S::csPaused, settled), "STATUS=paused (check point 0, wait hint 5000 ms)");
  EXPECT_EQ(NotificationText(S::csStopped, settled), "STATUS=stopped (check point 0, wait hint 5000 ms)");
}

// systemd's socket; the Windows side is tested against the service manager itself.
#ifndef _WIN32
TEST(StatusNotification, AReportThatCannotBeSentLeavesTheSystemsMessageInTheEventLog) {
  test::TempFolder folder;
  test::ScopedEnvironment environment;
  environment.Set("NOTIFY_SOCKET", folder.Path() + "nobody-listens");
  MemoryEventLogger event_log;
  ServiceManagerStatusReporter reporter(event_log);

  reporter.ReportStatus(S::csStartPending);
  reporter.ReportStatus(S::csRunning);

  EXPECT_THAT(event_log.Entries(), ElementsAre("No such file or directory", "No such file or directory"));
  EXPECT_THAT(reporter.Memory().Reports(), ElementsAre(S::csStartPending, S::csRunning)) << "kept all the same";
  const std::vector<ServiceStatusRecord> records = reporter.Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].check_point, 1u);
  EXPECT_EQ(records[1].current_state, 4u);
}
#endif

}  // namespace
}  // namespace nuvexa

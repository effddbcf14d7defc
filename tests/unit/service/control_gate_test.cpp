#include "service/control_gate.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "service/service_thread.h"

namespace nuvexa {
namespace {

using S = TCurrentStatus;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(ControlGate, CodesPostedWhileStartPendingWaitForTheRunningReport) {
  MemoryStatusReporter reports;
  std::vector<std::pair<std::uint32_t, std::size_t>> delivered;  // code, reports seen at delivery
  ControlGate gate([&](std::uint32_t code) { delivered.emplace_back(code, reports.Reports().size()); });
  GatedStatusReporter status(reports, gate);

  gate.Post(kControlStop);
  status.ReportStatus(S::csStartPending);
  gate.Post(kControlInterrogate);
  EXPECT_THAT(delivered, IsEmpty()) << "nothing is accepted while start-pending";

  status.ReportStatus(S::csRunning);
  EXPECT_THAT(delivered, ElementsAre(std::pair{kControlStop, 2u}, std::pair{kControlInterrogate, 2u}))
      << "in order, after running was reported";

  gate.Post(kControlPause);
  status.ReportStatus(S::csStopPending);
  EXPECT_THAT(delivered.back(), std::pair(static_cast<std::uint32_t>(kControlPause), 2u)) << "at once, and only once";
  EXPECT_EQ(delivered.size(), 3u);
}

TEST(ControlGate, AServiceThatStopsWithoutRunningGetsItsCodesToo) {
  std::vector<std::uint32_t> delivered;
  ControlGate gate([&](std::uint32_t code) { delivered.push_back(code); });
  gate.Post(kControlStop);
  gate.Observe(S::csStopped);
  EXPECT_THAT(delivered, ElementsAre(kControlStop));
}

}  // namespace
}  // namespace nuvexa

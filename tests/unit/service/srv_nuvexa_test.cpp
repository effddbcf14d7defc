#include "service/srv_nuvexa.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <thread>

#include "support/pattern_matchers.h"
#include "support/temp_folder.h"

namespace nuvexa {
namespace {

using namespace std::chrono_literals;
using S = TCurrentStatus;
using ::testing::ElementsAre;
using nuvexa::test::MatchesPattern;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 10s) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// A one-shot gate between threads.
class Gate {
 public:
  void Open() {
    { std::lock_guard lock(m_); open_ = true; }
    cv_.notify_all();
  }
  bool WaitOpen(std::chrono::milliseconds timeout = 10s) {
    std::unique_lock lock(m_);
    return cv_.wait_for(lock, timeout, [&] { return open_; });
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool open_ = false;
};

// The module on a main loop of this thread, its service thread started the way the host
// starts it: the service-main thread runs Main() and, when the service has stopped, the
// main loop is told to quit.
class ServiceModule : public ::testing::Test {
 protected:
  void StartService(std::int32_t timer_interval_ms) {
    module_.Timer1.SetInterval(timer_interval_ms);
    service_main_ = std::thread([this] {
      module_.Main({"SrvNuvexa"});
      loop_.Quit();
    });
  }
  // Runs the main loop on this thread until the service has stopped.
  void RunMainLoop() {
    loop_.Run();
    service_main_.join();
  }
  void TearDown() override {
    if (service_main_.joinable()) {
      module_.Controller(kControlStop);
      service_main_.join();
    }
  }

  test::TempFolder folder_;
  platform::EventLoop loop_;
  MemoryStatusReporter status_;
  MemoryEventLogger event_log_;
  TSrvNuvexa module_{{loop_, status_, event_log_, folder_.Path()}};
  std::thread service_main_;
};

TEST_F(ServiceModule, CreationSetsTheDefaults) {
  EXPECT_EQ(module_.BackupIntervalo, 360);
  EXPECT_EQ(module_.MinimoBackup, 3);
  EXPECT_EQ(module_.MaximoBackup, 19);
  EXPECT_EQ(module_.MaximoTamanho, 750000000);
  EXPECT_EQ(module_.IntervaloThread, 3600000);
  EXPECT_EQ(module_.DataHoraAtualBackup, 0.0);
  EXPECT_TRUE(module_.ArquivoCompactadoDrovana.empty());
  EXPECT_FALSE(module_.Timer1.Enabled()) << "no cycle before the service runs";
  EXPECT_EQ(module_.Timer1.Interval(), 5000);
  EXPECT_EQ(module_.Name(), "SrvNuvexa");
  EXPECT_EQ(module_.DisplayName(), "Nuvexa");
  // the cloud client's limits are the module's fields, its time-out ten minutes
  EXPECT_EQ(module_.DTDropBox1.QtdMinArquivos(), 3);
  EXPECT_EQ(module_.DTDropBox1.QtdMaxArquivos(), module_.MaximoBackup);
  EXPECT_EQ(module_.DTDropBox1.TamMaxArquivos(), module_.MaximoTamanho);
  EXPECT_EQ(module_.DTDropBox1.Timeout(), 600);
  EXPECT_EQ(module_.DTDropBox1.ClientID(), "pwv4rnh2tb7ekmy");
  EXPECT_EQ(module_.DTDropBox1.ClientSecret(), "hy3otw8s5bdr1ne");
  EXPECT_FALSE(module_.ConnTarvioSystem.Connected()) << "the central database is opened only for each use";
}

TEST_F(ServiceModule, StartReportsStartPendingThenRunningAndEnablesTheTimer) {
  StartService(60'000);
  ASSERT_TRUE(status_.WaitFor(S::csRunning, 10s));
  EXPECT_TRUE(WaitUntil([&] { return module_.Timer1.Enabled(); })) << "running enables the timer";
  EXPECT_THAT(status_.Reports(), ElementsAre(S::csStartPending, S::csStartPending, S::csRunning));
  EXPECT_THAT(module_.Params(), ElementsAre("SrvNuvexa"));

  module_.Controller(kControlStop);
  RunMainLoop();
  EXPECT_THAT(status_.Reports(), ElementsAre(S::csStartPending, S::csStartPending, S::csRunning,
                                             S::csStopPending, S::csStopped));
  EXPECT_FALSE(module_.Timer1.Enabled());
  EXPECT_TRUE(event_log_.Entries().empty());
}

TEST_F(ServiceModule, StopDuringALongCycleReportsStoppedAtOnceAndNoFurtherCycleStarts) {
  std::atomic<int> cycles = 0;
  Gate cycle_started, release_cycle;
  bool stopped_while_cycle_ran = false;
  module_.SetCycle([&] {
    module_.Timer1.SetEnabled(false);
    ++cycles;
    cycle_started.Open();
    // the cycle keeps going on the main thread while the service thread stops
    stopped_while_cycle_ran = status_.WaitFor(S::csStopped, 10s);
    release_cycle.WaitOpen();
    module_.Timer1.SetEnabled(true);
  });
  StartService(20);
  std::thread scm([&] {
    cycle_started.WaitOpen();
    module_.Controller(kControlStop);
    status_.WaitFor(S::csStopped, 10s);
    release_cycle.Open();
  });
  RunMainLoop();
  scm.join();

  EXPECT_TRUE(stopped_while_cycle_ran);
  EXPECT_EQ(cycles, 1) << "after the stop, the main loop ends before the timer fires again";
  const auto reports = status_.Reports();
  ASSERT_GE(reports.size(), 2u);
  EXPECT_THAT(std::vector(reports.end() - 2, reports.end()), ElementsAre(S::csStopPending, S::csStopped));
}

TEST_F(ServiceModule, PauseKeepsTheCyclesRunning) {
  std::atomic<int> cycles = 0;
  module_.SetCycle([&] { ++cycles; });
  StartService(10);
  std::thread scm([&] {
    status_.WaitFor(S::csRunning, 10s);
    module_.Controller(kControlPause);
    status_.WaitFor(S::csPaused, 10s);
    const int at_pause = cycles;
    for (int i = 0; i < 500 && cycles < at_pause + 3; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_GE(cycles, at_pause + 3) << "cycles go on while the service is paused";
    module_.Controller(kControlContinue);
    status_.WaitFor(S::csRunning, 10s, 2);
    module_.Controller(kControlStop);
  });
  RunMainLoop();
  scm.join();
  EXPECT_THAT(status_.Reports(),
              ElementsAre(S::csStartPending, S::csStartPending, S::csRunning, S::csPausePending, S::csPaused,
                          S::csContinuePending, S::csRunning, S::csStopPending, S::csStopped));
}

TEST_F(ServiceModule, CustomCodesAreAcceptedAndInterrogateReportsAgain) {
  StartService(60'000);
  std::thread scm([&] {
    status_.WaitFor(S::csRunning, 10s);
    module_.Controller(200);
    module_.Controller(128);
    module_.Controller(kControlInterrogate);
    status_.WaitFor(S::csRunning, 10s, 2);
    module_.Controller(kControlStop);
  });
  RunMainLoop();
  scm.join();
  EXPECT_THAT(status_.Reports(), ElementsAre(S::csStartPending, S::csStartPending, S::csRunning, S::csRunning,
                                             S::csStopPending, S::csStopped));
  EXPECT_TRUE(event_log_.Entries().empty());
}

TEST_F(ServiceModule, ExceptionEscapingACycleBecomesOneLogLine) {
  std::atomic<int> cycles = 0;
  module_.SetCycle([&] {
    if (++cycles == 2) module_.Controller(kControlStop);
    throw std::runtime_error("Falha na conexão");
  });
  StartService(10);
  RunMainLoop();
  const std::string log = ReadAll(folder_.Path() + "Nuvexa.log");
  // a loaded machine may fit another 10 ms cycle in before the stop lands: one line each
  ASSERT_GE(cycles.load(), 2);
  EXPECT_THAT(log, MatchesPattern("([0-9/]{10} [0-9:]{8} - Falha na conex\xE3o\r\n){" + std::to_string(cycles.load()) +
                                    "}"));
  EXPECT_TRUE(event_log_.Entries().empty());
}

// A status reporter that refuses one status, as a failing service manager would.
class RefusingReporter : public MemoryStatusReporter {
 public:
  explicit RefusingReporter(S refused) : refused_(refused) {}
  void ReportStatus(S status) override {
    MemoryStatusReporter::ReportStatus(status);
    if (status == refused_) throw std::runtime_error("refused");
  }

 private:
  S refused_;
};

TEST(ServiceThreadFailures, AFailedActionRestoresTheStatusAndGoesToTheEventLog) {
  test::TempFolder folder;
  platform::EventLoop loop;
  RefusingReporter status(S::csPausePending);
  MemoryEventLogger event_log;
  TSrvNuvexa module({loop, status, event_log, folder.Path()});
  module.Timer1.SetInterval(60'000);
  std::thread service_main([&] { module.Main({"SrvNuvexa"}); });
  ASSERT_TRUE(status.WaitFor(S::csRunning, 10s));
  module.Controller(kControlPause);
  ASSERT_TRUE(status.WaitFor(S::csRunning, 10s, 2));
  module.Controller(kControlStop);
  service_main.join();
  EXPECT_THAT(event_log.Entries(), ElementsAre("Service failed on pause: refused"));
  EXPECT_THAT(status.Reports(), ElementsAre(S::csStartPending, S::csStartPending, S::csRunning,
                                            S::csPausePending, S::csRunning, S::csStopPending, S::csStopped));
}

// A status reporter that, once broken, refuses every report: also the one that puts the
// status back after a failed action.
class BrokenReporter : public MemoryStatusReporter {
 public:
  void Break(bool broken) { broken_ = broken; }
  void ReportStatus(S status) override {
    // decided before the report is seen, so a report that a test waits for is never refused
    const bool refuse = broken_;
    MemoryStatusReporter::ReportStatus(status);
    if (refuse) throw std::runtime_error("refused");
  }

 private:
  std::atomic<bool> broken_ = false;
};

TEST(ServiceThreadFailures, AnActionWhoseRestoreFailsTooStillGoesToTheEventLogAndTheServiceGoesOn) {
  test::TempFolder folder;
  platform::EventLoop loop;
  BrokenReporter status;
  MemoryEventLogger event_log;
  TSrvNuvexa module({loop, status, event_log, folder.Path()});
  module.Timer1.SetInterval(60'000);
  std::thread service_main([&] { module.Main({"SrvNuvexa"}); });
  ASSERT_TRUE(status.WaitFor(S::csRunning, 10s));

  status.Break(true);
  for (const std::uint32_t code : {kControlPause, kControlInterrogate, kControlStop}) module.Controller(code);
  EXPECT_TRUE(WaitUntil([&] { return event_log.Entries().size() >= 3; }));
  EXPECT_EQ(module.Status(), S::csRunning) << "the status is put back, though its report failed";
  status.Break(false);
  module.Controller(kControlStop);
  service_main.join();

  EXPECT_THAT(event_log.Entries(), ElementsAre("Service failed on pause: refused",
                                               "Service failed on interrogate: refused",
                                               "Service failed on stop: refused"));
  EXPECT_EQ(status.Reports().back(), S::csStopped) << "the service still answered the next stop";
}

TEST(ServiceThreadFailures, AFailedStartEndsTheServiceAsStopped) {
  test::TempFolder folder;
  platform::EventLoop loop;
  RefusingReporter status(S::csRunning);
  MemoryEventLogger event_log;
  TSrvNuvexa module({loop, status, event_log, folder.Path()});
  module.Main({"SrvNuvexa"});
  EXPECT_THAT(event_log.Entries(), ElementsAre("Service failed on execute: refused"));
  EXPECT_EQ(status.Reports().back(), S::csStopped);
  EXPECT_FALSE(module.Timer1.Enabled());
}

}  // namespace
}  // namespace nuvexa

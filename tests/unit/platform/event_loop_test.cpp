#include "platform/event_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace platform {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Runs the loop on this thread until `duration` has passed.
void RunFor(EventLoop& loop, std::chrono::milliseconds duration) {
  Timer stop(loop, true, static_cast<std::int32_t>(duration.count()), [&] { loop.Quit(); });
  loop.Run();
}

TEST(EventLoop, TimerFiresPeriodicallyOnTheLoopThread) {
  EventLoop loop;
  std::vector<std::thread::id> threads;
  Timer timer(loop, true, 20, [&] { threads.push_back(std::this_thread::get_id()); });
  RunFor(loop, 300ms);
  ASSERT_GE(threads.size(), 3u);
  for (auto id : threads) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(EventLoop, TimerNeverFiresWhenDisabledOrAtIntervalZero) {
  EventLoop loop;
  int fired = 0;
  Timer zero(loop, true, 0, [&] { ++fired; });
  Timer negative(loop, true, -5, [&] { ++fired; });
  Timer disabled(loop, false, 10, [&] { ++fired; });
  RunFor(loop, 200ms);
  EXPECT_EQ(fired, 0);
}

TEST(EventLoop, EnablingOrChangingTheIntervalStartsAFullPeriod) {
  struct Case { const char* why; bool change_interval; };
  for (const Case c : {Case{"re-enabled", false}, Case{"interval changed", true}}) {
    EventLoop loop;
    Clock::time_point rearmed{}, fired{};
    Timer timer(loop, true, 300, [&] {
      fired = Clock::now();
      loop.Quit();
    });
    // 200 ms into the first period, re-arm it from the loop's own thread
    Timer* poke_self = nullptr;
    Timer poke(loop, true, 200, [&] {
      poke_self->SetEnabled(false);
      if (c.change_interval) {
        timer.SetInterval(301);
      } else {
        timer.SetEnabled(false);
        timer.SetEnabled(true);
      }
      rearmed = Clock::now();
    });
    poke_self = &poke;
    loop.Run();
    ASSERT_NE(rearmed, Clock::time_point{}) << c.why;
    EXPECT_GE(fired - rearmed, 295ms) << c.why << ": the pending period must be dropped";
  }
}

TEST(EventLoop, SettingTheSameValuesKeepsThePendingPeriod) {
  EventLoop loop;
  const auto start = Clock::now();
  Clock::time_point fired{};
  Timer timer(loop, true, 300, [&] {
    fired = Clock::now();
    loop.Quit();
  });
  Timer* poke_self = nullptr;
  Timer poke(loop, true, 200, [&] {
    poke_self->SetEnabled(false);
    timer.SetEnabled(true);
    timer.SetInterval(300);
  });
  poke_self = &poke;
  loop.Run();
  EXPECT_LT(fired - start, 450ms);
}

TEST(EventLoop, EnabledFromAnotherThreadWakesTheLoop) {
  EventLoop loop;
  int fired = 0;
  Timer timer(loop, false, 10, [&] {
    ++fired;
    loop.Quit();
  });
  std::thread other([&] {
    std::this_thread::sleep_for(50ms);
    timer.SetEnabled(true);
  });
  loop.Run();
  other.join();
  EXPECT_EQ(fired, 1);
}

TEST(EventLoop, HandlerExceptionGoesToTheHookWithItsSender) {
  EventLoop loop;
  std::vector<std::pair<const void*, std::string>> hooked;
  std::vector<std::string> dispatch_failures;
  loop.SetExceptionHook([&](const void* sender, const std::exception& e) { hooked.emplace_back(sender, e.what()); });
  loop.SetDispatchFailureHandler([&](const std::string& m) { dispatch_failures.push_back(m); });

  int fired = 0;
  Timer* self = nullptr;
  Timer failing(loop, true, 10, [&] {
    ++fired;
    if (fired == 1) throw std::runtime_error("boom");
    if (fired == 2) throw SilentAbort();
    self->SetEnabled(false);
    loop.Quit();
  });
  self = &failing;
  loop.Run();

  ASSERT_EQ(hooked.size(), 1u) << "one exception reaches the hook; a silent abort does not";
  EXPECT_EQ(hooked[0].first, &failing);
  EXPECT_EQ(hooked[0].second, "boom");
  EXPECT_EQ(fired, 3) << "the timer keeps running after an exception";
  EXPECT_TRUE(dispatch_failures.empty());
}

TEST(EventLoop, AFailingHookIsReportedAsADispatchFailure) {
  EventLoop loop;
  std::vector<std::string> dispatch_failures;
  loop.SetExceptionHook([&](const void*, const std::exception&) { throw std::runtime_error("log unwritable"); });
  loop.SetDispatchFailureHandler([&](const std::string& m) { dispatch_failures.push_back(m); });
  Timer failing(loop, true, 10, [&] {
    loop.Quit();
    throw std::runtime_error("boom");
  });
  loop.Run();
  EXPECT_EQ(dispatch_failures, std::vector<std::string>{"log unwritable"});
}

TEST(EventLoop, ProcessMessagesHandlesWhatWaitsWithoutWaiting) {
  EventLoop loop;
  std::vector<int> ran;
  loop.Post([&] { ran.push_back(1); });
  loop.Post([&] { ran.push_back(2); });
  Timer slow(loop, true, 60'000, [&] { ran.push_back(99); });

  const auto start = Clock::now();
  loop.ProcessMessages();
  EXPECT_LT(Clock::now() - start, 1s);
  EXPECT_EQ(ran, (std::vector<int>{1, 2}));
}

TEST(EventLoop, QuitMetInsideProcessMessagesEndsRunAfterTheCurrentEvent) {
  EventLoop loop;
  std::vector<std::string> steps;
  loop.Post([&] {
    steps.push_back("cycle starts");
    loop.Post([&] { loop.Quit(); });
    loop.ProcessMessages();
    loop.Post([&] { steps.push_back("next event"); });
    steps.push_back("cycle ends");
  });
  loop.Run();
  EXPECT_EQ(steps, (std::vector<std::string>{"cycle starts", "cycle ends"}));
  EXPECT_TRUE(loop.QuitRequested());
}

}  // namespace
}  // namespace platform

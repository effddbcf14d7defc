#include "platform/control_signals.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/windows/wide.h"

namespace {

// The console side: this executable again, with only this test selected; the console it makes
// for itself has no one else on it to reach. Disabled in ordinary runs.
TEST(ControlSignalsConsole, DISABLED_ConsoleSide) {
  ::FreeConsole();
  ASSERT_TRUE(::AllocConsole()) << ::GetLastError();
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::uint32_t> codes;
  bool on_caller_thread = false;
  const std::thread::id caller = std::this_thread::get_id();
  {
    platform::ControlSignals signals([&](std::uint32_t code) {
      std::lock_guard lock(mutex);
      codes.push_back(code);
      if (std::this_thread::get_id() == caller) on_caller_thread = true;
      changed.notify_all();
    });
    // twice: each request is one stop. (Wine raises no Ctrl-Break for a whole console.)
    for (int request = 0; request < 2; ++request) {
      const std::size_t before = codes.size();
      ASSERT_TRUE(::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << ::GetLastError();
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] { return codes.size() > before; });
    }
  }
  EXPECT_EQ(codes, (std::vector<std::uint32_t>{1, 1}));
  EXPECT_FALSE(on_caller_thread);
}

TEST(ControlSignalsTest, CtrlCStopsOnAThreadOfItsOwn) {
  wchar_t executable[MAX_PATH];
  ASSERT_GT(::GetModuleFileNameW(nullptr, executable, MAX_PATH), 0u);
  std::wstring command =
      L"\"" + std::wstring(executable) +
      L"\" --gtest_also_run_disabled_tests --gtest_filter=ControlSignalsConsole.DISABLED_ConsoleSide";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
      << ::GetLastError();
  const platform::windows::Handle process(info.hProcess);
  const platform::windows::Handle thread(info.hThread);
  // bounded only so that a lost event fails the test instead of hanging it
  ASSERT_EQ(::WaitForSingleObject(process.get(), 60'000), WAIT_OBJECT_0);
  DWORD exit_code = 1;
  ASSERT_TRUE(::GetExitCodeProcess(process.get(), &exit_code));
  EXPECT_EQ(exit_code, 0u) << "the console side failed";
}

}  // namespace

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "platform/file.h"
#include "support/installation.h"

namespace nuvexa {
namespace {

using namespace std::chrono_literals;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

const char* const kStartPending1 = "STATUS=start-pending (check point 1, wait hint 5000 ms)";
const char* const kStartPending2 = "STATUS=start-pending (check point 2, wait hint 5000 ms)";
const char* const kRunning = "READY=1\nSTATUS=running (check point 0, wait hint 5000 ms)";
const char* const kStopPending = "STOPPING=1\nSTATUS=stop-pending (check point 0, wait hint 5000 ms)";
const char* const kStopped = "STATUS=stopped (check point 0, wait hint 5000 ms)";
const char* const kPausePending = "STATUS=pause-pending (check point 0, wait hint 5000 ms)";
const char* const kPaused = "STATUS=paused (check point 0, wait hint 5000 ms)";
const char* const kContinuePending = "STATUS=continue-pending (check point 0, wait hint 5000 ms)";
const char* const kUnreachable = "Falha na conexão com o banco de dados!!!";

// The socket that systemd listens on for a Type=notify service: one datagram per sd_notify.
class NotifySocket {
 public:
  explicit NotifySocket(std::string path) : path_(std::move(path)), fd_(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (fd_ < 0 || path_.size() >= sizeof address.sun_path) throw std::runtime_error("cannot make " + path_);
    path_.copy(address.sun_path, path_.size());
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
      throw std::runtime_error("cannot bind " + path_);
  }
  NotifySocket(const NotifySocket&) = delete;
  NotifySocket& operator=(const NotifySocket&) = delete;
  ~NotifySocket() { ::close(fd_); }

  const std::string& Path() const { return path_; }

  // The next `count` notifications; fewer when they do not come within 10 s each.
  std::vector<std::string> Next(std::size_t count) const {
    std::vector<std::string> received;
    while (received.size() < count) {
      pollfd ready{fd_, POLLIN, 0};
      if (::poll(&ready, 1, 10'000) != 1) break;
      char buffer[4096];
      const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n < 0) break;
      received.emplace_back(buffer, static_cast<std::size_t>(n));
    }
    return received;
  }

 private:
  std::string path_;
  int fd_;
};

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

// An installation whose local database cannot be reached: every cycle, about 5 s apart, logs
// one line, so the cycles can be watched from outside.
class UnderSystemd : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy_file(test::NuvexaBinary(), executable_);
    installation_.WriteSettings({"Servidor=localhost", "Caminho=" + installation_.Folder() + "missing.fdb"});
  }
  std::unique_ptr<test::ChildProcess> Start(test::ChildProcess::Environment environment) const {
    return std::make_unique<test::ChildProcess>(executable_, std::vector<std::string>{}, std::move(environment),
                                                installation_.Folder());
  }
  std::size_t LogLines() const {
    return platform::FileExists(installation_.Folder() + "Nuvexa.log") ? installation_.LogMessages().size() : 0;
  }

  test::Installation installation_;
  std::string executable_ = installation_.Folder() + "nuvexa";
  NotifySocket notify_{installation_.Folder() + "notify"};
};

TEST_F(UnderSystemd, ReportsStartAndStopAndExitsZeroOnSigterm) {
  const auto nuvexa = Start({{"INVOCATION_ID", "0123456789abcdef0123456789abcdef"}, {"NOTIFY_SOCKET", notify_.Path()}});
  EXPECT_THAT(notify_.Next(3), ElementsAre(kStartPending1, kStartPending2, kRunning));
  nuvexa->Signal(SIGTERM);
  EXPECT_THAT(notify_.Next(2), ElementsAre(kStopPending, kStopped));
  EXPECT_EQ(nuvexa->WaitExit(10s), 0) << nuvexa->Stderr();
}

TEST_F(UnderSystemd, PausesAndContinuesWhileTheCyclesGoOn) {
  // NOTIFY_SOCKET alone is enough to count as started by systemd
  const auto nuvexa = Start({{"NOTIFY_SOCKET", notify_.Path()}});
  ASSERT_THAT(notify_.Next(3), ElementsAre(kStartPending1, kStartPending2, kRunning));
  ASSERT_TRUE(WaitUntil([&] { return LogLines() >= 1; }, 15s)) << "a first cycle";

  nuvexa->Signal(SIGUSR1);
  EXPECT_THAT(notify_.Next(2), ElementsAre(kPausePending, kPaused));
  const std::size_t before = LogLines();
  EXPECT_TRUE(WaitUntil([&] { return LogLines() > before; }, 15s)) << "the cycles go on while paused";

  nuvexa->Signal(SIGUSR2);
  EXPECT_THAT(notify_.Next(2), ElementsAre(kContinuePending, kRunning));
  nuvexa->Signal(SIGTERM);
  EXPECT_THAT(notify_.Next(2), ElementsAre(kStopPending, kStopped));
  EXPECT_EQ(nuvexa->WaitExit(10s), 0) << nuvexa->Stderr();
  EXPECT_THAT(installation_.LogMessages(), Each(kUnreachable));
}

TEST_F(UnderSystemd, InvocationIdAloneRunsTheServiceToo) {
  const auto nuvexa = Start({{"INVOCATION_ID", "0123456789abcdef0123456789abcdef"}});
  EXPECT_TRUE(WaitUntil([&] { return LogLines() >= 1; }, 15s)) << "a cycle ran";
  nuvexa->Signal(SIGTERM);
  EXPECT_EQ(nuvexa->WaitExit(10s), 0) << nuvexa->Stderr();
}

TEST_F(UnderSystemd, StartedByHandItFailsWith1063AndRunsNoCycle) {
  const test::ChildResult result = test::RunToEnd(executable_, {}, {}, installation_.Folder());
  EXPECT_EQ(result.status, 1);
  EXPECT_THAT(result.err, HasSubstr("The service process could not connect to the service controller.\n"));
  EXPECT_THAT(result.err, HasSubstr("-CONSOLE"));
  EXPECT_THAT(result.err, HasSubstr("-ONCE"));
  EXPECT_EQ(result.out, "");
  EXPECT_FALSE(platform::FileExists(installation_.Folder() + "Nuvexa.log")) << "no cycle";
}

}  // namespace
}  // namespace nuvexa

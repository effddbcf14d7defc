// nuvexa -ONCE as an operator runs it: on a terminal the long steps show their progress lines
// on standard error; anywhere else standard error holds the log's entries alone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "child_process.h"
#include "support/cloud_cycle.h"
#include "support/test_files.h"

namespace nuvexa {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

struct TerminalRun {
  int status = -1;
  std::string screen;  // everything the program wrote to its terminal
};

// Runs the program with a pseudo-terminal for its standard streams, as from a console, for at
// most `timeout`.
TerminalRun RunOnTerminal(const std::string& program, const std::vector<std::string>& arguments,
                          std::chrono::seconds timeout) {
  int master = -1;
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) return {};
  if (pid == 0) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  TerminalRun run;
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      ::kill(pid, SIGKILL);
      break;
    }
    pollfd ready{master, POLLIN, 0};
    if (::poll(&ready, 1, static_cast<int>(left.count())) <= 0) continue;
    char buffer[4096];
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n > 0) {
      run.screen.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;  // EIO: the program and its children closed the terminal
    }
  }
  ::close(master);
  int status = 0;
  ::waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

class Progress : public test::CloudCycleTest {
 protected:
  void SetUp() override {
    test::CloudCycleTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    fs::copy_file(test::NuvexaBinary(), installation_.Folder() + "nuvexa");
  }
  std::string Nuvexa() const { return installation_.Folder() + "nuvexa"; }
  test::TempFolder output_;
};

TEST_F(Progress, OnATerminalEachLongStepHasItsUpdatingLineAndTheLogNone) {
  const TerminalRun run = RunOnTerminal(Nuvexa(), {"-ONCE"}, std::chrono::seconds(90));
  ASSERT_EQ(run.status, 0) << run.screen;
  // each line is drawn from the line's start, cleared, and ends when its step does
  for (const char* line : {"\r\x1b[KBackup: 00:0", "\r\x1b[KCompactação: ", "\r\x1b[KEnvio para a nuvem: "}) {
    EXPECT_THAT(run.screen, HasSubstr(line)) << run.screen;
  }
  EXPECT_THAT(run.screen, ::testing::ContainsRegex("Backup: [0-9:]+, [1-9][0-9]* linhas do servidor"))
      << "the server's lines are counted";
  EXPECT_THAT(run.screen, ::testing::ContainsRegex("Compactação: [0-9,]+ de [0-9,]+ MiB \\(100%\\)[^\r]*\r?\n"));
  EXPECT_THAT(run.screen, ::testing::ContainsRegex("Envio para a nuvem: [0-9,]+ de [0-9,]+ MiB \\(100%\\)[^\r]*\r?\n"));
  EXPECT_FALSE(fs::exists(installation_.Folder() + "Nuvexa.log")) << "the progress is not logged";
  EXPECT_NE(LastBackup(), "<null>");
}

TEST_F(Progress, WithoutATerminalStandardErrorHoldsOnlyTheLogsEntries) {
  Arm({{"endpoint", "/2/files/upload"}, {"status", 500}});
  const test::ChildResult run = test::RunToEnd(Nuvexa(), {"-ONCE"}, {}, output_.Path());
  EXPECT_EQ(run.status, 1) << run.err;
  const std::string log = Log();
  ASSERT_THAT(log, HasSubstr("500")) << "the failed upload is logged";
  EXPECT_THAT(run.err, HasSubstr("500")) << run.err;
  // the log's lines end with CR LF; a line drawn again in place starts with CR
  for (const char* progress : {"\r[^\n]", "\x1b\\[", "Backup: ", "Compactação", "Envio para a nuvem"}) {
    EXPECT_THAT(run.err, Not(::testing::ContainsRegex(progress))) << run.err;
    EXPECT_THAT(log, Not(::testing::ContainsRegex(progress))) << log;
  }
}

}  // namespace
}  // namespace nuvexa

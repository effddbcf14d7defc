#include "platform/control_signals.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace {

// In a child of its own, so that the test process keeps its own signal settings.
TEST(BrokenPipe, AWriteToAPeerThatHungUpFailsInsteadOfEndingTheProcess) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGPIPE, SIG_DFL);
    platform::IgnoreBrokenPipes();
    int ends[2];
    if (::pipe(ends) != 0) ::_exit(2);
    ::close(ends[0]);
    const ssize_t written = ::write(ends[1], "x", 1);
    ::_exit(written < 0 && errno == EPIPE ? 0 : 3);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace

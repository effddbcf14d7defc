#include "service/progress_display.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace nuvexa {
namespace {

using namespace std::chrono_literals;
constexpr std::uint64_t kMiB = 1 << 20;

TEST(ProgressFormat, TransfersAndDurations) {
  struct Case {
    std::uint64_t bytes, total;
    std::chrono::milliseconds elapsed;
    const char* expected;
  } const cases[] = {
      {50 * kMiB, 100 * kMiB, 10s, "50,0 de 100,0 MiB (50%), 5,0 MiB/s, faltam 00:10"},
      {100 * kMiB, 100 * kMiB, 20s, "100,0 de 100,0 MiB (100%), 5,0 MiB/s"},
      {kMiB / 10, 3000 * kMiB, 1s, "0,1 de 3000,0 MiB (0%), 0,1 MiB/s, faltam 08:20:00"},
      {3 * kMiB, 0, 2s, "3,0 MiB, 1,5 MiB/s"},
      {0, 10 * kMiB, 0s, "0,0 de 10,0 MiB (0%)"},
      {0, 0, 0s, "0,0 MiB"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatTransfer(c.bytes, c.total, c.elapsed), c.expected) << c.expected;
  EXPECT_EQ(FormatDuration(0s), "00:00");
  EXPECT_EQ(FormatDuration(3599s), "59:59");
  EXPECT_EQ(FormatDuration(3600s + 62s), "01:01:02");
}

// The display on a clock of the test's: what reaches the terminal, call by call.
class ProgressDisplayTest : public ::testing::Test {
 protected:
  std::string Take() { return std::exchange(screen_, {}); }
  ProgressDisplay::Clock::time_point now_{};
  std::string screen_;
  ProgressDisplay display_{[this](std::string_view text) { screen_ += text; }, [this] { return now_; }};
};

TEST_F(ProgressDisplayTest, EachStepHasOneLineDrawnAgainInPlace) {
  display_.BackupLines(0);
  EXPECT_EQ(Take(), "\r\x1b[KBackup: 00:00, 0 linhas do servidor");
  now_ += 100ms;
  display_.BackupLines(1);
  EXPECT_EQ(Take(), "") << "drawn again only every quarter second";
  now_ += 2s;
  display_.BackupLines(7);
  EXPECT_EQ(Take(), "\r\x1b[KBackup: 00:02, 7 linhas do servidor");
  // the archive written while the server writes shows on the backup's line
  now_ += 1s;
  display_.Archived(3 * kMiB, 0);
  EXPECT_EQ(Take(), "\r\x1b[KBackup: 00:03, 7 linhas do servidor, 3,0 MiB compactados");
  display_.Print("10/12/2026 10:00:00 - uma entrada do log\r\n");
  EXPECT_EQ(Take(), "\r\x1b[K10/12/2026 10:00:00 - uma entrada do log\r\n"
                    "\r\x1b[KBackup: 00:03, 7 linhas do servidor, 3,0 MiB compactados")
      << "a log entry takes the line, and the step's line comes back under it";
  display_.EndStep();
  EXPECT_EQ(Take(), "\r\x1b[KBackup: 00:03, 7 linhas do servidor, 3,0 MiB compactados\n");

  // the archive goes on after the backup, its rate counted from its first block
  now_ += 2s;
  display_.Archived(6 * kMiB, 12 * kMiB);
  EXPECT_EQ(Take(), "\r\x1b[KCompactação: 6,0 de 12,0 MiB (50%), 3,0 MiB/s, faltam 00:02");
  now_ += 1s;
  display_.Archived(12 * kMiB, 12 * kMiB);
  EXPECT_EQ(Take(), "\r\x1b[KCompactação: 12,0 de 12,0 MiB (100%), 4,0 MiB/s") << "the end is always drawn";
  // a new step ends the line of the one before
  display_.Uploaded(kMiB, 4 * kMiB);
  EXPECT_EQ(Take(), "\r\x1b[KCompactação: 12,0 de 12,0 MiB (100%), 4,0 MiB/s\n\r\x1b[KEnvio para a nuvem: 1,0 de 4,0 MiB (25%)");
  display_.EndStep();
  display_.EndStep();
  EXPECT_EQ(Take(), "\r\x1b[KEnvio para a nuvem: 1,0 de 4,0 MiB (25%)\n") << "ended once";
  display_.Print("entrada\n");
  EXPECT_EQ(Take(), "entrada\n") << "between steps an entry is written alone";
}

}  // namespace
}  // namespace nuvexa

// The log's file: every byte of an entry written or a failure, and a bounded wait for its lock.
#include "platform/file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_folder.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(WriteAll, OffersWhatIsLeftUntilEverythingIsWritten) {
  std::string written;
  std::vector<std::size_t> offered;
  platform::WriteAll("Nuvexa.log", "abcdefgh", [&](std::string_view rest) {
    offered.push_back(rest.size());
    const std::size_t n = std::min<std::size_t>(3, rest.size());
    written.append(rest.substr(0, n));
    return n;
  });
  EXPECT_EQ(written, "abcdefgh");
  EXPECT_THAT(offered, ElementsAre(8u, 5u, 2u));
}

TEST(WriteAll, AWriteOfNothingIsAFailureNotAnEndlessLoop) {
  int calls = 0;
  const auto writes_two_then_nothing = [&](std::string_view) -> std::size_t {
    if (++calls > 100) throw std::logic_error("asked again and again");
    return calls == 1 ? 2 : 0;
  };
  try {
    platform::WriteAll("/srv/Nuvexa.log", "abcdef", writes_two_then_nothing);
    ADD_FAILURE() << "no error";
  } catch (const platform::FileError& error) {
    EXPECT_THAT(error.what(), HasSubstr("\"/srv/Nuvexa.log\""));
  }
  EXPECT_EQ(calls, 2);
}

// Locks are held per open file description: a second opening of the file stands for the
// other process.
class FileLock : public ::testing::Test {
 protected:
  platform::File Open() const { return platform::File::OpenForAppend(path_, platform::File::Access::ReadAppend); }

  nuvexa::test::TempFolder folder_;
  std::string path_ = folder_.Path() + "Nuvexa.log";
};

TEST_F(FileLock, HeldElsewhereBeyondThePatienceIsAnError) {
  platform::File holder = Open();
  holder.LockExclusive();
  platform::File waiter = Open();
  const Clock::time_point start = Clock::now();
  try {
    waiter.LockExclusive(300ms);
    ADD_FAILURE() << "locked a file that another holds";
  } catch (const platform::FileError& error) {
    EXPECT_THAT(error.what(), HasSubstr("Another process keeps it locked."));
  }
  const Clock::duration waited = Clock::now() - start;
  EXPECT_GE(waited, 300ms);
  EXPECT_LT(waited, 5s);
}

TEST_F(FileLock, ALockReleasedWithinThePatienceIsTaken) {
  std::optional<platform::File> holder(Open());
  holder->LockExclusive();
  platform::File waiter = Open();
  std::thread release([&] {
    std::this_thread::sleep_for(200ms);
    holder.reset();
  });
  const Clock::time_point start = Clock::now();
  EXPECT_NO_THROW(waiter.LockExclusive(10s));
  EXPECT_GE(Clock::now() - start, 150ms) << "it waited for the holder";
  release.join();
}

}  // namespace

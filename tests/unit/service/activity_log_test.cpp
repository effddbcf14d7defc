#include "service/activity_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <fstream>
#include <iterator>
#include <regex>

#include "platform/file.h"
#include "support/pattern_matchers.h"
#include "support/temp_folder.h"

namespace nuvexa {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using nuvexa::test::MatchesPattern;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Splits at CR LF and checks that nothing else ends a line.
std::vector<std::string> CrLfLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(bytes.substr(start, end - start));
  EXPECT_EQ(start, bytes.size()) << "the last line must end with CR LF";
  return lines;
}

constexpr const char* kStamp = "[0-9]{2}/[0-9]{2}/[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}";

TEST(ActivityLogFormat, EntryLines) {
  struct Case { const char* why; const char* message; const char* entry; };
  const Case kCases[] = {
      {"one line", "Falha", "T - Falha\r\n"},
      {"an empty message ends with the separator", "", "T - \r\n"},
      {"LF, CR LF and CR each start a line without a stamp", "a\nb\r\nc\rd", "T - a\r\nb\r\nc\r\nd\r\n"},
      {"a trailing break leaves an empty line", "a\n", "T - a\r\n\r\n"},
  };
  for (const auto& c : kCases) EXPECT_EQ(BuildLogEntry("T", c.message), c.entry) << c.why;
}

TEST(ActivityLogFormat, TimestampUsesTheLocaleSeparators) {
  const platform::TDateTime when = platform::EncodeDateTime({2026, 3, 7}, {9, 5, 4, 999});
  EXPECT_EQ(FormatLogTimestamp(when, {'/', ':'}), "07/03/2026 09:05:04");
  EXPECT_EQ(FormatLogTimestamp(when, {'.', '.'}), "07.03.2026 09.05.04");
}

TEST(ActivityLogFormat, LineBreakAtTheEndInEachEncoding) {
  struct Case { std::string tail; LogEncoding encoding; bool ends; };
  const Case kCases[] = {
      {"x\r\n", LogEncoding::Ansi, true}, {"x\n", LogEncoding::Ansi, true}, {"x\r", LogEncoding::Utf8, true},
      {"xy", LogEncoding::Ansi, false},   {std::string("\n\0", 2), LogEncoding::Utf16LE, true},
      {std::string("\0\n", 2), LogEncoding::Utf16BE, true},  {std::string("x\0", 2), LogEncoding::Utf16LE, false},
      {std::string("\n\0", 2), LogEncoding::Utf16BE, false},
  };
  for (const auto& c : kCases) EXPECT_EQ(EndsWithLineBreak(c.tail, c.encoding), c.ends) << c.tail.size();
}

TEST(ActivityLogFormat, WhatCannotBeReadOfTheFileIsAssumed) {
  constexpr std::uint64_t kEnd = ~std::uint64_t{0};
  struct Case {
    const char* why;
    std::string file;
    std::uint64_t unreadable_from, unreadable_to;  // a read that touches these bytes fails
    LogEncoding encoding;
    bool needs_break, read_error;
  };
  const Case kCases[] = {
      {"nothing read: Windows-1252, and a break in case the last line is unended", "01/01/2026 - antiga", 0, kEnd,
       LogEncoding::Ansi, true, true},
      {"nothing read of an empty file: nothing to end", "", 0, kEnd, LogEncoding::Ansi, false, true},
      {"the mark read, the last bytes not: its encoding stays, the break is assumed",
       std::string("\xFF\xFE" "a\0\r\0\n\0", 8), 3, kEnd, LogEncoding::Utf16LE, true, true},
      {"the last bytes read, the mark not: an ended line takes no break", "abcd\r\n", 0, 3, LogEncoding::Ansi,
       false, true},
      {"everything read: nothing assumed", "\xEF\xBB\xBF" "a", kEnd, kEnd, LogEncoding::Utf8, true, false},
  };
  for (const Case& c : kCases) {
    const LogFileState state = InspectLog(c.file.size(), [&](std::uint64_t offset, std::size_t count) {
      if (offset < c.unreadable_to && offset + count > c.unreadable_from)
        throw platform::FileError("Cannot read file. Input/output error");
      return c.file.substr(offset, count);
    });
    EXPECT_EQ(state.encoding, c.encoding) << c.why;
    EXPECT_EQ(state.needs_line_break, c.needs_break) << c.why;
    EXPECT_EQ(state.read_error, c.read_error ? "Cannot read file. Input/output error" : "") << c.why;
  }
}

class ActivityLogFile : public ::testing::Test {
 protected:
#ifndef _WIN32
  // Writes one entry as someone who may write the log but not read it. Root reads any file,
  // so as root a child process does it as "nobody". False when that cannot be arranged.
  bool WriteAsWriteOnlyUser(std::string_view message) const {
    if (::geteuid() != 0) {
      ::chmod(path_.c_str(), 0200);
      ActivityLog(path_).Write(message);
      return ::chmod(path_.c_str(), 0600) == 0;
    }
    const ::passwd* nobody = ::getpwnam("nobody");
    if (nobody == nullptr || ::chown(path_.c_str(), nobody->pw_uid, nobody->pw_gid) != 0 ||
        ::chmod(path_.c_str(), 0200) != 0)
      return false;
    const pid_t child = ::fork();
    if (child == 0) {
      if (::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0) ::_exit(2);
      try {
        ActivityLog(path_).Write(message);
      } catch (...) {
        ::_exit(1);
      }
      ::_exit(0);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

#endif

  test::TempFolder folder_;
  std::string path_ = folder_.Path() + "Nuvexa.log";
  ActivityLog log_{path_};
};

TEST_F(ActivityLogFile, FirstEntryCreatesOneLineInWindows1252) {
  log_.Write("Falha na conexão com o banco de dados!!!");
  const std::string bytes = ReadAll(path_);
  EXPECT_THAT(bytes, MatchesPattern(std::string(kStamp) + " - Falha na conex\xE3o com o banco de dados!!!\r\n"));
  EXPECT_EQ(CrLfLines(bytes).size(), 1u);
}

TEST_F(ActivityLogFile, KeepsEveryLineInOrderAcrossEntries) {
  log_.Write("primeira\nsegunda parte");
  log_.Write("terceira");
  log_.Write("quarta");
  const auto lines = CrLfLines(ReadAll(path_));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_THAT(lines[0], MatchesPattern(std::string(kStamp) + " - primeira"));
  EXPECT_EQ(lines[1], "segunda parte") << "a continuation line carries no time stamp";
  EXPECT_THAT(lines[2], MatchesPattern(std::string(kStamp) + " - terceira"));
  EXPECT_THAT(lines[3], MatchesPattern(std::string(kStamp) + " - quarta"));
}

TEST_F(ActivityLogFile, LastLineWithoutBreakGetsOne) {
  folder_.WriteFile("Nuvexa.log", "01/01/2026 10:00:00 - antiga");
  log_.Write("nova");
  const auto lines = CrLfLines(ReadAll(path_));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "01/01/2026 10:00:00 - antiga");
  EXPECT_THAT(lines[1], MatchesPattern(std::string(kStamp) + " - nova"));
}

TEST_F(ActivityLogFile, FileWithByteOrderMarkKeepsItsEncoding) {
  struct Case { const char* why; std::string existing; std::string new_line_tail; };
  const Case kCases[] = {
      {"UTF-8", "\xEF\xBB\xBF" "antiga\r\n", " - \xC3\xA7\xC3\xA3o\r\n"},
      {"UTF-16 LE", std::string("\xFF\xFE" "a\0\r\0\n\0", 8), std::string(" \0-\0 \0\xE7\0\xE3\0o\0\r\0\n\0", 16)},
      {"UTF-16 BE", std::string("\xFE\xFF\0a", 4), std::string("\0 \0-\0 \0\xE7\0\xE3\0o\0\r\0\n", 16)},
  };
  for (const auto& c : kCases) {
    folder_.WriteFile("Nuvexa.log", c.existing);
    log_.Write("ção");
    const std::string bytes = ReadAll(path_);
    ASSERT_TRUE(bytes.starts_with(c.existing)) << c.why << ": what was there stays, mark included";
    EXPECT_TRUE(bytes.ends_with(c.new_line_tail)) << c.why;
  }
  // the BE file had no final break: one was added in its encoding before the entry
  EXPECT_EQ(ReadAll(path_).substr(4, 4), std::string("\0\r\0\n", 4));
}

// A file its writer may not read is a POSIX arrangement (modes, another user).
#ifndef _WIN32
TEST_F(ActivityLogFile, ALogThatCannotBeReadGetsTheErrorOnALineOfItsOwn) {
  folder_.WriteFile("Nuvexa.log", "01/01/2026 10:00:00 - antiga");
  ASSERT_TRUE(WriteAsWriteOnlyUser("nova"));
  const auto lines = CrLfLines(ReadAll(path_));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "01/01/2026 10:00:00 - antiga");
  EXPECT_THAT(lines[1], MatchesPattern(std::string(kStamp) + " - Cannot open file .*"));
  EXPECT_THAT(lines[1], HasSubstr("Permission denied"));
}

#endif

TEST_F(ActivityLogFile, ALogThatAnotherProcessKeepsLockedRaisesAndStaysAsItWas) {
  folder_.WriteFile("Nuvexa.log", "01/01/2026 10:00:00 - antiga\r\n");
  // locks belong to an open file description: a second opening stands for the other process
  platform::File holder = platform::File::OpenForAppend(path_, platform::File::Access::ReadAppend);
  holder.LockExclusive();
  const auto start = std::chrono::steady_clock::now();
  try {
    ActivityLog(path_, 500ms).Write("nova");
    ADD_FAILURE() << "written without the lock";
  } catch (const platform::FileError& error) {
    EXPECT_THAT(error.what(), HasSubstr("locked"));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 950ms) << "one wait for the lock, not a second one";
  EXPECT_EQ(ReadAll(path_), "01/01/2026 10:00:00 - antiga\r\n");
}

TEST(ActivityLogFailure, UnwritableTargetsRaise) {
  test::TempFolder folder;
  const std::string not_a_folder = folder.WriteFile("plain-file", "x");
  struct Case { const char* why; std::string path; };
  const Case kCases[] = {
      {"missing folder", folder.Path() + "missing/Nuvexa.log"},
      {"the folder is a file", not_a_folder + "/Nuvexa.log"},
#ifndef _WIN32
      {"a device is not a file the log writes to", "/dev/full"},
#endif
  };
  for (const auto& c : kCases) EXPECT_THROW(ActivityLog(c.path).Write("x"), platform::FileError) << c.why;
}

#ifndef _WIN32
TEST(ActivityLogFailure, ALogThatIsASymbolicLinkIsNotWrittenThrough) {
  test::TempFolder folder;
  const std::string other = folder.WriteFile("shadow", "root's own file\n");
  ASSERT_EQ(::symlink(other.c_str(), (folder.Path() + "Nuvexa.log").c_str()), 0);
  try {
    ActivityLog(folder.Path() + "Nuvexa.log").Write("Falha na conexão com o banco de dados!!!");
    ADD_FAILURE() << "written through the link";
  } catch (const platform::FileError& error) {
    EXPECT_THAT(error.what(), ::testing::HasSubstr("symbolic link"));
  }
  EXPECT_EQ(ReadAll(other), "root's own file\n");
}
#endif

}  // namespace
}  // namespace nuvexa

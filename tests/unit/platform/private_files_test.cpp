// The files the service writes for itself, in folders it may share with the database
// server's account: never through a link, never readable by others.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "platform/file.h"
#include "platform/file_stream.h"
#include "platform/folders.h"
#include "support/temp_folder.h"
#include "support/test_files.h"

namespace {

using nuvexa::test::ReadFileBytes;
using nuvexa::test::TempFolder;

mode_t ModeOf(const std::string& path) {
  struct stat st{};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

struct Writer {
  const char* name;
  std::function<void(const std::string& target, const TempFolder& folder)> write;
};

const Writer kWriters[] = {
    {"the log's append", [](const std::string& target, const TempFolder&) {
       platform::File::OpenForAppend(target, platform::File::Access::ReadAppend).Append("entry");
     }},
    {"a new file", [](const std::string& target, const TempFolder&) {
       auto file = platform::OutputFile::Create(target);
       file.Write("archive");
       file.Close();
     }},
    {"a copy", [](const std::string& target, const TempFolder& folder) {
       platform::CopyFileReplacing(folder.WriteFile("source.fbk", "backup"), target);
     }},
};

TEST(PrivateFiles, ALinkOrSomethingElseThanAFileAtThePathIsRefusedAndLeftAlone) {
  for (const Writer& writer : kWriters) {
    TempFolder folder;
    const std::string victim = folder.WriteFile("victim", "root's file");
    struct Target { const char* why; std::function<void(const std::string&)> plant; const char* reason; };
    const Target kTargets[] = {
        {"a symbolic link", [&](const std::string& at) { ASSERT_EQ(::symlink(victim.c_str(), at.c_str()), 0); },
         "symbolic link"},
        {"a second hard link", [&](const std::string& at) { ASSERT_EQ(::link(victim.c_str(), at.c_str()), 0); },
         "hard link"},
        {"a FIFO, which would block the cycle", [](const std::string& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0); },
         "not a regular file"},
    };
    for (const Target& t : kTargets) {
      const std::string target = folder.Path() + "Nuvexa.log";
      ::unlink(target.c_str());
      t.plant(target);
      try {
        writer.write(target, folder);
        ADD_FAILURE() << writer.name << " through " << t.why << ": no error";
      } catch (const platform::FileError& error) {
        EXPECT_THAT(error.what(), ::testing::HasSubstr(t.reason)) << writer.name << " through " << t.why;
      }
      EXPECT_EQ(ReadFileBytes(victim), "root's file") << writer.name << " through " << t.why;
      EXPECT_EQ(ModeOf(victim), 0644u) << writer.name << " through " << t.why << ": not even its mode changes";
    }
  }
}

TEST(PrivateFiles, NewAndExistingFilesEndAt0640WhateverTheUmask) {
  const mode_t saved = ::umask(0);
  for (const Writer& writer : kWriters) {
    TempFolder folder;
    const std::string created = folder.Path() + "created";
    writer.write(created, folder);
    EXPECT_EQ(ModeOf(created), 0640u) << writer.name;
    const std::string existing = folder.WriteFile("existing", "old");
    ASSERT_EQ(::chmod(existing.c_str(), 0666), 0);
    writer.write(existing, folder);
    EXPECT_EQ(ModeOf(existing), 0640u) << writer.name << ": a file that others could read no longer can";
  }
  ::umask(saved);
}

TEST(SharedFolder, GetsTheServersGroupSetgidAnd2770AndAnExistingOneStaysAsItIs) {
  const ::group* firebird = ::getgrnam("firebird");
  if (firebird == nullptr) GTEST_SKIP() << "no firebird group on this machine";
  const gid_t gid = firebird->gr_gid;
  TempFolder folder;
  const mode_t saved = ::umask(077);
  platform::CreateSharedFolder(folder.Path() + "BACKUP DROVANA/", "firebird");
  ::umask(saved);
  struct stat st{};
  ASSERT_EQ(::stat((folder.Path() + "BACKUP DROVANA").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 02770u);
  EXPECT_EQ(st.st_gid, gid);

  ASSERT_EQ(::mkdir((folder.Path() + "mine").c_str(), 0700), 0);
  platform::CreateSharedFolder(folder.Path() + "mine", "firebird");
  EXPECT_EQ(ModeOf(folder.Path() + "mine"), 0700u) << "a folder that was there is the administrator's choice";
}

}  // namespace

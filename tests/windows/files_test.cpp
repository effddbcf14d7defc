// The Windows side of files, folders and paths: the attributes Windows keeps, UTF-16 names,
// files read while they grow, and copies that never land on their source.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "platform/date_time.h"
#include "platform/file.h"
#include "platform/file_info.h"
#include "platform/file_search.h"
#include "platform/file_stream.h"
#include "platform/folders.h"
#include "platform/owner_only_file.h"
#include "platform/paths.h"
#include "platform/windows/wide.h"
#include "support/temp_folder.h"
#include "support/test_files.h"

// after <windows.h>, which it needs
#include <aclapi.h>

// <windows.h> would make platform::ReplaceFile platform::ReplaceFileW
#undef ReplaceFile

namespace {

using nuvexa::test::ReadFileBytes;
using nuvexa::test::TempFolder;
using platform::windows::Widen;
using ::testing::HasSubstr;

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const platform::FoundFile& f : platform::FindFiles(folder, "*")) names.push_back(f.name);
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadAll(platform::InputFile& file) {
  std::string text;
  std::array<char, 4> buffer{};  // smaller than what is read: Read is called again and again
  while (const std::size_t n = file.Read(buffer)) text.append(buffer.data(), n);
  return text;
}

TEST(WindowsAttributes, AreTheOnesWindowsKeepsForFilesAndSearches) {
  TempFolder folder;
  // with the archive bit everywhere: Wine reports it for every file, whatever was set
  struct Case { DWORD set; std::uint32_t expected; } const kCases[] = {
      {FILE_ATTRIBUTE_ARCHIVE, platform::kAttrArchive},
      {FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY, platform::kAttrArchive | platform::kAttrReadOnly},
      {FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN, platform::kAttrArchive | platform::kAttrHidden},
      {FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_SYSTEM, platform::kAttrArchive | platform::kAttrSystem},
      {FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY,
       platform::kAttrArchive | platform::kAttrHidden | platform::kAttrSystem | platform::kAttrReadOnly},
  };
  for (const Case& c : kCases) {
    const std::string path = folder.WriteFile("Quorvo_" + std::to_string(c.set) + ".zip", "x");
    ASSERT_TRUE(::SetFileAttributesW(Widen(path).c_str(), c.set)) << c.set;
    EXPECT_EQ(platform::FileAttributes(path), c.expected) << c.set;
    const std::vector<platform::FoundFile> found = platform::FindFiles(folder.Path(), platform::ExtractFileName(path));
    ASSERT_EQ(found.size(), 1u) << c.set;
    EXPECT_EQ(found[0].attributes, c.expected) << c.set;
    ::SetFileAttributesW(Widen(path).c_str(), FILE_ATTRIBUTE_NORMAL);  // or the folder could not be removed
  }
  EXPECT_EQ(platform::FileAttributes(folder.Path()).value_or(0) & platform::kAttrDirectory, platform::kAttrDirectory);
  EXPECT_FALSE(platform::FileAttributes(folder.Path() + "missing.zip").has_value());
}

TEST(WindowsAttributes, AReadOnlyFileIsNotRemoved) {
  TempFolder folder;
  const std::string path = folder.WriteFile("NuvexaDrovana_10122026_1000.zip", "protected");
  ASSERT_TRUE(::SetFileAttributesW(Widen(path).c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(platform::RemoveFile(path));
  EXPECT_EQ(ReadFileBytes(path), "protected");
  ASSERT_TRUE(::SetFileAttributesW(Widen(path).c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(platform::RemoveFile(path));
  EXPECT_FALSE(platform::FileExists(path));
  EXPECT_FALSE(platform::RemoveFile(path)) << "it is gone";
}

TEST(NonAsciiPaths, ReachTheFileSystemAsTheirUtf16Names) {
  TempFolder base;
  const std::string folder = base.Path() + "Farmácia São João\\Cópias\\";
  platform::ForceDirectories(folder);
  ASSERT_TRUE(platform::DirectoryExists(folder));
  const std::string path = folder + "Conceição.fbk";
  platform::OutputFile out = platform::OutputFile::Create(path);
  out.Write("ÇÃO bytes");
  out.Close();

  // the name Windows holds, written here in UTF-16 and not through the code under test
  const std::wstring wide = Widen(base.Path()) + L"Farm\u00e1cia S\u00e3o Jo\u00e3o\\C\u00f3pias\\Concei\u00e7\u00e3o.fbk";
  EXPECT_NE(::GetFileAttributesW(wide.c_str()), INVALID_FILE_ATTRIBUTES);

  platform::InputFile in = platform::InputFile::Open(path);
  EXPECT_EQ(ReadAll(in), "ÇÃO bytes");
  const std::vector<platform::FoundFile> found = platform::FindFiles(folder, "CONCEIÇÃO.*");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, "Conceição.fbk");
  EXPECT_EQ(platform::FindFileNoCase(folder, "CONCEIÇÃO.FBK"), path);
  const std::optional<platform::TDateTime> written = platform::FileLastWriteTime(path);
  ASSERT_TRUE(written.has_value());
  EXPECT_LE(platform::MinutesBetween(*written, platform::Now()), 1) << "local time, as Now gives it";
}

TEST(GrowingFile, IsReadThroughASecondHandleWhileItIsWritten) {
  TempFolder folder;
  const std::string path = folder.Path() + "Nuvexa.fbk";
  platform::OutputFile out = platform::OutputFile::Create(path);
  out.Write("first part, ");
  platform::InputFile in = platform::InputFile::Open(path);
  EXPECT_EQ(ReadAll(in), "first part, ");
  out.Write("second part");
  std::array<char, 5> head{};
  ASSERT_EQ(in.ReadAt(0, head), head.size());
  EXPECT_EQ(std::string(head.data(), head.size()), "first");
  EXPECT_EQ(ReadAll(in), "second part") << "ReadAt leaves the read position where it was";
  EXPECT_EQ(in.Size(), 23u);

  EXPECT_TRUE(in.IsFileAt(path));
  EXPECT_TRUE(in.IsFileAt(folder.Path() + "NUVEXA.FBK")) << "the same file under another case";
  // moved aside while open, as the server may do to an old backup, and its name taken
  platform::ReplaceFile(path, folder.Path() + "Nuvexa.old");
  platform::ReplaceFile(folder.WriteFile("other.fbk", "another file"), path);
  EXPECT_FALSE(in.IsFileAt(path)) << "another file took the name";
  EXPECT_TRUE(in.IsFileAt(folder.Path() + "Nuvexa.old"));
  EXPECT_EQ(ReadFileBytes(path), "another file");
}

TEST(GrowingFile, TheLockedLogIsStillReadByOthers) {
  TempFolder folder;
  const std::string path = folder.Path() + "Nuvexa.log";
  platform::File log = platform::File::OpenForAppend(path, platform::File::Access::ReadAppend);
  log.LockExclusive();
  log.Append("one entry\r\n");
  platform::InputFile reader = platform::InputFile::Open(path);
  EXPECT_EQ(ReadAll(reader), "one entry\r\n");
  platform::File other = platform::File::OpenForAppend(path, platform::File::Access::WriteAppend);
  other.Append("written past the lock\r\n");
  log.Append("two\r\n");
  EXPECT_EQ(log.ReadAt(0, 100), "one entry\r\nwritten past the lock\r\ntwo\r\n") << "every append lands at the end";
}

TEST(CopyFileReplacing, OntoItselfIsRefusedHoweverThePathIsWritten) {
  TempFolder folder;
  const std::string name = "NuvexaDrovana_10122026_1000.zip";
  const std::string source = folder.WriteFile(name, "the only copy");
  std::string backslashed = source;
  std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
  const std::string second_name = folder.Path() + "hard-link.zip";
  ASSERT_TRUE(::CreateHardLinkW(Widen(second_name).c_str(), Widen(source).c_str(), nullptr));
  struct Case { const char* why; std::string target; } const kCases[] = {
      {"the same path", source},
      {"backslashes", backslashed},
      {"another case", folder.Path() + "nuvexadrovana_10122026_1000.ZIP"},
      {"a second name of the file", second_name},
  };
  for (const Case& c : kCases) {
    try {
      platform::CopyFileReplacing(source, c.target);
      ADD_FAILURE() << c.why << ": copied";
    } catch (const platform::FileError& error) {
      EXPECT_THAT(error.what(), HasSubstr("is the file being copied itself")) << c.why;
    }
    EXPECT_EQ(ReadFileBytes(source), "the only copy") << c.why;
    EXPECT_THAT(Names(folder.Path()), ::testing::ElementsAre(name, "hard-link.zip")) << c.why;
  }
}

TEST(CopyFileReplacing, TheCopyTakesThePlaceVisibleAndLeavesNothingBehind) {
  TempFolder folder;
  const std::string source = folder.WriteFile("source.zip", nuvexa::test::CompressibleData(3'000'017));
  const std::string target = folder.WriteFile("copy.zip", "yesterday's copy");
  platform::CopyFileReplacing(source, target);
  EXPECT_EQ(ReadFileBytes(target), ReadFileBytes(source));
  EXPECT_EQ(platform::FileAttributes(target).value_or(~0u) & platform::kAttrHidden, 0u);
  EXPECT_THAT(Names(folder.Path()), ::testing::ElementsAre("copy.zip", "source.zip"));
}

TEST(WriteOwnerOnlyFile, ReplacesTheFileVisibleAndLeavesNothingBehind) {
  TempFolder folder;
  const std::string path = folder.WriteFile("nuvexa.env", "OLD=1\n");
  platform::WriteOwnerOnlyFile(path, "NUVEXA_CLOUD_REFRESH_TOKEN=secret\n");
  EXPECT_EQ(ReadFileBytes(path), "NUVEXA_CLOUD_REFRESH_TOKEN=secret\n");
  EXPECT_THAT(Names(folder.Path()), ::testing::ElementsAre("nuvexa.env"));
  EXPECT_EQ(platform::FileAttributes(path).value_or(~0u) & platform::kAttrHidden, 0u);
}

TEST(WriteOwnerOnlyFile, TheFileInheritsNoAccessFromItsFolder) {
  if (::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr)
    GTEST_SKIP() << "Wine makes a file's DACL up from its Unix mode and keeps none it is given";
  TempFolder folder;
  const std::string path = folder.Path() + "nuvexa.env";
  platform::WriteOwnerOnlyFile(path, "NUVEXA_CLOUD_REFRESH_TOKEN=secret\n");

  PSECURITY_DESCRIPTOR descriptor = nullptr;
  PACL dacl = nullptr;
  ASSERT_EQ(::GetNamedSecurityInfoW(Widen(path).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                    &dacl, nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  EXPECT_TRUE(::GetSecurityDescriptorControl(descriptor, &control, &revision));
  ::LocalFree(descriptor);
  EXPECT_NE(control & SE_DACL_PROTECTED, 0) << "nothing inherited from the folder";
}

TEST(WindowsPaths, TakeBothSeparators) {
  struct Case { std::string path, folder, name, renamed, with, without; } const kCases[] = {
      {"C:\\Dados\\Farmácia.fdb", "C:\\Dados\\", "Farmácia.fdb", "C:\\Dados\\Farmácia.zip", "C:\\Dados\\Farmácia.fdb\\",
       "C:\\Dados\\Farmácia.fdb"},
      {"C:/Dados.old/base", "C:/Dados.old/", "base", "C:/Dados.old/base.zip", "C:/Dados.old/base\\", "C:/Dados.old/base"},
      {"C:\\Dados/", "C:\\Dados/", "", "C:\\Dados/.zip", "C:\\Dados/", "C:\\Dados"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(platform::ExtractFilePath(c.path), c.folder) << c.path;
    EXPECT_EQ(platform::ExtractFileName(c.path), c.name) << c.path;
    EXPECT_EQ(platform::ChangeFileExt(c.path, ".zip"), c.renamed) << c.path;
    EXPECT_EQ(platform::IncludeTrailingPathDelimiter(c.path), c.with) << c.path;
    EXPECT_EQ(platform::ExcludeTrailingPathDelimiter(c.path), c.without) << c.path;
  }
  const std::string executable = platform::ExecutablePath();
  EXPECT_TRUE(platform::FileExists(executable)) << executable;
  EXPECT_THAT(platform::ExecutableFolder(), ::testing::EndsWith("\\"));
  EXPECT_EQ(platform::ExecutableFolder() + platform::ExtractFileName(executable), executable);
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "backup/zip_writer.h"
#include "platform/file.h"
#include "support/temp_folder.h"
#include "support/test_files.h"

namespace {

using nuvexa::backup::CompressionLevel;
using nuvexa::backup::WriteSingleFileArchive;
using nuvexa::backup::Zip64Mode;
using nuvexa::backup::ZipError;
using nuvexa::backup::ZipOptions;
using nuvexa::test::CommandResult;
using nuvexa::test::CompressibleData;
using nuvexa::test::ReadFileBytes;
using nuvexa::test::RunCommand;
using nuvexa::test::TempFolder;
using nuvexa::test::WhitespaceCollapsed;

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// Everything a reader of the archive sees of its one entry, as Python's zipfile reads it,
// with the local header read straight from the file.
constexpr const char* kInspector = R"py(
import os, sys, struct, zipfile
path = sys.argv[1]
with open(path, "rb") as f:
    f.seek(max(0, os.path.getsize(path) - 200))
    tail = f.read()
print("after_end_record=%d" % (len(tail) - tail.rfind(b"PK\x05\x06") - 22))
print("zip64_end=%d" % (b"PK\x06\x06" in tail))
with zipfile.ZipFile(path) as zf:
    infos = zf.infolist()
    print("entries=%d" % len(infos))
    for info in infos:
        utf8 = info.flag_bits & 0x800
        print("name=" + (info.filename if utf8 else info.filename.encode("cp437").decode("cp850")))
        print("flag=%d" % info.flag_bits)
        print("method=%d" % info.compress_type)
        print("made_by=%d" % info.create_version)
        print("made_by_system=%d" % info.create_system)
        print("needed=%d" % info.extract_version)
        print("attr=0x%x" % info.external_attr)
        print("time=%04d-%02d-%02d %02d:%02d:%02d" % info.date_time)
        print("crc=%08x" % info.CRC)
        print("compressed=%d" % info.compress_size)
        print("size=%d" % info.file_size)
        print("central_extra=%d" % len(info.extra))
        with open(path, "rb") as f:
            f.seek(info.header_offset)
            sig, needed, flag, method, _, _, crc, csize, usize, nlen, xlen = struct.unpack("<IHHHHHIIIHH", f.read(30))
            f.seek(nlen, 1)
            extra = f.read(xlen)
        print("local=%d %d %d %08x %d %d %d" % (needed, flag, method, crc, csize, usize, xlen))
        if xlen >= 20 and extra[:4] == b"\x01\x00\x10\x00":
            print("local_zip64=%d %d" % struct.unpack("<QQ", extra[4:20]))
    print("bad_crc=%s" % zf.testzip())
)py";

using Facts = std::map<std::string, std::string>;

Facts Inspect(const TempFolder& folder, const std::string& archive) {
  const std::string script = folder.WriteFile("inspect.py", kInspector);
  const CommandResult result = RunCommand("python3 " + Quoted(script) + " " + Quoted(archive));
  EXPECT_EQ(result.status, 0) << result.output;
  Facts facts;
  std::istringstream lines(result.output);
  for (std::string line; std::getline(lines, line);) {
    const auto equals = line.find('=');
    if (equals != std::string::npos) facts[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return facts;
}

// The local header as it should read when it agrees with the central directory.
std::string LocalAsCentral(Facts& facts) {
  return facts["needed"] + " " + facts["flag"] + " " + facts["method"] + " " + facts["crc"] + " " +
         facts["compressed"] + " " + facts["size"] + " 0";
}

void ExpectUnzipAccepts(const std::string& archive, const std::string& why = "") {
  const CommandResult test = RunCommand("unzip -t " + Quoted(archive));
  EXPECT_EQ(test.status, 0) << why << "\n" << test.output;
  EXPECT_NE(test.output.find("No errors detected"), std::string::npos) << why << "\n" << test.output;
}

std::string ExtractWithUnzip(const TempFolder& folder, const std::string& archive, const std::string& name) {
  const std::string out = folder.Path() + "extracted/";
  const CommandResult result = RunCommand("unzip -o -q " + Quoted(archive) + " -d " + Quoted(out));
  EXPECT_EQ(result.status, 0) << result.output;
  return ReadFileBytes(out + name);
}

int ModeOf(const std::string& path) {
  return static_cast<int>(std::filesystem::status(path).permissions() & std::filesystem::perms::mask);
}

const ZipOptions kBackupOptions{Zip64Mode::zmAuto, CompressionLevel::clMax};

TEST(ZipArchive, BackupOpensInStandardTools) {
  TempFolder folder;
  const std::string data = CompressibleData(3 * 1'048'576);
  const std::string source = folder.WriteFile("NuvexaDrovana_08122025_2334.fbk", data);
  ASSERT_EQ(RunCommand("touch -d '2025-12-08 23:34:17' " + Quoted(source)).status, 0);
  const std::string archive = folder.Path() + "NuvexaDrovana_08122025_2334.zip";

  WriteSingleFileArchive(source, archive, kBackupOptions);

  ExpectUnzipAccepts(archive);
  const std::string info = WhitespaceCollapsed(RunCommand("zipinfo -v " + Quoted(archive)).output);
  for (const char* line : {"Central directory entry #1: --------------------------- NuvexaDrovana_08122025_2334.fbk offset",
                           "compression method: deflated", "minimum software version required to extract: 2.0",
                           "version of encoding software: 2.0", "extended local header: no",
                           "file system or operating system of origin: MS-DOS, OS/2 or NT FAT"}) {
    EXPECT_NE(info.find(line), std::string::npos) << line << "\n" << info;
  }
  EXPECT_EQ(info.find("Central directory entry #2:"), std::string::npos) << info;

  Facts facts = Inspect(folder, archive);
  const Facts expected = {
      {"entries", "1"},           {"name", "NuvexaDrovana_08122025_2334.fbk"},
      {"flag", "0"},              {"method", "8"},
      {"made_by", "20"},          {"made_by_system", "0"},
      {"needed", "20"},           {"attr", "0x20"},
      {"time", "2025-12-08 23:34:16"}, {"size", std::to_string(data.size())},
      {"central_extra", "0"},     {"bad_crc", "None"},
      {"zip64_end", "0"},         {"after_end_record", "0"},
  };
  for (const auto& [key, value] : expected) EXPECT_EQ(facts[key], value) << key;
  EXPECT_EQ(facts["local"], LocalAsCentral(facts)) << "the local header was rewritten with the final CRC and sizes";
  EXPECT_LT(std::stoull(facts["compressed"]), data.size() / 3);

  EXPECT_TRUE(ExtractWithUnzip(folder, archive, "NuvexaDrovana_08122025_2334.fbk") == data);
  EXPECT_EQ(ModeOf(archive) & ~0660, 0) << "others may not read a backup";
}

TEST(ZipArchive, EmptyFileIsStored) {
  TempFolder folder;
  const std::string source = folder.WriteFile("empty.fbk", "");
  const std::string archive = folder.Path() + "empty.zip";

  WriteSingleFileArchive(source, archive, kBackupOptions);

  ExpectUnzipAccepts(archive);
  Facts facts = Inspect(folder, archive);
  const Facts expected = {{"entries", "1"}, {"method", "0"}, {"crc", "00000000"}, {"compressed", "0"},
                          {"size", "0"},    {"needed", "20"}, {"local", "20 0 0 00000000 0 0 0"}};
  for (const auto& [key, value] : expected) EXPECT_EQ(facts[key], value) << key;
}

TEST(ZipArchive, EntryNamesAndAttributes) {
  struct Case {
    const char* why;
    std::string file_name;
    std::filesystem::perms mode;
    std::string flag, attr;
  } const cases[] = {
      {"a name in code page 850", "Cópia de segurança.fbk", std::filesystem::perms(0640), "0", "0x20"},
      {"a name beyond code page 850 is written in UTF-8 under bit 11", "cópia €.fbk", std::filesystem::perms(0640),
       "2048", "0x20"},
      {"a hidden file", ".oculto.fbk", std::filesystem::perms(0640), "0", "0x22"},
      {"a file nobody may write is read-only", "somente leitura.fbk", std::filesystem::perms(0444), "0", "0x21"},
  };
  for (const auto& c : cases) {
    TempFolder folder;
    const std::string source = folder.WriteFile(c.file_name, CompressibleData(10'000));
    std::filesystem::permissions(source, c.mode);
    const std::string archive = folder.Path() + "archive.zip";

    WriteSingleFileArchive(source, archive, kBackupOptions);

    ExpectUnzipAccepts(archive, c.why);
    Facts facts = Inspect(folder, archive);
    EXPECT_EQ(facts["name"], c.file_name) << c.why;
    EXPECT_EQ(facts["flag"], c.flag) << c.why;
    EXPECT_EQ(facts["attr"], c.attr) << c.why;
  }
}

TEST(ZipArchive, CompressionLevelsAndZip64Modes) {
  struct Case {
    const char* why;
    ZipOptions options;
    std::string method, needed;
  } const cases[] = {
      {"no compression stores the data", {Zip64Mode::zmAuto, CompressionLevel::clNone}, "0", "20"},
      {"fastest", {Zip64Mode::zmAuto, CompressionLevel::clFastest}, "8", "20"},
      {"normal", {Zip64Mode::zmAuto, CompressionLevel::clNormal}, "8", "20"},
      {"Zip64 always, even for a small entry", {Zip64Mode::zmAlways, CompressionLevel::clMax}, "8", "45"},
      {"Zip64 disabled and not needed", {Zip64Mode::zmDisabled, CompressionLevel::clMax}, "8", "20"},
  };
  const std::string data = CompressibleData(2'500'000);
  for (const auto& c : cases) {
    TempFolder folder;
    const std::string source = folder.WriteFile("a.fbk", data);
    const std::string archive = folder.Path() + "a.zip";

    WriteSingleFileArchive(source, archive, c.options);

    ExpectUnzipAccepts(archive, c.why);
    Facts facts = Inspect(folder, archive);
    EXPECT_EQ(facts["method"], c.method) << c.why;
    EXPECT_EQ(facts["needed"], c.needed) << c.why;
    EXPECT_EQ(facts["bad_crc"], "None") << c.why;
    EXPECT_TRUE(ExtractWithUnzip(folder, archive, "a.fbk") == data) << c.why;
  }
}

TEST(ZipArchive, TargetThatCannotBeCreatedRaisesAndLeavesNoArchive) {
  TempFolder folder;
  const std::string source = folder.WriteFile("a.fbk", "data");
  const std::string archive = folder.Path() + "missing/a.zip";

  try {
    WriteSingleFileArchive(source, archive, kBackupOptions);
    FAIL() << "no error";
  } catch (const platform::FileError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + archive + "\". No such file or directory");
  }
  EXPECT_FALSE(std::filesystem::exists(archive));
  EXPECT_EQ(ReadFileBytes(source), "data");
}

TEST(ZipArchive, FailureAfterTheArchiveWasCreatedRemovesIt) {
  // A sparse file of 0xFFFFFFFF bytes needs Zip64; with Zip64 disabled the writer stops after
  // creating the archive, and what it had written must not stay behind.
  TempFolder folder;
  const std::string source = folder.WriteFile("big.fbk", "");
  std::filesystem::resize_file(source, 0xFFFFFFFF);
  const std::string archive = folder.Path() + "big.zip";

  EXPECT_THROW(WriteSingleFileArchive(source, archive, {Zip64Mode::zmDisabled, CompressionLevel::clMax}), ZipError);
  EXPECT_FALSE(std::filesystem::exists(archive));
}

TEST(ZipArchive, ExistingArchiveIsReplaced) {
  TempFolder folder;
  const std::string source = folder.WriteFile("a.fbk", CompressibleData(100'000));
  const std::string archive = folder.WriteFile("a.zip", std::string(5'000'000, 'x'));
  std::filesystem::permissions(archive, std::filesystem::perms(0666));

  WriteSingleFileArchive(source, archive, kBackupOptions);

  ExpectUnzipAccepts(archive);
  Facts facts = Inspect(folder, archive);
  EXPECT_EQ(facts["entries"], "1");
  EXPECT_EQ(facts["after_end_record"], "0") << "nothing of the old file may follow the archive";
  EXPECT_LT(std::filesystem::file_size(archive), 100'000u);
  EXPECT_EQ(ModeOf(archive) & ~0660, 0) << "an old archive's loose mode is narrowed";
}

TEST(ZipArchive, NothingToAddGivesTheEndRecordAlone) {
  const std::string kEmptyArchive = std::string("PK\x05\x06", 4) + std::string(18, '\0');
  struct Case {
    const char* why;
    bool source_is_archive;
  } const cases[] = {
      {"a source that names no file", false},
      {"a source that is the archive itself", true},
  };
  for (const auto& c : cases) {
    TempFolder folder;
    const std::string archive = folder.Path() + "a.zip";
    const std::string source = c.source_is_archive ? folder.WriteFile("a.zip", "old") : folder.Path() + "none.fbk";

    WriteSingleFileArchive(source, archive, kBackupOptions);

    EXPECT_EQ(ReadFileBytes(archive), kEmptyArchive) << c.why;
  }
}

bool LargeTestsWanted() {
  const char* wanted = std::getenv("NUVEXA_LARGE_TESTS");
  return wanted != nullptr && std::string(wanted) == "1";
}

TEST(ZipArchive, LargeSparseFileUsesZip64) {
  if (!LargeTestsWanted()) {
    GTEST_SKIP() << "archives a 5 GiB sparse file (about a minute); set NUVEXA_LARGE_TESTS=1 to run it";
  }
  constexpr std::uint64_t kSize = 5ull << 30;
  TempFolder folder;
  const std::string source = folder.WriteFile("NuvexaDrovana_grande.fbk", "");
  std::filesystem::resize_file(source, kSize);
  {
    std::fstream file(source, std::ios::in | std::ios::out | std::ios::binary);
    for (const std::uint64_t offset : {std::uint64_t{0}, std::uint64_t{2} << 30, std::uint64_t{0xFFFFFFFF} - 1000, kSize - 70'000}) {
      const std::string block = CompressibleData(65'536);
      file.seekp(static_cast<std::streamoff>(offset));
      file.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    ASSERT_TRUE(file.good());
  }
  const std::string archive = folder.Path() + "grande.zip";

  WriteSingleFileArchive(source, archive, kBackupOptions);

  ExpectUnzipAccepts(archive);
  Facts facts = Inspect(folder, archive);
  const std::string compressed = facts["compressed"];
  const Facts expected = {
      {"entries", "1"},
      {"size", std::to_string(kSize)},
      {"needed", "45"},
      {"made_by", "45"},
      {"central_extra", "12"},
      {"local", "45 0 8 " + facts["crc"] + " " + compressed + " 4294967295 20"},
      {"local_zip64", std::to_string(kSize) + " " + compressed},
      {"zip64_end", "0"},
      {"bad_crc", "None"},
  };
  for (const auto& [key, value] : expected) EXPECT_EQ(facts[key], value) << key;
}

TEST(ZipArchive, DataUnder4GiBThatGrowsPastItWhenDeflatedUsesZip64) {
  if (!LargeTestsWanted()) {
    GTEST_SKIP() << "archives 4 GiB of random data (several minutes); set NUVEXA_LARGE_TESTS=1 to run it";
  }
  // Random data does not compress: Deflate's stored blocks make it about 0.03 % larger.
  constexpr std::uint64_t kSize = 0xFFFFFFFF - 100'000;
  TempFolder folder;
  const std::string source = folder.Path() + "NuvexaDrovana_aleatorio.fbk";
  {
    std::ofstream file(source, std::ios::binary);
    std::vector<std::uint64_t> block(1 << 19);
    std::uint64_t state = 88'172'645'463'325'252ull;
    for (std::uint64_t written = 0; written < kSize;) {
      for (std::uint64_t& word : block) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        word = state;
      }
      const std::uint64_t bytes = std::min<std::uint64_t>(block.size() * sizeof block[0], kSize - written);
      file.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(bytes));
      written += bytes;
    }
    ASSERT_TRUE(file.good());
  }
  const std::string archive = folder.Path() + "aleatorio.zip";

  WriteSingleFileArchive(source, archive, kBackupOptions);
  std::filesystem::remove(source);

  ExpectUnzipAccepts(archive);
  Facts facts = Inspect(folder, archive);
  const std::string compressed = facts["compressed"];
  EXPECT_GT(std::stoull(compressed), 0xFFFFFFFFull) << "the data did grow past the limit";
  const Facts expected = {
      {"entries", "1"},
      {"size", std::to_string(kSize)},
      {"needed", "45"},
      {"central_extra", "12"},
      {"local", "45 0 8 " + facts["crc"] + " 4294967295 4294967295 20"},
      {"local_zip64", std::to_string(kSize) + " " + compressed},
      {"bad_crc", "None"},
  };
  for (const auto& [key, value] : expected) EXPECT_EQ(facts[key], value) << key;
}

}  // namespace

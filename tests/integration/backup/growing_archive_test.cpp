// The archive written while another process writes the backup file: it must come out as the
// archive of the finished file, for every reader, and a writer that fails leaves none.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "backup/growing_file.h"
#include "backup/zip_verify.h"
#include "backup/zip_writer.h"
#include "platform/file.h"
#include "support/firebird_database.h"
#include "support/installation.h"
#include "support/temp_folder.h"
#include "support/test_files.h"

namespace nuvexa {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using backup::GrowingFile;
using backup::ZipOptions;
using test::ReadFileBytes;
using test::RunCommand;
using test::TempFolder;

constexpr std::size_t kBlock = 1'572'864;

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// Writes `bytes` to `path` as the database server does: the file made after a while, then
// filled front to back in pieces of uneven sizes with pauses, then the writer's outcome.
class SlowWriter {
 public:
  SlowWriter(GrowingFile& target, std::string bytes, bool fail_half_way = false)
      : thread_([&target, bytes = std::move(bytes), fail_half_way] {
          std::this_thread::sleep_for(30ms);
          std::ofstream file(target.Path(), std::ios::binary);
          std::mt19937 random(7);
          std::size_t at = 0;
          while (at < bytes.size()) {
            if (fail_half_way && at >= bytes.size() / 2) {
              target.WriterFailed();
              return;
            }
            const std::size_t piece = std::min<std::size_t>(bytes.size() - at, 1 + random() % (3 * kBlock / 2));
            file.write(bytes.data() + at, static_cast<std::streamsize>(piece));
            file.flush();
            at += piece;
            std::this_thread::sleep_for(std::chrono::milliseconds(random() % 4));
          }
          file.close();
          target.WriterFinished();
        }) {}
  ~SlowWriter() { thread_.join(); }

 private:
  std::thread thread_;
};

// A gbak backup of a pharmacy-like database, made once: the real input's kind of data.
class GrowingArchive : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!test::FirebirdAnswers()) return;
    database_ = std::make_unique<test::FirebirdDatabase>(test::ReadSourceFile("scripts/sql/pharmacy.sql") +
                                                         test::ReadSourceFile("scripts/sql/pharmacy-sample-rows.sql"));
    const std::string batch = test::ReadSourceFile("scripts/sql/corpus-batch.sql");
    for (int first = 40001; first < 190001; first += 50000) {
      std::string sql = batch;
      for (const auto& [mark, value] : {std::pair{"@FROM@", first}, std::pair{"@TO@", first + 49999}}) {
        for (auto at = sql.find(mark); at != std::string::npos; at = sql.find(mark)) sql.replace(at, std::string_view(mark).size(), std::to_string(value));
      }
      database_->RunSql(sql);
    }
    const std::string backup = database_->Folder() + "corpus.fbk";
    const auto result = RunCommand("gbak -b -user SYSDBA -password cobweb -se localhost:service_mgr " +
                                   Quoted(database_->Path()) + " " + Quoted(backup));
    if (result.status == 0) corpus_ = ReadFileBytes(backup);
  }
  static void TearDownTestSuite() { database_.reset(); }
  void SetUp() override {
    NUVEXA_REQUIRE_FIREBIRD();
    ASSERT_GE(corpus_.size(), 20u << 20) << "the corpus backup is smaller than the sizes tested";
  }

  // The archive of `bytes` as the writer makes it while they are being written.
  std::string WrittenWhileGrowing(const std::string& name, const std::string& bytes, unsigned threads) {
    const std::string source = folder_.Path() + "growing/" + name;
    fs::create_directories(folder_.Path() + "growing");
    fs::remove(source);
    const std::string archive = folder_.Path() + "growing-" + std::to_string(threads) + ".zip";
    GrowingFile growing(source, 1ms);
    {
      SlowWriter writer(growing, bytes);
      const auto entries = backup::WriteGrowingFileArchive(growing, archive, Options(threads));
      backup::VerifyArchive(archive, entries);
    }
    EXPECT_TRUE(growing.ReadWhole());
    // the finished file, for the archive written once it is complete
    fs::rename(source, folder_.Path() + name);
    return archive;
  }
  static ZipOptions Options(unsigned threads) {
    ZipOptions options;
    options.threads = threads;
    return options;
  }

  static std::unique_ptr<test::FirebirdDatabase> database_;
  static std::string corpus_;
  TempFolder folder_;
};

std::unique_ptr<test::FirebirdDatabase> GrowingArchive::database_;
std::string GrowingArchive::corpus_;

constexpr const char* kPythonReader = R"py(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as zf:
    bad = zf.testzip()
    if bad is not None:
        sys.exit("bad entry " + bad)
    [info] = zf.infolist()
    with open(sys.argv[2], "rb") as f:
        if zf.read(info) != f.read():
            sys.exit("the entry differs from the source")
print("ok")
)py";

TEST_F(GrowingArchive, IsTheArchiveOfTheFinishedFileAndEveryReaderAcceptsIt) {
  const std::string reader = folder_.WriteFile("reader.py", kPythonReader);
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, kBlock, kBlock + 1, std::size_t{20} << 20}) {
    SCOPED_TRACE("size " + std::to_string(size));
    const std::string name = "NuvexaDrovana_" + std::to_string(size) + ".fbk";
    const std::string bytes = corpus_.substr(0, size);
    for (const unsigned threads : {1u, 2u}) {
      SCOPED_TRACE(std::to_string(threads) + " thread(s) while growing");
      const std::string archive = WrittenWhileGrowing(name, bytes, threads);
      const std::string source = folder_.Path() + name;
      const std::string growing = ReadFileBytes(archive);
      for (const unsigned finished_threads : {1u, 2u}) {
        const std::string finished = folder_.Path() + "finished.zip";
        backup::WriteSingleFileArchive(source, finished, Options(finished_threads));
        EXPECT_TRUE(ReadFileBytes(finished) == growing)
            << "not the archive of the finished file on " << finished_threads << " thread(s)";
      }

      const auto unzip = RunCommand("unzip -t " + Quoted(archive));
      EXPECT_EQ(unzip.status, 0) << unzip.output;
      const auto python = RunCommand("python3 " + Quoted(reader) + " " + Quoted(archive) + " " + Quoted(source));
      EXPECT_EQ(python.status, 0) << python.output;
      const auto seven = RunCommand("7z t " + Quoted(archive));
      EXPECT_EQ(seven.status, 0) << seven.output;
      EXPECT_NE(seven.output.find("Everything is Ok"), std::string::npos) << seven.output;
      const std::string out = folder_.Path() + "out/";
      ASSERT_EQ(RunCommand("unzip -o -q " + Quoted(archive) + " -d " + Quoted(out)).status, 0);
      EXPECT_TRUE(ReadFileBytes(out + name) == bytes) << "the entry is not the source byte for byte";
      fs::remove_all(out);
      fs::remove(source);
    }
  }
}

TEST_F(GrowingArchive, AWriterThatFailsOrMakesNoFileLeavesNoArchive) {
  const std::string archive = folder_.Path() + "broken.zip";
  {
    GrowingFile growing(folder_.Path() + "half.fbk", 1ms);
    SlowWriter writer(growing, corpus_.substr(0, 8 * kBlock), true);
    EXPECT_THROW(backup::WriteGrowingFileArchive(growing, archive, Options(2)), backup::ZipError);
  }
  EXPECT_FALSE(fs::exists(archive)) << "half a backup is no archive";

  GrowingFile never_made(folder_.Path() + "missing.fbk", 1ms);
  std::thread finish([&] {
    std::this_thread::sleep_for(20ms);
    never_made.WriterFinished();
  });
  try {
    backup::WriteGrowingFileArchive(never_made, archive, Options(2));
    ADD_FAILURE() << "an archive without the backup";
  } catch (const backup::ZipError& e) {
    EXPECT_NE(std::string(e.what()).find("missing.fbk não foi encontrado"), std::string::npos) << e.what();
  }
  finish.join();
  EXPECT_FALSE(fs::exists(archive));
}

// Every byte of the finished file went in only if the file at the path is the one read, to
// its end.
TEST(GrowingFile, ReadWholeOnlyWhenTheFileAtThePathIsTheOneReadToItsEnd) {
  TempFolder folder;
  const std::string path = folder.WriteFile("NuvexaDrovana.fbk", "backup");
  GrowingFile growing(path, 1ms);
  growing.WriterFinished();
  char buffer[16];
  EXPECT_EQ(growing.Read(buffer), 6u);
  EXPECT_EQ(growing.Read(buffer), 0u);
  EXPECT_TRUE(growing.ReadWhole());

  std::ofstream(path, std::ios::binary | std::ios::app) << "+";
  EXPECT_FALSE(growing.ReadWhole()) << "a byte after the reads ended";
  const std::string other = folder.WriteFile("other.fbk", "backup");
  fs::rename(other, path);
  EXPECT_FALSE(growing.ReadWhole()) << "another file put at the path";
}

bool LargeTestsWanted() {
  const char* wanted = std::getenv("NUVEXA_LARGE_TESTS");
  return wanted != nullptr && std::string(wanted) == "1";
}

// Past 4 GiB the finished file's entry carries the Zip64 sizes in its local header, which
// the header written at the start did not have room for: the data moves, and the archive is
// still the finished file's.
TEST(GrowingArchiveLarge, PastFourGiBTheEntryGetsItsZip64HeaderAndStaysTheFinishedFilesArchive) {
  if (!LargeTestsWanted()) {
    GTEST_SKIP() << "archives a growing 4.1 GiB sparse file twice (a few minutes); set NUVEXA_LARGE_TESTS=1 to run it";
  }
  TempFolder folder;
  const std::string source = folder.Path() + "NuvexaDrovana_grande.fbk";
  const std::string archive = folder.Path() + "growing.zip";
  GrowingFile growing(source, 1ms);
  std::thread writer([&] {
    {
      std::ofstream file(source, std::ios::binary);
      file << test::CompressibleData(kBlock);
    }
    // the server's pace does not matter: the file grows in steps of zeros, then one last block
    for (std::uint64_t size = 256ull << 20; size < (4ull << 30) + (100ull << 20); size += 256ull << 20) {
      fs::resize_file(source, size);
      std::this_thread::sleep_for(10ms);
    }
    std::ofstream(source, std::ios::binary | std::ios::app) << test::CompressibleData(kBlock, 2);
    growing.WriterFinished();
  });
  ZipOptions options;
  options.threads = 2;
  std::vector<backup::ZipEntry> entries;
  try {
    entries = backup::WriteGrowingFileArchive(growing, archive, options);
  } catch (const std::exception& e) {
    ADD_FAILURE() << e.what();
  }
  writer.join();
  ASSERT_FALSE(HasFailure());
  backup::VerifyArchive(archive, entries);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_TRUE(entries[0].zip64);
  const std::string finished = folder.Path() + "finished.zip";
  backup::WriteSingleFileArchive(source, finished, options);
  EXPECT_TRUE(ReadFileBytes(finished) == ReadFileBytes(archive));
  const auto unzip = RunCommand("unzip -tq " + Quoted(archive));
  EXPECT_EQ(unzip.status, 0) << unzip.output;
}

}  // namespace
}  // namespace nuvexa

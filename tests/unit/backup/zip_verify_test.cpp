#include "backup/zip_verify.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "backup/deflate_blocks.h"
#include "backup/zip_writer.h"
#include "support/pattern_matchers.h"
#include "support/temp_folder.h"
#include "support/test_files.h"

namespace {

using nuvexa::backup::CompressionLevel;
using nuvexa::backup::DeflateBlocks;
using nuvexa::backup::EntryData;
using nuvexa::backup::kMethodDeflate;
using nuvexa::backup::kMethodStored;
using nuvexa::backup::ReadBlock;
using nuvexa::backup::ReadEntryData;
using nuvexa::backup::VerifyArchive;
using nuvexa::backup::Zip64Mode;
using nuvexa::backup::ZipEntry;
using nuvexa::backup::ZipError;
using nuvexa::backup::ZipOptions;
using nuvexa::backup::ZipWriter;
using nuvexa::test::CompressibleData;
using nuvexa::test::ReadFileBytes;
using nuvexa::test::TempFolder;
using nuvexa::test::MatchesPattern;

constexpr std::size_t kMiB = 1'048'576;

struct Source {
  std::string name;
  std::string data;
};

// Writes each source into the folder and the archive of them all at `archive`, with ZipWriter.
std::vector<ZipEntry> WriteArchive(const TempFolder& folder, const std::string& archive,
                                   const std::vector<Source>& sources, const ZipOptions& options) {
  ZipWriter writer(archive, options);
  for (const Source& source : sources) writer.AddFile(folder.WriteFile(source.name, source.data), source.name);
  writer.Finish();
  return writer.Entries();
}

// The message VerifyArchive or ReadEntryData gave, or "no error".
std::string ErrorOf(const std::function<void()>& check) {
  try {
    check();
  } catch (const ZipError& e) {
    return e.what();
  }
  return "no error";
}

std::string Hex(std::uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}

// Hands out `bytes` as a file would, a buffer at a time.
ReadBlock ReaderOf(std::string_view bytes) {
  return [bytes, at = std::size_t{0}](std::span<char> buffer) mutable {
    const std::size_t count = std::min(buffer.size(), bytes.size() - at);
    std::memcpy(buffer.data(), bytes.data() + at, count);
    at += count;
    return count;
  };
}

std::uint32_t Get32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 4; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

TEST(VerifyArchive, ArchivesAsWrittenReadBack) {
  const std::vector<Source> sources = {
      {"vazio.fbk", ""},
      {"pequeno.fbk", "dipirona"},
      {"cópia €.fbk", CompressibleData(10'000, 2)},  // a UTF-8 name, flag bit 11
      {"QUORVO.fbk", CompressibleData(4 * kMiB)},    // several blocks and buffers
  };
  struct Case {
    const char* why;
    ZipOptions options;
  } const cases[] = {
      {"the backup's settings", {Zip64Mode::zmAuto, CompressionLevel::clMax}},
      {"stored data", {Zip64Mode::zmAuto, CompressionLevel::clNone}},
      {"Zip64 fields on every entry", {Zip64Mode::zmAlways, CompressionLevel::clFastest}},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    const std::string archive = folder.Path() + "a.zip";
    const std::vector<ZipEntry> entries = WriteArchive(folder, archive, sources, c.options);
    EXPECT_EQ(ErrorOf([&] { VerifyArchive(archive, entries); }), "no error") << c.why;
  }
}

TEST(VerifyArchive, EntriesEnoughForTheZip64EndRecord) {
  TempFolder folder;
  const std::string empty = folder.WriteFile("vazio.fbk", "");
  const std::string archive = folder.Path() + "muitos.zip";
  ZipWriter writer(archive, {});
  for (int i = 0; i < 0xFFFF; ++i) writer.AddFile(empty, std::to_string(i));
  writer.Finish();
  ASSERT_EQ(ErrorOf([&] { VerifyArchive(archive, writer.Entries()); }), "no error");

  // the Zip64 end record's directory offset, the locator's 20 and the end record's 22
  // bytes before the end; the classic field holds no more than "see Zip64"
  std::string bytes = ReadFileBytes(archive);
  const std::size_t offset_field = bytes.size() - 22 - 20 - 8;
  const std::uint32_t written = Get32(bytes, offset_field);
  bytes[offset_field] ^= 0x01;
  const std::string damaged = folder.WriteFile("danificado.zip", bytes);
  EXPECT_EQ(ErrorOf([&] { VerifyArchive(damaged, writer.Entries()); }), "The Zip64 end record's directory offset is " +
                                                                            std::to_string(written ^ 0x01) + ", " +
                                                                            std::to_string(written) + " was written");
}

TEST(VerifyArchive, DamageIsFoundAndNamed) {
  TempFolder folder;
  const std::string archive = folder.Path() + "a.zip";
  const std::vector<ZipEntry> entries = WriteArchive(
      folder, archive, {{"QUORVO.fbk", CompressibleData(3 * kMiB)}, {"leia-me.txt", "Nuvexa"}}, ZipOptions{});
  ASSERT_EQ(entries.size(), 2u);
  const std::string good = ReadFileBytes(archive);
  const ZipEntry& first = entries[0];
  const ZipEntry& second = entries[1];
  const std::size_t first_data = first.local_header_offset + 30 + first.name.bytes.size();
  const std::size_t directory = Get32(good, good.size() - 22 + 16);
  const std::size_t second_central = directory + 46 + first.name.bytes.size();
  const std::string size = std::to_string(good.size());

  struct Case {
    const char* why;
    std::function<void(std::string& bytes)> damage;
    std::string message;  // a regular expression
  } const cases[] = {
      {"a byte in the middle of the Deflate data",
       [&](std::string& bytes) { bytes[first_data + first.compressed_size / 2] ^= 0x55; },
       "The (Deflate data of QUORVO.fbk (is damaged: .+|ends after .+|does not end .+)|archive's CRC-32 of "
       "QUORVO.fbk is [0-9a-f]{8}, " +
           Hex(first.crc32) + " was written)"},
      {"a letter of the local header's name", [&](std::string& bytes) { bytes[first.local_header_offset + 30] = 'X'; },
       "The local header's name is \"XUORVO.fbk\", \"QUORVO.fbk\" was written"},
      {"the central directory's CRC-32", [&](std::string& bytes) { bytes[directory + 16] ^= 0x01; },
       "The central directory's CRC-32 of QUORVO.fbk is " + Hex(first.crc32 ^ 0x01) + ", " + Hex(first.crc32) +
           " was written"},
      {"the second entry's local header offset in the central directory",
       [&](std::string& bytes) { bytes[second_central + 42] ^= 0x01; },
       "The central directory's local header offset of leia-me.txt is " +
           std::to_string(second.local_header_offset ^ 0x01) + ", " + std::to_string(second.local_header_offset) +
           " was written"},
      {"the second local header's compressed size",
       [&](std::string& bytes) { bytes[second.local_header_offset + 18] ^= 0x01; },
       "The local header's compressed size of leia-me.txt is " + std::to_string(second.compressed_size ^ 0x01) + ", " +
           std::to_string(second.compressed_size) + " was written"},
      {"the second local header's signature", [&](std::string& bytes) { bytes[second.local_header_offset] = 'Q'; },
       "The archive holds no local header of leia-me.txt at offset " + std::to_string(second.local_header_offset)},
      {"the end record's entry count", [&](std::string& bytes) { bytes[bytes.size() - 22 + 10] = 3; },
       "The end record's entry count is 3, 2 was written"},
      {"the archive cut short by a byte", [&](std::string& bytes) { bytes.pop_back(); },
       "The archive is " + std::to_string(good.size() - 1) + " bytes long, " + size + " were written"},
      {"four bytes slipped in after the first entry's data",
       [&](std::string& bytes) { bytes.insert(first_data + first.compressed_size, "PK\x07\x08"); },
       "The archive is " + std::to_string(good.size() + 4) + " bytes long, " + size + " were written"},
  };
  for (const Case& c : cases) {
    std::string bytes = good;
    c.damage(bytes);
    const std::string damaged = folder.WriteFile("danificado.zip", bytes);
    EXPECT_THAT(ErrorOf([&] { VerifyArchive(damaged, entries); }), MatchesPattern(c.message)) << c.why;
  }
}

TEST(VerifyArchive, LargeEntryReadsBackWithZip64Sizes) {
  const char* wanted = std::getenv("NUVEXA_LARGE_TESTS");
  if (wanted == nullptr || std::string(wanted) != "1") {
    GTEST_SKIP()
        << "archives and reads back a 5 GiB sparse file (about half a minute); set NUVEXA_LARGE_TESTS=1 to run it";
  }
  constexpr std::uint64_t kSize = 5ull << 30;
  TempFolder folder;
  const std::string source = folder.WriteFile("QUORVO.fbk", "");
  std::filesystem::resize_file(source, kSize);
  {
    std::fstream file(source, std::ios::in | std::ios::out | std::ios::binary);
    const std::string block = CompressibleData(65'536);
    file.seekp(static_cast<std::streamoff>(0xFFFFFFFFull - 1000));
    file.write(block.data(), static_cast<std::streamsize>(block.size()));
    ASSERT_TRUE(file.good());
  }
  const std::string archive = folder.Path() + "grande.zip";
  ZipWriter writer(archive, {});
  writer.AddFile(source, "QUORVO.fbk");
  writer.Finish();
  ASSERT_TRUE(writer.Entries().at(0).zip64);
  ASSERT_EQ(ErrorOf([&] { VerifyArchive(archive, writer.Entries()); }), "no error");

  // the size past 4 GiB is read from the central directory's Zip64 extra field, its last 12 bytes
  std::string bytes = ReadFileBytes(archive);
  bytes[bytes.size() - 22 - 12 + 4 + 4] ^= 0x01;  // the size's fifth byte: 4 GiB more or less
  const std::string damaged = folder.WriteFile("danificado.zip", bytes);
  EXPECT_EQ(ErrorOf([&] { VerifyArchive(damaged, writer.Entries()); }),
            "The central directory's Zip64 uncompressed size of QUORVO.fbk is " + std::to_string(kSize ^ (1ull << 32)) +
                ", " + std::to_string(kSize) + " was written");
}

TEST(ReadEntryData, ReadsTheWholeDataAndNothingElse) {
  const std::string data = CompressibleData(6 * kMiB, 3);
  std::string stream;
  const std::uint32_t crc = DeflateBlocks(
                                ReaderOf(data), [&](std::string_view bytes) { stream += bytes; }, 1, kMiB)
                                .crc32;
  ASSERT_GT(stream.size(), kMiB) << "the input is read a buffer at a time";
  const std::string n = std::to_string(stream.size());

  struct Case {
    const char* why;
    std::uint16_t method;
    std::string bytes;
    std::uint64_t compressed_size;
    std::string message;  // a regular expression; empty when the data reads back whole
  } const cases[] = {
      {"the Deflate stream alone", kMethodDeflate, stream, stream.size(), ""},
      {"the data stored", kMethodStored, data, data.size(), ""},
      {"bytes after the stream's end", kMethodDeflate, stream + "lixo", stream.size() + 4,
       "The Deflate data of a.fbk ends after " + n + " of its " + std::to_string(stream.size() + 4) + " bytes"},
      {"a stream cut short", kMethodDeflate, stream.substr(0, stream.size() - 10), stream.size() - 10,
       "The Deflate data of a.fbk does not end within its " + std::to_string(stream.size() - 10) + " bytes"},
      {"fewer bytes than the compressed size", kMethodStored, data.substr(0, 100), data.size(),
       "The archive ends inside the data of a.fbk"},
      {"bytes that are not Deflate", kMethodDeflate, std::string(1000, '\xFF'), 1000,
       "The Deflate data of a.fbk is damaged: .+"},
      {"a method the writer never uses", 12, stream, stream.size(),
       "The method of a.fbk is 12, which is neither stored nor Deflate"},
  };
  for (const Case& c : cases) {
    EntryData read_back;
    const std::string error =
        ErrorOf([&] { read_back = ReadEntryData(c.method, c.compressed_size, ReaderOf(c.bytes), "a.fbk"); });
    if (!c.message.empty()) {
      EXPECT_THAT(error, MatchesPattern(c.message)) << c.why;
      continue;
    }
    EXPECT_EQ(error, "no error") << c.why;
    EXPECT_EQ(read_back.crc32, crc) << c.why;
    EXPECT_EQ(read_back.uncompressed_size, data.size()) << c.why;
  }
}

}  // namespace

#include "backup/zip_records.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "backup/zip_error.h"

namespace {

using nuvexa::backup::ArchiveEndRecords;
using nuvexa::backup::CentralDirectoryHeader;
using nuvexa::backup::EncodeEntryName;
using nuvexa::backup::EntryUsesZip64;
using nuvexa::backup::LocalFileHeader;
using nuvexa::backup::Zip64Mode;
using nuvexa::backup::ZipEntry;
using nuvexa::backup::ZipError;

constexpr std::uint64_t kGiB = 1ull << 30;

// "50 4B 03 04" -> the four bytes; spaces are only for the reader.
std::string Bytes(const char* hex) {
  std::string out;
  for (const char* p = hex; *p != '\0';) {
    if (*p == ' ') {
      ++p;
      continue;
    }
    out += static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16));
    p += 2;
  }
  return out;
}

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += kDigits[c >> 4];
    out += kDigits[c & 0xF];
  }
  return out;
}

const std::string kName = "NuvexaDrovana_08122025_2334.fbk";  // 31 bytes

// 8 December 2025, 23:34:16
constexpr std::uint32_t kDosTime = (45u << 25) | (12u << 21) | (8u << 16) | (23u << 11) | (34u << 5) | 8u;

ZipEntry Entry(std::uint16_t method, std::uint32_t crc, std::uint64_t compressed, std::uint64_t uncompressed,
               std::uint64_t offset, bool zip64, bool utf8 = false) {
  ZipEntry entry;
  entry.name = {kName, utf8};
  entry.method = method;
  entry.dos_date_time = kDosTime;
  entry.crc32 = crc;
  entry.compressed_size = compressed;
  entry.uncompressed_size = uncompressed;
  entry.local_header_offset = offset;
  entry.external_attributes = 0x20;
  entry.zip64 = zip64;
  return entry;
}

TEST(ZipRecords, EntryHeaders) {
  struct Case {
    const char* why;
    ZipEntry entry;
    std::string local;
    std::string central;
  } const cases[] = {
      {"a Deflate entry: version 2.0, flag 0, DOS time, MS-DOS attributes",
       Entry(8, 0x1234ABCD, 1000, 3 * 1048576, 0, false),
       Bytes("50 4B 03 04  14 00  00 00  08 00  48 BC 88 5B  CD AB 34 12  E8 03 00 00  00 00 30 00  1F 00  00 00") +
           kName,
       Bytes("50 4B 01 02  14 00  14 00  00 00  08 00  48 BC 88 5B  CD AB 34 12  E8 03 00 00  00 00 30 00"
             "  1F 00  00 00  00 00  00 00  00 00  20 00 00 00  00 00 00 00") +
           kName},
      {"the placeholder header has the final header's length",
       Entry(8, 0xFFFFFFFF, 0, 3 * 1048576, 0, false),
       Bytes("50 4B 03 04  14 00  00 00  08 00  48 BC 88 5B  FF FF FF FF  00 00 00 00  00 00 30 00  1F 00  00 00") +
           kName,
       Bytes("50 4B 01 02  14 00  14 00  00 00  08 00  48 BC 88 5B  FF FF FF FF  00 00 00 00  00 00 30 00"
             "  1F 00  00 00  00 00  00 00  00 00  20 00 00 00  00 00 00 00") +
           kName},
      {"an empty file is stored, CRC 0, sizes 0", Entry(0, 0, 0, 0, 0, false),
       Bytes("50 4B 03 04  14 00  00 00  00 00  48 BC 88 5B  00 00 00 00  00 00 00 00  00 00 00 00  1F 00  00 00") +
           kName,
       Bytes("50 4B 01 02  14 00  14 00  00 00  00 00  48 BC 88 5B  00 00 00 00  00 00 00 00  00 00 00 00"
             "  1F 00  00 00  00 00  00 00  00 00  20 00 00 00  00 00 00 00") +
           kName},
      {"a UTF-8 name sets bit 11 in both headers; the second entry carries its offset",
       Entry(8, 0x1234ABCD, 1000, 3 * 1048576, 0x1234, false, true),
       Bytes("50 4B 03 04  14 00  00 08  08 00  48 BC 88 5B  CD AB 34 12  E8 03 00 00  00 00 30 00  1F 00  00 00") +
           kName,
       Bytes("50 4B 01 02  14 00  14 00  00 08  08 00  48 BC 88 5B  CD AB 34 12  E8 03 00 00  00 00 30 00"
             "  1F 00  00 00  00 00  00 00  00 00  20 00 00 00  34 12 00 00") +
           kName},
      {"5 GiB compressed to 1 GiB: version 4.5; the local extra holds both sizes, the central one only "
       "the uncompressed size",
       Entry(8, 0x1234ABCD, kGiB, 5 * kGiB, 0, true),
       Bytes("50 4B 03 04  2D 00  00 00  08 00  48 BC 88 5B  CD AB 34 12  00 00 00 40  FF FF FF FF  1F 00  14 00") +
           kName + Bytes("01 00 10 00  00 00 00 40 01 00 00 00  00 00 00 40 00 00 00 00"),
       Bytes("50 4B 01 02  2D 00  2D 00  00 00  08 00  48 BC 88 5B  CD AB 34 12  00 00 00 40  FF FF FF FF"
             "  1F 00  0C 00  00 00  00 00  00 00  20 00 00 00  00 00 00 00") +
           kName + Bytes("01 00 08 00  00 00 00 40 01 00 00 00")},
      {"every value beyond 32 bits moves to the central extra field: uncompressed, compressed, offset",
       Entry(8, 0x1234ABCD, 5 * kGiB, 6 * kGiB, 4 * kGiB, true),
       Bytes("50 4B 03 04  2D 00  00 00  08 00  48 BC 88 5B  CD AB 34 12  FF FF FF FF  FF FF FF FF  1F 00  14 00") +
           kName + Bytes("01 00 10 00  00 00 00 80 01 00 00 00  00 00 00 40 01 00 00 00"),
       Bytes("50 4B 01 02  2D 00  2D 00  00 00  08 00  48 BC 88 5B  CD AB 34 12  FF FF FF FF  FF FF FF FF"
             "  1F 00  1C 00  00 00  00 00  00 00  20 00 00 00  FF FF FF FF") +
           kName + Bytes("01 00 18 00  00 00 00 80 01 00 00 00  00 00 00 40 01 00 00 00  00 00 00 00 01 00 00 00")},
      {"a small Zip64 entry: the local extra all the same, no central extra", Entry(8, 0x1234ABCD, 1000, 4000, 0, true),
       Bytes("50 4B 03 04  2D 00  00 00  08 00  48 BC 88 5B  CD AB 34 12  E8 03 00 00  FF FF FF FF  1F 00  14 00") +
           kName + Bytes("01 00 10 00  A0 0F 00 00 00 00 00 00  E8 03 00 00 00 00 00 00"),
       Bytes("50 4B 01 02  2D 00  2D 00  00 00  08 00  48 BC 88 5B  CD AB 34 12  E8 03 00 00  A0 0F 00 00"
             "  1F 00  00 00  00 00  00 00  00 00  20 00 00 00  00 00 00 00") +
           kName},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Hex(LocalFileHeader(c.entry)), Hex(c.local)) << c.why;
    EXPECT_EQ(Hex(CentralDirectoryHeader(c.entry)), Hex(c.central)) << c.why;
  }
}

TEST(ZipRecords, HeadersRefuseValuesTheirFieldsCannotHold) {
  // Incompressible data just under 4 GiB grows past it: the header written without Zip64 cannot say so.
  const ZipEntry grown = Entry(8, 0, 0xFFFFFFFF, 0xFFFFFFF0, 0, false);
  EXPECT_THROW(LocalFileHeader(grown), ZipError);
  EXPECT_THROW(CentralDirectoryHeader(grown), ZipError);
  EXPECT_THROW(CentralDirectoryHeader(Entry(8, 0, 10, 10, 0xFFFFFFFF, false)), ZipError) << "offset";
}

TEST(ZipRecords, EntryUsesZip64) {
  struct Case {
    const char* why;
    Zip64Mode mode;
    std::uint64_t size, worst_case, offset;
    bool zip64;
  } const cases[] = {
      {"one byte under the limit, stored, fits", Zip64Mode::zmAuto, 0xFFFFFFFE, 0xFFFFFFFE, 0, false},
      {"0xFFFFFFFF is the marker value, so it needs Zip64", Zip64Mode::zmAuto, 0xFFFFFFFF, 0xFFFFFFFF, 0, true},
      {"under the limit, but data that does not compress would reach it", Zip64Mode::zmAuto, 0xFFFF0000,
       0xFFFFFFFF, 0, true},
      {"under the limit, and its worst case still under it", Zip64Mode::zmAuto, 0xFFFF0000, 0xFFFFFFFE, 0, false},
      {"5 GiB", Zip64Mode::zmAuto, 5 * kGiB, 5 * kGiB + 2'000'000, 0, true},
      {"a local header at 4 GiB", Zip64Mode::zmAuto, 100, 200, 0xFFFFFFFF, true},
      {"always: even an empty file", Zip64Mode::zmAlways, 0, 0, 0, true},
      {"disabled and not needed", Zip64Mode::zmDisabled, 0xFFFFFFFE, 0xFFFFFFFE, 0xFFFFFFFE, false},
      {"disabled: data that only might grow past the limit is written without", Zip64Mode::zmDisabled, 0xFFFF0000,
       5 * kGiB, 0, false},
  };
  for (const auto& c : cases) EXPECT_EQ(EntryUsesZip64(c.mode, c.size, c.worst_case, c.offset), c.zip64) << c.why;

  EXPECT_THROW(EntryUsesZip64(Zip64Mode::zmDisabled, 0xFFFFFFFF, 0xFFFFFFFF, 0), ZipError);
  EXPECT_THROW(EntryUsesZip64(Zip64Mode::zmDisabled, 100, 100, 0xFFFFFFFF), ZipError);
}

TEST(ZipRecords, ArchiveEndRecords) {
  const std::string kEnd = "50 4B 05 06  00 00  00 00";
  const std::string kZip64End = "50 4B 06 06  2C 00 00 00 00 00 00 00  2D 00  2D 00  00 00 00 00  00 00 00 00";
  const std::string kLocator = "50 4B 06 07  00 00 00 00";
  struct Case {
    const char* why;
    std::uint64_t count, offset, size;
    std::string expected;
  } const cases[] = {
      {"no entries: the 22-byte end record alone", 0, 0, 0, kEnd + "  00 00  00 00  00 00 00 00  00 00 00 00  00 00"},
      {"one entry", 1, 0x1000, 0x4D, kEnd + "  01 00  01 00  4D 00 00 00  00 10 00 00  00 00"},
      {"a directory ending just under 0xFFFFFFFF needs nothing more", 1, 0xFFFFFF00, 0xFE,
       kEnd + "  01 00  01 00  FE 00 00 00  00 FF FF FF  00 00"},
      {"a directory ending at 0xFFFFFFFF: Zip64 end record and locator; the classic values still fit", 1, 0xFFFFFF00,
       0xFF,
       kZip64End + "  01 00 00 00 00 00 00 00  01 00 00 00 00 00 00 00  FF 00 00 00 00 00 00 00" +
           "  00 FF FF FF 00 00 00 00  " + kLocator + "  FF FF FF FF 00 00 00 00  01 00 00 00  " + kEnd +
           "  01 00  01 00  FF 00 00 00  00 FF FF FF  00 00"},
      {"a directory starting at 5 GiB: its offset is 0xFFFFFFFF in the end record", 1, 5 * kGiB, 0x4D,
       kZip64End + "  01 00 00 00 00 00 00 00  01 00 00 00 00 00 00 00  4D 00 00 00 00 00 00 00" +
           "  00 00 00 40 01 00 00 00  " + kLocator + "  4D 00 00 40 01 00 00 00  01 00 00 00  " + kEnd +
           "  01 00  01 00  4D 00 00 00  FF FF FF FF  00 00"},
      {"65534 entries still fit", 65534, 0x1000, 0x10, kEnd + "  FE FF  FE FF  10 00 00 00  00 10 00 00  00 00"},
      {"65535 entries need the Zip64 end record; the counts become 0xFFFF", 65535, 0x1000, 0x10,
       kZip64End + "  FF FF 00 00 00 00 00 00  FF FF 00 00 00 00 00 00  10 00 00 00 00 00 00 00" +
           "  00 10 00 00 00 00 00 00  " + kLocator + "  10 10 00 00 00 00 00 00  01 00 00 00  " + kEnd +
           "  FF FF  FF FF  10 00 00 00  00 10 00 00  00 00"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Hex(ArchiveEndRecords(c.count, c.offset, c.size, Zip64Mode::zmAuto)), Hex(Bytes(c.expected.c_str())))
        << c.why;
  }

  EXPECT_THROW(ArchiveEndRecords(1, 0xFFFFFF00, 0xFF, Zip64Mode::zmDisabled), ZipError);
  EXPECT_THROW(ArchiveEndRecords(65535, 0, 0x10, Zip64Mode::zmDisabled), ZipError);
}

TEST(ZipRecords, EncodeEntryName) {
  struct Case {
    const char* why;
    std::string name;
    std::string bytes;
    bool utf8;
  } const cases[] = {
      {"ASCII stays as it is", "NuvexaDrovana_08122025_2334.fbk", "NuvexaDrovana_08122025_2334.fbk", false},
      {"Portuguese letters go to code page 850", "ção.fbk", "\x87\xC6o.fbk", false},
      {"folder separators are kept", "BACKUP DROVANA/Ação.fbk", "BACKUP DROVANA/A\x87\xC6o.fbk", false},
      {"the euro sign has no place in code page 850", "cópia €.fbk", "cópia €.fbk", true},
      {"nor has Japanese", "日本.fbk", "日本.fbk", true},
      {"bytes that are not UTF-8 become U+FFFD under the UTF-8 flag", "a\xFF.fbk", "a\xEF\xBF\xBD.fbk", true},
  };
  for (const auto& c : cases) {
    const auto encoded = EncodeEntryName(c.name);
    EXPECT_EQ(Hex(encoded.bytes), Hex(c.bytes)) << c.why;
    EXPECT_EQ(encoded.utf8, c.utf8) << c.why;
  }
}

}  // namespace

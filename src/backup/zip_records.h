#pragma once

// The records of a ZIP archive (PKWARE's APPNOTE), as bytes. Pure functions:
// the writer decides what goes into them and where they go.

#include <cstdint>
#include <string>
#include <string_view>

#include "backup/zip_options.h"

namespace nuvexa::backup {

// A size or offset at or beyond this value does not fit a classic 32-bit field.
inline constexpr std::uint64_t kZip64Limit = 0xFFFFFFFF;
// More entries than this need the Zip64 end record.
inline constexpr std::uint64_t kZip64EntryLimit = 0xFFFF;
inline constexpr std::uint16_t kFlagUtf8Name = 0x0800;

// A name as stored: in code page 850 when every character has a place there,
// otherwise in UTF-8 with flag bit 11.
struct EntryName {
  std::string bytes;
  bool utf8 = false;
};

EntryName EncodeEntryName(std::string_view utf8_name);

struct ZipEntry {
  EntryName name;
  std::uint16_t method = kMethodDeflate;
  std::uint32_t dos_date_time = 0;  // MS-DOS date in the upper 16 bits, time in the lower
  std::uint32_t crc32 = 0;
  std::uint64_t compressed_size = 0;
  std::uint64_t uncompressed_size = 0;
  std::uint64_t local_header_offset = 0;
  std::uint32_t external_attributes = 0;
  // Version 4.5 and the Zip64 extra field in the local header, holding both sizes.
  bool zip64 = false;
};

// Whether an entry is written with Zip64 fields, decided before its data: its size, the
// most its data can take once compressed (data that does not compress grows), and where its
// local header starts. Throws ZipError when the size or the offset needs them and they are
// disabled; with them disabled, data that only might grow past the limit is written without.
bool EntryUsesZip64(Zip64Mode mode, std::uint64_t uncompressed_size, std::uint64_t compressed_size_bound,
                    std::uint64_t local_header_offset);

// The local file header with the name and extra field. Its length depends only on the
// name and on `zip64`, so the header can be written again in place once the sizes are known.
// Throws ZipError when a size needs Zip64 and the entry has none.
std::string LocalFileHeader(const ZipEntry& entry);

// The central directory header with the name and extra field.
// Throws ZipError when a size or the offset needs Zip64 and the entry has none.
std::string CentralDirectoryHeader(const ZipEntry& entry);

// What follows the central directory: the Zip64 end record and its locator when the
// directory ends at or beyond 4 GiB or the entries are too many, then the end record.
// Throws ZipError when those records are needed under zmDisabled.
std::string ArchiveEndRecords(std::uint64_t entry_count, std::uint64_t directory_offset, std::uint64_t directory_size,
                              Zip64Mode mode);

}  // namespace nuvexa::backup

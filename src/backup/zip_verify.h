#pragma once

// Reads an archive back from the disk and holds it against what ZipWriter recorded while
// writing it, so that the backup file is only given up for an archive that reads back whole.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "backup/deflate_blocks.h"
#include "backup/zip_records.h"

namespace nuvexa::backup {

// Checks that the archive at `archive_path` holds `written`, in that order, laid out as
// ZipWriter lays them out: the end record (and the Zip64 end record and its locator where
// the writer puts them), each entry's central directory header and local file header, and
// each entry's data, read in full with bounded memory, whose CRC-32 and sizes must be the
// recorded ones. Throws ZipError naming the first value that does not match what was
// written, or platform::FileError when the archive cannot be read.
void VerifyArchive(const std::string& archive_path, std::span<const ZipEntry> written);

struct EntryData {
  std::uint32_t crc32 = 0;
  std::uint64_t uncompressed_size = 0;
};

// Reads the `compressed_size` bytes of one entry's data from `read`, stored or raw Deflate
// by `method`, one buffer at a time, and returns the CRC-32 and size of what they hold. A
// Deflate stream must end exactly at its last byte. Throws ZipError naming `entry_name`
// when the data is damaged, ends early or runs on, or `read` gives fewer bytes than asked.
EntryData ReadEntryData(std::uint16_t method, std::uint64_t compressed_size, const ReadBlock& read,
                        std::string_view entry_name);

}  // namespace nuvexa::backup

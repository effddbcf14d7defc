#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "backup/growing_file.h"
#include "backup/zip_error.h"
#include "backup/zip_options.h"
#include "backup/deflate_blocks.h"
#include "backup/zip_records.h"
#include "platform/file_stream.h"

namespace nuvexa::backup {

// Writes a ZIP archive straight into its target file. Each entry's local header is
// written first with placeholders and rewritten in place once the data is written, so
// no data descriptor follows the data and the target must be seekable.
class ZipWriter {
 public:
  // Creates the archive, or truncates it when present. Throws platform::FileError.
  ZipWriter(const std::string& archive_path, const ZipOptions& options);

  // Adds the file at `source_path` under `entry_name` (UTF-8, "/" between folders).
  // Throws ZipError or platform::FileError; the archive is then incomplete.
  void AddFile(const std::string& source_path, std::string_view entry_name);
  // Adds the file that `source` reads while its writer still writes it, under
  // `entry_name`; returns when the writer has finished and the file's last byte is in.
  // The entry comes out as AddFile would write the finished file: its header is set from
  // the final size, time and attributes. Throws ZipError or platform::FileError.
  void AddGrowingFile(GrowingFile& source, std::string_view entry_name);

  // Writes the central directory and the end records, waits until the archive is on
  // the disk and closes it.
  void Finish();

  // The entries added so far, as their headers were written: what the archive must hold.
  const std::vector<ZipEntry>& Entries() const { return entries_; }

 private:
  // Writes the entry's data from `read` after its local header and sets the entry's CRC-32
  // and sizes from what was read and written; `size_hint` only sizes the buffers.
  void WriteEntryData(ZipEntry& entry, const ReadBlock& read, std::uint64_t size_hint);

  platform::OutputFile file_;
  ZipOptions options_;
  std::vector<ZipEntry> entries_;
};

// As WriteSingleFileArchive, for the file that `source` reads while it is being written:
// the same archive, byte for byte, as writing it once it is finished.
std::vector<ZipEntry> WriteGrowingFileArchive(GrowingFile& source, const std::string& archive_path,
                                              const ZipOptions& options);

// The most bytes that `size` bytes of any content take in an entry written at `level`:
// stored data keeps its size, Deflate's worst case (data that does not compress) is larger.
std::uint64_t WorstCaseEntrySize(std::uint64_t size, CompressionLevel level);

// The name of `path` in an archive whose names are relative to `base_dir` (the current
// folder when empty), with "/" between folders. Throws ZipError when the path is not
// inside that folder.
std::string RelativeEntryName(std::string_view base_dir, std::string_view path);

// Writes the archive at `archive_path` holding the file at `source_path` alone, under its
// bare name. A source that names no file gives an archive with no entries. On failure the
// archive is removed before the error goes on, so an archive that exists is complete.
// Returns the entries written (none or one), to read the archive back against.
std::vector<ZipEntry> WriteSingleFileArchive(const std::string& source_path, const std::string& archive_path,
                                             const ZipOptions& options);

}  // namespace nuvexa::backup

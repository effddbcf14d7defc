#include "backup/zip_writer.h"

#include <zlib.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "backup/deflate_blocks.h"
#include "backup/parallel_deflate.h"
#include "platform/date_time.h"
#include "platform/file.h"
#include "platform/file_info.h"
#include "platform/paths.h"

namespace nuvexa::backup {
namespace {

constexpr std::uint32_t kCrcPlaceholder = 0xFFFFFFFF;


// `size_hint`, the file's size as measured, only keeps the buffer small for small files: a
// file that grew meanwhile is still read to its end.
DataSummary StoreBlocks(const ReadBlock& read, const WriteBytes& write, std::size_t block_size,
                        std::uint64_t size_hint) {
  std::vector<char> buffer(static_cast<std::size_t>(
      std::min<std::uint64_t>(block_size, std::max<std::uint64_t>(size_hint, 4096))));
  DataSummary summary;
  for (;;) {
    const std::size_t size = read(buffer);
    if (size == 0) return summary;
    const std::string_view bytes(buffer.data(), size);
    write(bytes);
    summary.crc32 = static_cast<std::uint32_t>(
        crc32_z(summary.crc32, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
    summary.input_size += size;
    summary.output_size += size;
  }
}

// Moves `length` bytes of the file from `from` to `to`, in pieces, in the order that never
// overwrites a byte before it was moved.
void MoveBytes(platform::OutputFile& file, std::uint64_t from, std::uint64_t length, std::uint64_t to) {
  const platform::InputFile reader = platform::InputFile::Open(file.Path());
  std::vector<char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(length, 1 << 20)));
  for (std::uint64_t moved = 0; moved < length;) {
    const std::uint64_t piece = std::min<std::uint64_t>(buffer.size(), length - moved);
    // forwards: the last piece first
    const std::uint64_t at = to > from ? length - moved - piece : moved;
    const std::span<char> bytes(buffer.data(), static_cast<std::size_t>(piece));
    if (reader.ReadAt(from + at, bytes) != piece) throw ZipError("the archive ended while its data was moved");
    file.WriteAt(to + at, std::string_view(bytes.data(), bytes.size()));
    moved += piece;
  }
}

}  // namespace

ZipWriter::ZipWriter(const std::string& archive_path, const ZipOptions& options)
    : file_(platform::OutputFile::Create(archive_path)), options_(options) {}

void ZipWriter::AddFile(const std::string& source_path, std::string_view entry_name) {
  platform::InputFile input = platform::InputFile::Open(source_path);
  const std::uint64_t size = input.Size();

  ZipEntry entry;
  entry.name = EncodeEntryName(entry_name);
  entry.method = size == 0 ? kMethodStored : SettingsOf(options_.compression_level).method;
  entry.dos_date_time = platform::ToDosDateTime(platform::FileLastWriteTime(source_path).value_or(platform::Now()));
  entry.external_attributes = platform::FileAttributes(source_path).value_or(0);
  entry.local_header_offset = file_.Position();
  entry.zip64 = EntryUsesZip64(options_.zip64_mode, size, WorstCaseEntrySize(size, options_.compression_level),
                               entry.local_header_offset);
  entry.uncompressed_size = size;
  entry.crc32 = kCrcPlaceholder;
  file_.Write(LocalFileHeader(entry));
  WriteEntryData(entry, [&input](std::span<char> buffer) { return input.Read(buffer); }, size);
  file_.WriteAt(entry.local_header_offset, LocalFileHeader(entry));
  entries_.push_back(std::move(entry));
}

void ZipWriter::AddGrowingFile(GrowingFile& source, std::string_view entry_name) {
  // Written first as the header of a small file; whatever the finished file needs instead
  // is set, and the data moved if the header grew, once it is complete.
  ZipEntry entry;
  entry.name = EncodeEntryName(entry_name);
  entry.method = SettingsOf(options_.compression_level).method;
  entry.dos_date_time = platform::ToDosDateTime(platform::Now());
  entry.local_header_offset = file_.Position();
  entry.zip64 = EntryUsesZip64(options_.zip64_mode, 0, 0, entry.local_header_offset);
  entry.crc32 = kCrcPlaceholder;
  file_.Write(LocalFileHeader(entry));
  const std::uint64_t data_start = file_.Position();
  WriteEntryData(entry, [&source](std::span<char> buffer) { return source.Read(buffer); },
                 SettingsOf(options_.compression_level).block_size);

  const std::uint64_t size = entry.uncompressed_size;
  if (size == 0 && entry.method != kMethodStored) {
    // an empty file is stored, whatever the level: the empty Deflate stream goes
    entry.method = kMethodStored;
    entry.compressed_size = 0;
    file_.Resize(data_start);
  }
  entry.zip64 = EntryUsesZip64(options_.zip64_mode, size, WorstCaseEntrySize(size, options_.compression_level),
                               entry.local_header_offset);
  entry.dos_date_time =
      platform::ToDosDateTime(platform::FileLastWriteTime(source.Path()).value_or(platform::Now()));
  entry.external_attributes = platform::FileAttributes(source.Path()).value_or(0);
  const std::string header = LocalFileHeader(entry);
  const std::uint64_t final_start = entry.local_header_offset + header.size();
  if (final_start != data_start) {
    MoveBytes(file_, data_start, entry.compressed_size, final_start);
    file_.Resize(final_start + entry.compressed_size);
  }
  file_.WriteAt(entry.local_header_offset, header);
  entries_.push_back(std::move(entry));
}

void ZipWriter::WriteEntryData(ZipEntry& entry, const ReadBlock& read_source, std::uint64_t size_hint) {
  const CompressionSettings& settings = SettingsOf(options_.compression_level);
  const WriteBytes write = [this](std::string_view bytes) { file_.Write(bytes); };
  std::uint64_t bytes_read = 0;
  const ReadBlock read = !options_.on_progress ? read_source : [&](std::span<char> buffer) {
    const std::size_t got = read_source(buffer);
    bytes_read += got;
    options_.on_progress(bytes_read);
    return got;
  };
  const DataSummary data = entry.method == kMethodStored
                               ? StoreBlocks(read, write, settings.block_size, size_hint)
                               : DeflateBlocksInParallel(read, write, settings.zlib_level, settings.block_size,
                                                         options_.threads);
  // The file may have changed size since it was measured: what was read is what the archive holds.
  entry.crc32 = data.crc32;
  entry.uncompressed_size = data.input_size;
  entry.compressed_size = data.output_size;
}

void ZipWriter::Finish() {
  const std::uint64_t directory_offset = file_.Position();
  std::string directory;
  for (const ZipEntry& entry : entries_) directory += CentralDirectoryHeader(entry);
  file_.Write(directory);
  file_.Write(ArchiveEndRecords(entries_.size(), directory_offset, directory.size(), options_.zip64_mode));
  file_.Flush();
  file_.Close();
}

std::vector<ZipEntry> WriteGrowingFileArchive(GrowingFile& source, const std::string& archive_path,
                                              const ZipOptions& options) {
  std::optional<ZipWriter> writer(std::in_place, archive_path, options);
  try {
    writer->AddGrowingFile(source, platform::ExtractFileName(source.Path()));
    writer->Finish();
    return writer->Entries();
  } catch (...) {
    writer.reset();
    platform::RemoveFile(archive_path);
    throw;
  }
}

std::uint64_t WorstCaseEntrySize(std::uint64_t size, CompressionLevel level) {
  const CompressionSettings& settings = SettingsOf(level);
  // AddFile stores an empty file whatever the level
  if (size == 0 || settings.method == kMethodStored) return size;
  return DeflatedSizeBound(size, settings.zlib_level, settings.block_size);
}

std::string RelativeEntryName(std::string_view base_dir, std::string_view path) {
  std::string_view rest = path;
  if (!base_dir.empty()) {
    const bool inside = path.starts_with(base_dir) &&
                        (platform::IsPathSeparator(base_dir.back()) ||
                         (path.size() > base_dir.size() && platform::IsPathSeparator(path[base_dir.size()])));
    if (!inside) throw ZipError("\"" + std::string(path) + "\" is not inside \"" + std::string(base_dir) + "\"");
    rest.remove_prefix(base_dir.size());
    if (!platform::IsPathSeparator(base_dir.back())) rest.remove_prefix(1);
  }
  if (rest.empty()) throw ZipError("\"" + std::string(path) + "\" names no file inside \"" + std::string(base_dir) + "\"");
  std::string name(rest);
  for (char& c : name) {
    if (platform::IsPathSeparator(c)) c = '/';
  }
  return name;
}

std::vector<ZipEntry> WriteSingleFileArchive(const std::string& source_path, const std::string& archive_path,
                                             const ZipOptions& options) {
  // A target that cannot be created is left as it was: nothing of ours is there to remove.
  std::optional<ZipWriter> writer(std::in_place, archive_path, options);
  try {
    // Creating the archive may have emptied the source when both name one file; then
    // there is nothing to add, as the archive never holds itself.
    if (platform::FileExists(source_path) && !platform::SameFile(source_path, archive_path)) {
      const std::string base_dir = platform::ExtractFilePath(source_path);
      writer->AddFile(source_path, RelativeEntryName(base_dir, source_path));
    }
    writer->Finish();
    return writer->Entries();
  } catch (...) {
    writer.reset();
    platform::RemoveFile(archive_path);
    throw;
  }
}

}  // namespace nuvexa::backup

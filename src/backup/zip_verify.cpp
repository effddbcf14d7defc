#include "backup/zip_verify.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

#include "backup/zip_error.h"
#include "platform/code_page.h"
#include "platform/file_stream.h"

namespace nuvexa::backup {
namespace {

// Read here from PKWARE's APPNOTE, not taken from the writer, so that a fault of the
// writer's records shows too.
constexpr std::uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr std::uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr std::uint32_t kEndSignature = 0x06054B50;
constexpr std::uint32_t kZip64EndSignature = 0x06064B50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr std::uint16_t kZip64ExtraTag = 0x0001;
constexpr std::uint64_t kLocalHeaderSize = 30;
constexpr std::uint64_t kCentralHeaderSize = 46;
constexpr std::uint64_t kEndRecordSize = 22;
constexpr std::uint64_t kZip64EndSize = 56;
constexpr std::uint64_t kZip64LocatorSize = 20;
constexpr std::uint64_t kLocalZip64ExtraSize = 20;  // tag, length and both sizes
constexpr std::uint16_t kVersionClassic = 20;
constexpr std::uint16_t kVersionZip64 = 45;
constexpr int kRawDeflateWindowBits = -15;
constexpr std::size_t kBufferSize = 1'048'576;

bool Overflows(std::uint64_t value) { return value >= kZip64Limit; }

std::uint32_t Field32(std::uint64_t value) {
  return Overflows(value) ? static_cast<std::uint32_t>(kZip64Limit) : static_cast<std::uint32_t>(value);
}

std::uint16_t VersionOf(const ZipEntry& entry) { return entry.zip64 ? kVersionZip64 : kVersionClassic; }

std::uint16_t FlagsOf(const ZipEntry& entry) { return entry.name.utf8 ? kFlagUtf8Name : 0; }

// A stored name as the log shows it, whatever bytes it holds.
std::string Printable(std::string_view bytes, bool utf8) {
  return utf8 ? platform::ReplaceInvalidUtf8(bytes) : platform::ToUtf8(bytes, platform::CodePage::Cp850);
}

std::string NameOf(const ZipEntry& entry) { return Printable(entry.name.bytes, entry.name.utf8); }

std::string Hex(std::uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%08llx", static_cast<unsigned long long>(value));
  return text;
}

[[noreturn]] void ThrowMismatch(std::string_view record, std::string_view what, const std::string& found,
                                const std::string& written) {
  throw ZipError("The " + std::string(record) + " " + std::string(what) + " is " + found + ", " + written +
                 " was written");
}

struct Field {
  std::string what;
  std::uint64_t found;
  std::uint64_t written;
  bool hex = false;
};

// The first field of `record` whose value is not the one written is the error.
void ExpectFields(std::string_view record, std::initializer_list<Field> fields) {
  for (const Field& field : fields) {
    if (field.found == field.written) continue;
    const auto show = [&field](std::uint64_t value) { return field.hex ? Hex(value) : std::to_string(value); };
    ThrowMismatch(record, field.what, show(field.found), show(field.written));
  }
}

// Little-endian fields one after another. Reading past the bytes is an error: a damaged
// record's lengths may point anywhere.
class FieldReader {
 public:
  FieldReader(std::string_view bytes, std::string what) : bytes_(bytes), what_(std::move(what)) {}

  std::uint16_t U16() { return static_cast<std::uint16_t>(Number(2)); }
  std::uint32_t U32() { return static_cast<std::uint32_t>(Number(4)); }
  std::uint64_t U64() { return Number(8); }
  std::string_view Bytes(std::size_t count) {
    Need(count);
    const std::string_view bytes = bytes_.substr(at_, count);
    at_ += count;
    return bytes;
  }
  std::size_t Left() const { return bytes_.size() - at_; }

 private:
  void Need(std::size_t count) const {
    if (count > Left()) throw ZipError("The " + what_ + " is shorter than its fields");
  }
  std::uint64_t Number(std::size_t width) {
    Need(width);
    std::uint64_t value = 0;
    for (std::size_t i = width; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes_[at_ + i]);
    at_ += width;
    return value;
  }

  std::string_view bytes_;
  std::size_t at_ = 0;
  std::string what_;
};

// The data of the Zip64 extra field among a header's extra fields, if it is there.
std::optional<std::string_view> Zip64Extra(std::string_view extra, const std::string& what) {
  FieldReader fields(extra, what);
  while (fields.Left() > 0) {
    const std::uint16_t tag = fields.U16();
    const std::string_view data = fields.Bytes(fields.U16());
    if (tag == kZip64ExtraTag) return data;
  }
  return std::nullopt;
}

std::uint64_t LocalHeaderSize(const ZipEntry& entry) {
  return kLocalHeaderSize + entry.name.bytes.size() + (entry.zip64 ? kLocalZip64ExtraSize : 0);
}

// The central directory's Zip64 extra field holds the values that do not fit their field.
std::uint64_t CentralExtraSize(const ZipEntry& entry) {
  const auto count = std::ranges::count_if(
      std::initializer_list<std::uint64_t>{entry.uncompressed_size, entry.compressed_size, entry.local_header_offset},
      Overflows);
  return count == 0 ? 0 : 4 + 8 * static_cast<std::uint64_t>(count);
}

std::uint64_t CentralHeaderSize(const ZipEntry& entry) {
  return kCentralHeaderSize + entry.name.bytes.size() + CentralExtraSize(entry);
}

// Where the writer put everything, from its records: the entries one after another from
// the start, the central directory after the last, then the end records.
struct Layout {
  std::uint64_t directory_offset = 0;
  std::uint64_t directory_size = 0;
  bool zip64_end = false;
  std::uint64_t archive_size = 0;
};

Layout LayoutOf(std::span<const ZipEntry> entries) {
  Layout layout;
  if (!entries.empty()) {
    const ZipEntry& last = entries.back();
    layout.directory_offset = last.local_header_offset + LocalHeaderSize(last) + last.compressed_size;
  }
  for (const ZipEntry& entry : entries) layout.directory_size += CentralHeaderSize(entry);
  const std::uint64_t directory_end = layout.directory_offset + layout.directory_size;
  layout.zip64_end = Overflows(directory_end) || entries.size() >= kZip64EntryLimit;
  layout.archive_size = directory_end + (layout.zip64_end ? kZip64EndSize + kZip64LocatorSize : 0) + kEndRecordSize;
  return layout;
}

std::string ReadRecord(const platform::InputFile& file, std::uint64_t offset, std::uint64_t size) {
  std::string bytes(size, '\0');
  if (file.ReadAt(offset, std::span<char>(bytes.data(), bytes.size())) != bytes.size())
    throw ZipError("The archive ends before offset " + std::to_string(offset + size));
  return bytes;
}

void ExpectSignature(FieldReader& record, std::uint32_t signature, std::string_view what, std::uint64_t offset) {
  if (record.U32() != signature)
    throw ZipError("The archive holds no " + std::string(what) + " at offset " + std::to_string(offset));
}

void CheckEndRecords(const platform::InputFile& file, const Layout& layout, std::uint64_t entry_count) {
  const std::uint64_t directory_end = layout.directory_offset + layout.directory_size;
  const std::uint64_t end_offset = layout.archive_size - kEndRecordSize;
  const std::string end_bytes = ReadRecord(file, end_offset, kEndRecordSize);
  FieldReader end(end_bytes, "end record");
  ExpectSignature(end, kEndSignature, "end record", end_offset);
  const std::uint16_t this_disk = end.U16();
  const std::uint16_t directory_disk = end.U16();
  const std::uint16_t disk_entries = end.U16();
  const std::uint16_t entries = end.U16();
  const std::uint32_t directory_size = end.U32();
  const std::uint32_t directory_offset = end.U32();
  const std::uint16_t comment_length = end.U16();
  const std::uint64_t count16 = std::min(entry_count, kZip64EntryLimit);
  ExpectFields("end record's", {{"disk number", this_disk, 0},
                                {"directory's disk", directory_disk, 0},
                                {"entry count on this disk", disk_entries, count16},
                                {"entry count", entries, count16},
                                {"directory size", directory_size, Field32(layout.directory_size)},
                                {"directory offset", directory_offset, Field32(layout.directory_offset)},
                                {"comment length", comment_length, 0}});
  if (!layout.zip64_end) return;

  const std::uint64_t locator_offset = end_offset - kZip64LocatorSize;
  const std::string locator_bytes = ReadRecord(file, locator_offset, kZip64LocatorSize);
  FieldReader locator(locator_bytes, "Zip64 end record locator");
  ExpectSignature(locator, kZip64LocatorSignature, "Zip64 end record locator", locator_offset);
  const std::uint32_t zip64_end_disk = locator.U32();
  const std::uint64_t zip64_end_offset = locator.U64();
  const std::uint32_t disks = locator.U32();
  ExpectFields("Zip64 end record locator's", {{"disk of the Zip64 end record", zip64_end_disk, 0},
                                              {"Zip64 end record offset", zip64_end_offset, directory_end},
                                              {"disk count", disks, 1}});

  const std::string zip64_bytes = ReadRecord(file, directory_end, kZip64EndSize);
  FieldReader zip64(zip64_bytes, "Zip64 end record");
  ExpectSignature(zip64, kZip64EndSignature, "Zip64 end record", directory_end);
  const std::uint64_t record_size = zip64.U64();
  const std::uint16_t made_by = zip64.U16();
  const std::uint16_t needed = zip64.U16();
  const std::uint32_t zip64_this_disk = zip64.U32();
  const std::uint32_t zip64_directory_disk = zip64.U32();
  const std::uint64_t zip64_disk_entries = zip64.U64();
  const std::uint64_t zip64_entries = zip64.U64();
  const std::uint64_t zip64_directory_size = zip64.U64();
  const std::uint64_t zip64_directory_offset = zip64.U64();
  // the record size leaves out the signature and the size field itself
  ExpectFields("Zip64 end record's", {{"record size", record_size, kZip64EndSize - 12},
                                      {"version made by", made_by, kVersionZip64},
                                      {"version needed", needed, kVersionZip64},
                                      {"disk number", zip64_this_disk, 0},
                                      {"directory's disk", zip64_directory_disk, 0},
                                      {"entry count on this disk", zip64_disk_entries, entry_count},
                                      {"entry count", zip64_entries, entry_count},
                                      {"directory size", zip64_directory_size, layout.directory_size},
                                      {"directory offset", zip64_directory_offset, layout.directory_offset}});
}

// The fields that both headers carry, from the version needed to the extra field's length.
struct CommonFields {
  std::uint16_t version_needed = 0;
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::uint32_t dos_date_time = 0;
  std::uint32_t crc32 = 0;
  std::uint32_t compressed_size = 0;
  std::uint32_t uncompressed_size = 0;
  std::uint16_t name_length = 0;
  std::uint16_t extra_length = 0;
};

CommonFields ReadCommonFields(FieldReader& record) {
  CommonFields fields;
  fields.version_needed = record.U16();
  fields.flags = record.U16();
  fields.method = record.U16();
  fields.dos_date_time = record.U32();
  fields.crc32 = record.U32();
  fields.compressed_size = record.U32();
  fields.uncompressed_size = record.U32();
  fields.name_length = record.U16();
  fields.extra_length = record.U16();
  return fields;
}

void ExpectName(std::string_view record, std::string_view found, const ZipEntry& entry) {
  if (found != entry.name.bytes)
    ThrowMismatch(record, "name", "\"" + Printable(found, entry.name.utf8) + "\"", "\"" + NameOf(entry) + "\"");
}

void CheckCentralHeader(std::string_view bytes, std::uint64_t offset, const ZipEntry& entry) {
  const std::string name = NameOf(entry);
  const std::string of = " of " + name;
  FieldReader header(bytes, "central directory header of " + name);
  ExpectSignature(header, kCentralHeaderSignature, "central directory header of " + name, offset);
  const std::uint16_t made_by = header.U16();
  const CommonFields common = ReadCommonFields(header);
  const std::uint16_t comment_length = header.U16();
  const std::uint16_t disk_start = header.U16();
  const std::uint16_t internal_attributes = header.U16();
  const std::uint32_t external_attributes = header.U32();
  const std::uint32_t local_header_offset = header.U32();
  const char* const record = "central directory's";
  ExpectFields(record, {{"name length" + of, common.name_length, entry.name.bytes.size()},
                        {"extra field length" + of, common.extra_length, CentralExtraSize(entry)},
                        {"comment length" + of, comment_length, 0}});
  ExpectName(record, header.Bytes(common.name_length), entry);
  ExpectFields(record, {{"version made by" + of, made_by, VersionOf(entry)},
                        {"version needed" + of, common.version_needed, VersionOf(entry)},
                        {"flags" + of, common.flags, FlagsOf(entry), true},
                        {"method" + of, common.method, entry.method},
                        {"modification time" + of, common.dos_date_time, entry.dos_date_time, true},
                        {"CRC-32" + of, common.crc32, entry.crc32, true},
                        {"compressed size" + of, common.compressed_size, Field32(entry.compressed_size)},
                        {"uncompressed size" + of, common.uncompressed_size, Field32(entry.uncompressed_size)},
                        {"disk number" + of, disk_start, 0},
                        {"internal attributes" + of, internal_attributes, 0},
                        {"external attributes" + of, external_attributes, entry.external_attributes, true},
                        {"local header offset" + of, local_header_offset, Field32(entry.local_header_offset)}});
  if (common.extra_length == 0) return;

  // APPNOTE's order: only the values whose field says they did not fit, one after another.
  const std::string what = "central directory's Zip64 extra field of " + name;
  FieldReader zip64(Zip64Extra(header.Bytes(common.extra_length), what).value_or(""), what);
  const auto value = [&zip64](std::uint32_t field) { return Overflows(field) ? zip64.U64() : field; };
  const std::uint64_t uncompressed = value(common.uncompressed_size);
  const std::uint64_t compressed = value(common.compressed_size);
  const std::uint64_t offset64 = value(local_header_offset);
  ExpectFields(record, {{"Zip64 uncompressed size" + of, uncompressed, entry.uncompressed_size},
                        {"Zip64 compressed size" + of, compressed, entry.compressed_size},
                        {"Zip64 local header offset" + of, offset64, entry.local_header_offset}});
}

void CheckLocalHeader(std::string_view bytes, const ZipEntry& entry) {
  const std::string name = NameOf(entry);
  const std::string of = " of " + name;
  FieldReader header(bytes, "local header of " + name);
  ExpectSignature(header, kLocalHeaderSignature, "local header of " + name, entry.local_header_offset);
  const CommonFields common = ReadCommonFields(header);
  const char* const record = "local header's";
  ExpectFields(record, {{"name length" + of, common.name_length, entry.name.bytes.size()},
                        {"extra field length" + of, common.extra_length, entry.zip64 ? kLocalZip64ExtraSize : 0}});
  ExpectName(record, header.Bytes(common.name_length), entry);
  // With Zip64 the writer leaves the uncompressed size to the extra field, and the
  // compressed size too once it does not fit.
  ExpectFields(record, {{"version needed" + of, common.version_needed, VersionOf(entry)},
                        {"flags" + of, common.flags, FlagsOf(entry), true},
                        {"method" + of, common.method, entry.method},
                        {"modification time" + of, common.dos_date_time, entry.dos_date_time, true},
                        {"CRC-32" + of, common.crc32, entry.crc32, true},
                        {"compressed size" + of, common.compressed_size, Field32(entry.compressed_size)},
                        {"uncompressed size" + of, common.uncompressed_size,
                         entry.zip64 ? kZip64Limit : Field32(entry.uncompressed_size)}});
  if (!entry.zip64) return;

  const std::string what = "local header's Zip64 extra field of " + name;
  FieldReader zip64(Zip64Extra(header.Bytes(common.extra_length), what).value_or(""), what);
  const std::uint64_t uncompressed = zip64.U64();
  const std::uint64_t compressed = zip64.U64();
  ExpectFields(record, {{"Zip64 uncompressed size" + of, uncompressed, entry.uncompressed_size},
                        {"Zip64 compressed size" + of, compressed, entry.compressed_size}});
}

void CheckData(const platform::InputFile& file, const ZipEntry& entry) {
  std::uint64_t at = entry.local_header_offset + LocalHeaderSize(entry);
  const ReadBlock read = [&file, &at](std::span<char> buffer) {
    const std::size_t size = file.ReadAt(at, buffer);
    at += size;
    return size;
  };
  const std::string name = NameOf(entry);
  const EntryData data = ReadEntryData(entry.method, entry.compressed_size, read, name);
  ExpectFields("archive's", {{"CRC-32 of " + name, data.crc32, entry.crc32, true},
                             {"uncompressed size of " + name, data.uncompressed_size, entry.uncompressed_size}});
}

std::string ZlibMessage(const z_stream& stream, int code) {
  if (stream.msg != nullptr) return stream.msg;
  if (code == Z_MEM_ERROR) return "not enough memory";
  return "zlib error " + std::to_string(code);
}

class Inflater {
 public:
  Inflater() {
    const int code = inflateInit2(&stream_, kRawDeflateWindowBits);
    if (code != Z_OK) throw ZipError("Cannot start the Deflate decompressor: " + ZlibMessage(stream_, code));
  }
  ~Inflater() { inflateEnd(&stream_); }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  z_stream& Stream() { return stream_; }

 private:
  z_stream stream_{};
};

// The entry's compressed bytes a buffer at a time, never past its compressed size.
class CompressedBytes {
 public:
  CompressedBytes(const ReadBlock& read, std::uint64_t size, std::string_view entry_name)
      : read_(read), left_(size), entry_name_(entry_name), buffer_(std::min<std::uint64_t>(size, kBufferSize)) {}

  // The next bytes; empty once all were read.
  std::span<char> Next() {
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(left_, buffer_.size()));
    const std::span<char> chunk(buffer_.data(), want);
    if (want > 0 && read_(chunk) != want)
      throw ZipError("The archive ends inside the data of " + std::string(entry_name_));
    left_ -= want;
    return chunk;
  }
  std::uint64_t Left() const { return left_; }

 private:
  const ReadBlock& read_;
  std::uint64_t left_;
  std::string_view entry_name_;
  std::vector<char> buffer_;
};

void AddToSummary(EntryData& data, std::span<const char> bytes) {
  data.crc32 =
      static_cast<std::uint32_t>(crc32_z(data.crc32, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
  data.uncompressed_size += bytes.size();
}

EntryData ReadStored(CompressedBytes& input) {
  EntryData data;
  for (std::span<char> chunk = input.Next(); !chunk.empty(); chunk = input.Next()) AddToSummary(data, chunk);
  return data;
}

EntryData Inflate(CompressedBytes& input, std::uint64_t compressed_size, std::string_view entry_name) {
  const std::string of = " of " + std::string(entry_name);
  Inflater inflater;
  z_stream& stream = inflater.Stream();
  std::vector<char> output(kBufferSize);
  EntryData data;
  // a full output buffer may leave output behind in zlib that needs no more input
  bool output_pending = false;
  for (;;) {
    if (stream.avail_in == 0 && !output_pending) {
      const std::span<char> chunk = input.Next();
      if (chunk.empty())
        throw ZipError("The Deflate data" + of + " does not end within its " + std::to_string(compressed_size) +
                       " bytes");
      stream.next_in = reinterpret_cast<Bytef*>(chunk.data());
      stream.avail_in = static_cast<uInt>(chunk.size());
    }
    stream.next_out = reinterpret_cast<Bytef*>(output.data());
    stream.avail_out = static_cast<uInt>(output.size());
    const int code = inflate(&stream, Z_NO_FLUSH);
    AddToSummary(data, std::span<const char>(output.data(), output.size() - stream.avail_out));
    output_pending = stream.avail_out == 0;
    if (code == Z_STREAM_END) {
      // What follows the stream's end inside the entry is not the writer's.
      const std::uint64_t used = compressed_size - input.Left() - stream.avail_in;
      if (used != compressed_size)
        throw ZipError("The Deflate data" + of + " ends after " + std::to_string(used) + " of its " +
                       std::to_string(compressed_size) + " bytes");
      return data;
    }
    // Z_BUF_ERROR: no progress without more input or room, which the next turn gives
    if (code != Z_OK && code != Z_BUF_ERROR)
      throw ZipError("The Deflate data" + of + " is damaged: " + ZlibMessage(stream, code));
  }
}

}  // namespace

EntryData ReadEntryData(std::uint16_t method, std::uint64_t compressed_size, const ReadBlock& read,
                        std::string_view entry_name) {
  CompressedBytes input(read, compressed_size, entry_name);
  if (method == kMethodStored) return ReadStored(input);
  if (method == kMethodDeflate) return Inflate(input, compressed_size, entry_name);
  throw ZipError("The method of " + std::string(entry_name) + " is " + std::to_string(method) +
                 ", which is neither stored nor Deflate");
}

void VerifyArchive(const std::string& archive_path, std::span<const ZipEntry> written) {
  const platform::InputFile file = platform::InputFile::Open(archive_path);
  const Layout layout = LayoutOf(written);
  const std::uint64_t size = file.Size();
  if (size != layout.archive_size) {
    throw ZipError("The archive is " + std::to_string(size) + " bytes long, " + std::to_string(layout.archive_size) +
                   " were written");
  }
  CheckEndRecords(file, layout, written.size());
  // the small records first: a damaged header is found without reading the data
  std::uint64_t at = layout.directory_offset;
  for (const ZipEntry& entry : written) {
    const std::uint64_t header_size = CentralHeaderSize(entry);
    CheckCentralHeader(ReadRecord(file, at, header_size), at, entry);
    at += header_size;
  }
  for (const ZipEntry& entry : written)
    CheckLocalHeader(ReadRecord(file, entry.local_header_offset, LocalHeaderSize(entry)), entry);
  for (const ZipEntry& entry : written) CheckData(file, entry);
}

}  // namespace nuvexa::backup

#include "backup/zip_records.h"

#include "backup/zip_error.h"
#include "platform/code_page.h"

namespace nuvexa::backup {
namespace {

constexpr std::uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr std::uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr std::uint32_t kEndSignature = 0x06054B50;
constexpr std::uint32_t kZip64EndSignature = 0x06064B50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr std::uint16_t kZip64ExtraTag = 0x0001;
// Version 2.0 (Deflate) and 4.5 (Zip64); the upper byte 0 says MS-DOS attributes.
constexpr std::uint16_t kVersionClassic = 20;
constexpr std::uint16_t kVersionZip64 = 45;
constexpr std::uint64_t kZip64EndRecordSize = 44;  // the record less its signature and this field

void Put16(std::string& out, std::uint16_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>(value >> 8);
}

void Put32(std::string& out, std::uint32_t value) {
  Put16(out, static_cast<std::uint16_t>(value & 0xFFFF));
  Put16(out, static_cast<std::uint16_t>(value >> 16));
}

void Put64(std::string& out, std::uint64_t value) {
  Put32(out, static_cast<std::uint32_t>(value & 0xFFFFFFFF));
  Put32(out, static_cast<std::uint32_t>(value >> 32));
}

bool Overflows(std::uint64_t value) { return value >= kZip64Limit; }

std::uint32_t Field32(std::uint64_t value) {
  return Overflows(value) ? static_cast<std::uint32_t>(kZip64Limit) : static_cast<std::uint32_t>(value);
}

std::uint16_t Version(const ZipEntry& entry) { return entry.zip64 ? kVersionZip64 : kVersionClassic; }

std::uint16_t Flags(const ZipEntry& entry) { return entry.name.utf8 ? kFlagUtf8Name : 0; }

std::uint16_t Length16(std::string_view bytes, const char* what) {
  if (bytes.size() > 0xFFFF) throw ZipError(std::string("The entry's ") + what + " is longer than 65535 bytes");
  return static_cast<std::uint16_t>(bytes.size());
}

void RequireZip64(const ZipEntry& entry, bool needed) {
  if (needed && !entry.zip64)
    throw ZipError("A size or offset of the entry reached 4 GiB, but its header was written without Zip64 fields");
}

// Fields that the records share, from the version needed to the name's length.
void PutCommonFields(std::string& out, const ZipEntry& entry, std::uint32_t compressed, std::uint32_t uncompressed) {
  Put16(out, Version(entry));
  Put16(out, Flags(entry));
  Put16(out, entry.method);
  Put32(out, entry.dos_date_time);
  Put32(out, entry.crc32);
  Put32(out, compressed);
  Put32(out, uncompressed);
  Put16(out, Length16(entry.name.bytes, "name"));
}

}  // namespace

EntryName EncodeEntryName(std::string_view utf8_name) {
  if (platform::CanEncode(utf8_name, platform::CodePage::Cp850))
    return {platform::FromUtf8(utf8_name, platform::CodePage::Cp850), false};
  return {platform::ReplaceInvalidUtf8(utf8_name), true};
}

bool EntryUsesZip64(Zip64Mode mode, std::uint64_t uncompressed_size, std::uint64_t compressed_size_bound,
                    std::uint64_t local_header_offset) {
  const bool needed = Overflows(uncompressed_size) || Overflows(local_header_offset);
  if (mode == Zip64Mode::zmDisabled) {
    if (needed) {
      throw ZipError("A file of " + std::to_string(uncompressed_size) + " bytes at offset " +
                     std::to_string(local_header_offset) + " needs Zip64, which is disabled");
    }
    return false;
  }
  // the local header is written before the data, with room for the sizes only if Zip64
  return needed || Overflows(compressed_size_bound) || mode == Zip64Mode::zmAlways;
}

std::string LocalFileHeader(const ZipEntry& entry) {
  RequireZip64(entry, Overflows(entry.uncompressed_size) || Overflows(entry.compressed_size));
  std::string extra;
  if (entry.zip64) {
    // The local extra field holds both sizes, always.
    Put16(extra, kZip64ExtraTag);
    Put16(extra, 16);
    Put64(extra, entry.uncompressed_size);
    Put64(extra, entry.compressed_size);
  }
  std::string out;
  Put32(out, kLocalHeaderSignature);
  PutCommonFields(out, entry, Field32(entry.compressed_size),
                  entry.zip64 ? static_cast<std::uint32_t>(kZip64Limit) : Field32(entry.uncompressed_size));
  Put16(out, Length16(extra, "extra field"));
  out += entry.name.bytes;
  out += extra;
  return out;
}

std::string CentralDirectoryHeader(const ZipEntry& entry) {
  RequireZip64(entry, Overflows(entry.uncompressed_size) || Overflows(entry.compressed_size) ||
                          Overflows(entry.local_header_offset));
  // Only the values that do not fit their field move to the extra field, in this order.
  std::string values;
  for (const std::uint64_t value : {entry.uncompressed_size, entry.compressed_size, entry.local_header_offset}) {
    if (Overflows(value)) Put64(values, value);
  }
  std::string extra;
  if (!values.empty()) {
    Put16(extra, kZip64ExtraTag);
    Put16(extra, static_cast<std::uint16_t>(values.size()));
    extra += values;
  }
  std::string out;
  Put32(out, kCentralHeaderSignature);
  Put16(out, Version(entry));  // version made by
  PutCommonFields(out, entry, Field32(entry.compressed_size), Field32(entry.uncompressed_size));
  Put16(out, Length16(extra, "extra field"));
  Put16(out, 0);  // comment length
  Put16(out, 0);  // disk number start: archives are never split
  Put16(out, 0);  // internal attributes
  Put32(out, entry.external_attributes);
  Put32(out, Field32(entry.local_header_offset));
  out += entry.name.bytes;
  out += extra;
  return out;
}

std::string ArchiveEndRecords(std::uint64_t entry_count, std::uint64_t directory_offset, std::uint64_t directory_size,
                              Zip64Mode mode) {
  const std::uint64_t directory_end = directory_offset + directory_size;
  const bool zip64_end = Overflows(directory_end) || entry_count >= kZip64EntryLimit;
  if (zip64_end && mode == Zip64Mode::zmDisabled) {
    throw ZipError("An archive of " + std::to_string(entry_count) + " entries whose directory ends at offset " +
                   std::to_string(directory_end) + " needs Zip64, which is disabled");
  }
  std::string out;
  if (zip64_end) {
    Put32(out, kZip64EndSignature);
    Put64(out, kZip64EndRecordSize);
    Put16(out, kVersionZip64);  // made by
    Put16(out, kVersionZip64);  // needed
    Put32(out, 0);              // this disk
    Put32(out, 0);              // disk where the directory starts
    Put64(out, entry_count);    // on this disk
    Put64(out, entry_count);    // in all
    Put64(out, directory_size);
    Put64(out, directory_offset);

    Put32(out, kZip64LocatorSignature);
    Put32(out, 0);  // disk of the Zip64 end record
    Put64(out, directory_end);
    Put32(out, 1);  // disks in all
  }
  const auto count16 = static_cast<std::uint16_t>(entry_count >= kZip64EntryLimit ? kZip64EntryLimit : entry_count);
  Put32(out, kEndSignature);
  Put16(out, 0);  // this disk
  Put16(out, 0);  // disk where the directory starts
  Put16(out, count16);
  Put16(out, count16);
  Put32(out, Field32(directory_size));
  Put32(out, Field32(directory_offset));
  Put16(out, 0);  // comment length
  return out;
}

}  // namespace nuvexa::backup

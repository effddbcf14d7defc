#include "platform/pe_version.h"

#include <algorithm>
#include <exception>
#include <string_view>
#include <vector>

namespace platform {
namespace {

using Bytes = std::span<const std::uint8_t>;

// Any read outside the image; FileVersionOf turns it into "no version".
class Malformed : public std::exception {
 public:
  const char* what() const noexcept override { return "Malformed PE image"; }
};

void Require(bool condition) {
  if (!condition) throw Malformed();
}

// Offsets are 64-bit so that an offset plus a size taken from the file never wraps.
Bytes Range(Bytes bytes, std::uint64_t offset, std::uint64_t count) {
  Require(offset <= bytes.size() && count <= bytes.size() - offset);
  return bytes.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(count));
}

std::uint16_t U16(Bytes bytes, std::uint64_t offset) {
  const Bytes b = Range(bytes, offset, 2);
  return static_cast<std::uint16_t>(b[0] | b[1] << 8);
}

std::uint32_t U32(Bytes bytes, std::uint64_t offset) {
  const Bytes b = Range(bytes, offset, 4);
  return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
         static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

constexpr std::uint16_t kDosSignature = 0x5A4D;     // "MZ"
constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kSubdirectoryFlag = 0x80000000;
constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
constexpr std::uint64_t kFixedFileInfoSize = 52;
constexpr std::u16string_view kVersionInfoKey = u"VS_VERSION_INFO";

struct Section {
  std::uint32_t virtual_address;
  std::uint32_t extent;  // the part of the section that the file backs
  std::uint32_t raw_offset;
};

struct Headers {
  std::vector<Section> sections;
  std::uint32_t resource_rva;
  std::uint32_t resource_size;
};

std::vector<Section> ReadSections(Bytes table, std::uint16_t count) {
  std::vector<Section> sections;
  for (std::uint64_t entry = 0; entry < count; ++entry) {
    const std::uint64_t at = entry * 40;
    const std::uint32_t virtual_size = U32(table, at + 8);
    const std::uint32_t raw_size = U32(table, at + 16);
    // Older linkers leave the virtual size 0; past it the loader gives zeros, not file bytes.
    const std::uint32_t extent = virtual_size == 0 || virtual_size > raw_size ? raw_size : virtual_size;
    sections.push_back({U32(table, at + 12), extent, U32(table, at + 20)});
  }
  return sections;
}

Headers ReadHeaders(Bytes image) {
  Require(U16(image, 0) == kDosSignature);
  const std::uint64_t pe = U32(image, 0x3C);
  Require(U32(image, pe) == kPeSignature);
  const std::uint64_t coff = pe + 4;
  const std::uint16_t section_count = U16(image, coff + 2);
  const std::uint16_t optional_size = U16(image, coff + 16);
  const Bytes optional = Range(image, coff + 20, optional_size);

  const std::uint16_t magic = U16(optional, 0);
  Require(magic == kPe32Magic || magic == kPe32PlusMagic);
  const std::uint64_t count_at = magic == kPe32Magic ? 92 : 108;
  Require(U32(optional, count_at) > kResourceDirectoryIndex);
  const std::uint64_t directory_at = count_at + 4 + 8 * kResourceDirectoryIndex;

  const Bytes table = Range(image, coff + 20 + optional_size, std::uint64_t{section_count} * 40);
  return {ReadSections(table, section_count), U32(optional, directory_at), U32(optional, directory_at + 4)};
}

// The image's bytes at an RVA, up to the end of the file-backed part of its section.
Bytes BytesAtRva(Bytes image, const std::vector<Section>& sections, std::uint32_t rva) {
  for (const Section& s : sections) {
    if (rva < s.virtual_address || rva - s.virtual_address >= s.extent) continue;
    const Bytes raw = Range(image, s.raw_offset, s.extent);
    return raw.subspan(rva - s.virtual_address);
  }
  throw Malformed();
}

// The OffsetToData of a directory's entry: of the entry with that integer id, or of the first.
std::uint32_t EntryTarget(Bytes resources, std::uint64_t directory, std::optional<std::uint32_t> id) {
  const std::uint32_t count = std::uint32_t{U16(resources, directory + 12)} + U16(resources, directory + 14);
  for (std::uint64_t entry = 0; entry < count; ++entry) {
    const std::uint64_t at = directory + 16 + entry * 8;
    // a name with the high bit set is a string, never an integer id
    if (!id || U32(resources, at) == *id) return U32(resources, at + 4);
  }
  throw Malformed();
}

std::uint32_t Subdirectory(std::uint32_t target) {
  Require((target & kSubdirectoryFlag) != 0);
  return target & ~kSubdirectoryFlag;
}

std::uint32_t DataEntry(std::uint32_t target) {
  Require((target & kSubdirectoryFlag) == 0);
  return target;
}

// The version resource's bytes. The tree is always walked exactly three levels deep (type,
// name, language), so a directory pointing back at itself cannot make the walk go on.
Bytes VersionResource(Bytes image, const Headers& headers) {
  Require(headers.resource_rva != 0 && headers.resource_size != 0);
  const Bytes section = BytesAtRva(image, headers.sections, headers.resource_rva);
  const Bytes resources = section.first(std::min<std::size_t>(section.size(), headers.resource_size));

  const std::uint32_t names = Subdirectory(EntryTarget(resources, 0, kRtVersion));
  const std::uint32_t languages = Subdirectory(EntryTarget(resources, names, std::nullopt));
  const std::uint32_t entry = DataEntry(EntryTarget(resources, languages, std::nullopt));
  const std::uint32_t data_rva = U32(resources, entry);
  const std::uint32_t data_size = U32(resources, entry + 4);
  return Range(BytesAtRva(image, headers.sections, data_rva), 0, data_size);
}

std::string FixedFileVersion(Bytes block) {
  const std::uint16_t length = U16(block, 0);
  const std::uint16_t value_length = U16(block, 2);
  const Bytes node = Range(block, 0, length);
  for (std::size_t i = 0; i <= kVersionInfoKey.size(); ++i) {
    const char16_t expected = i < kVersionInfoKey.size() ? kVersionInfoKey[i] : u'\0';
    Require(U16(node, 6 + 2 * i) == expected);
  }
  // the value starts on the 32-bit boundary after the key and its terminating zero
  const std::uint64_t value_at = (6 + 2 * (kVersionInfoKey.size() + 1) + 3) & ~std::uint64_t{3};
  Require(value_length >= kFixedFileInfoSize);
  const Bytes fixed = Range(node, value_at, kFixedFileInfoSize);
  Require(U32(fixed, 0) == kFixedFileInfoSignature);

  const std::uint32_t ms = U32(fixed, 8);
  const std::uint32_t ls = U32(fixed, 12);
  return std::to_string(ms >> 16) + '.' + std::to_string(ms & 0xFFFF) + '.' + std::to_string(ls >> 16) + '.' +
         std::to_string(ls & 0xFFFF);
}

}  // namespace

std::optional<std::string> FileVersionOf(std::span<const std::uint8_t> image) {
  try {
    return FixedFileVersion(VersionResource(image, ReadHeaders(image)));
  } catch (const Malformed&) {
    return std::nullopt;
  }
}

}  // namespace platform

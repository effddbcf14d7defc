#include "deploy/pe_image_writer.h"

#include <algorithm>
#include <span>
#include <stdexcept>
#include <string>

namespace nuvexa::deploy {
namespace {

class ByteWriter {
 public:
  void U8(std::uint8_t v) { bytes_.push_back(v); }
  void U16(std::uint16_t v) { Little(v, 2); }
  void U32(std::uint32_t v) { Little(v, 4); }
  void U64(std::uint64_t v) { Little(v, 8); }
  void Append(std::span<const std::uint8_t> bytes) { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }
  void Utf16(std::u16string_view text) {
    for (const char16_t c : text) U16(c);
  }
  void AlignTo(std::size_t alignment) { bytes_.resize((bytes_.size() + alignment - 1) / alignment * alignment); }
  void PatchU16(std::size_t at, std::uint16_t v) {
    bytes_[at] = static_cast<std::uint8_t>(v);
    bytes_[at + 1] = static_cast<std::uint8_t>(v >> 8);
  }
  std::size_t Size() const { return bytes_.size(); }
  std::vector<std::uint8_t> Take() { return std::move(bytes_); }

 private:
  void Little(std::uint64_t v, int count) {
    for (int i = 0; i < count; ++i) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  std::vector<std::uint8_t> bytes_;
};

// The value of a version-resource node: wType 0 is binary (wValueLength in bytes), 1 is text
// (wValueLength in characters, the terminating zero included).
struct NodeValue {
  std::vector<std::uint8_t> bytes;
  std::uint16_t length = 0;
  std::uint16_t type = 1;
};

NodeValue Binary(std::vector<std::uint8_t> bytes) {
  const auto length = static_cast<std::uint16_t>(bytes.size());
  return {std::move(bytes), length, 0};
}

NodeValue Text(std::u16string_view text) {
  ByteWriter w;
  w.Utf16(text);
  w.U16(0);
  return {w.Take(), static_cast<std::uint16_t>(text.size() + 1), 1};
}

// wLength, wValueLength, wType, szKey, padding, Value, then each child on a 32-bit boundary.
std::vector<std::uint8_t> Node(std::u16string_view key, const NodeValue& value,
                               const std::vector<std::vector<std::uint8_t>>& children = {}) {
  ByteWriter w;
  w.U16(0);
  w.U16(value.length);
  w.U16(value.type);
  w.Utf16(key);
  w.U16(0);
  w.AlignTo(4);
  w.Append(value.bytes);
  for (const auto& child : children) {
    w.AlignTo(4);
    w.Append(child);
  }
  if (w.Size() > 0xFFFF) throw std::length_error("A version resource node is larger than 64 KiB");
  w.PatchU16(0, static_cast<std::uint16_t>(w.Size()));
  return w.Take();
}

std::u16string Widen(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

std::string VersionText(const VersionParts& v) {
  return std::to_string(v[0]) + '.' + std::to_string(v[1]) + '.' + std::to_string(v[2]) + '.' + std::to_string(v[3]);
}

std::uint32_t High(const VersionParts& v) { return std::uint32_t{v[0]} << 16 | v[1]; }
std::uint32_t Low(const VersionParts& v) { return std::uint32_t{v[2]} << 16 | v[3]; }

std::vector<std::uint8_t> FixedFileInfo(const VersionParts& file_version, const VersionParts& product_version) {
  ByteWriter w;
  w.U32(0xFEEF04BD);  // dwSignature
  w.U32(0x00010000);  // dwStrucVersion
  w.U32(High(file_version));
  w.U32(Low(file_version));
  w.U32(High(product_version));
  w.U32(Low(product_version));
  w.U32(0x3F);        // dwFileFlagsMask
  w.U32(0);           // dwFileFlags
  w.U32(0x00040004);  // dwFileOS: VOS_NT_WINDOWS32
  w.U32(2);           // dwFileType: VFT_DLL
  w.U32(0);           // dwFileSubtype
  w.U32(0);           // dwFileDateMS
  w.U32(0);           // dwFileDateLS
  return w.Take();
}

constexpr std::uint32_t kSectionRva = 0x1000;
constexpr std::uint32_t kSectionAlignment = 0x1000;
constexpr std::uint32_t kFileAlignment = 0x200;
constexpr std::uint32_t kSubdirectoryFlag = 0x80000000;
constexpr std::uint32_t kLanguageUsEnglish = 0x0409;

void ResourceDirectory(ByteWriter& w, std::size_t id_entries) {
  w.U32(0);  // Characteristics
  w.U32(0);  // TimeDateStamp: none, so that a build is reproducible
  w.U16(0);
  w.U16(0);
  w.U16(0);  // NumberOfNamedEntries
  w.U16(static_cast<std::uint16_t>(id_entries));
}

// The .rsrc section: the root directory by type, for each type a name directory and a
// language directory of one entry each, the data entries, then the data.
std::vector<std::uint8_t> ResourceSection(std::vector<PeResource> resources) {
  // Windows looks integer ids up by binary search, so they must be in ascending order.
  std::stable_sort(resources.begin(), resources.end(), [](const auto& a, const auto& b) { return a.type < b.type; });
  const std::size_t n = resources.size();
  const std::size_t subdirectories_at = 16 + 8 * n;
  const std::size_t data_entries_at = subdirectories_at + 48 * n;
  std::vector<std::size_t> data_at;
  std::size_t at = data_entries_at + 16 * n;
  for (const auto& r : resources) {
    at = (at + 7) / 8 * 8;
    data_at.push_back(at);
    at += r.data.size();
  }

  ByteWriter w;
  ResourceDirectory(w, n);
  for (std::size_t i = 0; i < n; ++i) {
    w.U32(resources[i].type);
    w.U32(kSubdirectoryFlag | static_cast<std::uint32_t>(subdirectories_at + 48 * i));
  }
  for (std::size_t i = 0; i < n; ++i) {
    ResourceDirectory(w, 1);
    w.U32(1);
    w.U32(kSubdirectoryFlag | static_cast<std::uint32_t>(subdirectories_at + 48 * i + 24));
    ResourceDirectory(w, 1);
    w.U32(kLanguageUsEnglish);
    w.U32(static_cast<std::uint32_t>(data_entries_at + 16 * i));
  }
  for (std::size_t i = 0; i < n; ++i) {
    w.U32(kSectionRva + static_cast<std::uint32_t>(data_at[i]));
    w.U32(static_cast<std::uint32_t>(resources[i].data.size()));
    w.U32(0);  // CodePage
    w.U32(0);
  }
  for (const auto& r : resources) {
    w.AlignTo(8);
    w.Append(r.data);
  }
  return w.Take();
}

std::uint32_t AlignUp(std::size_t size, std::uint32_t alignment) {
  return static_cast<std::uint32_t>((size + alignment - 1) / alignment * alignment);
}

void SizeField(ByteWriter& w, bool wide, std::uint64_t v) {
  if (wide)
    w.U64(v);
  else
    w.U32(static_cast<std::uint32_t>(v));
}

void OptionalHeader(ByteWriter& w, PeFormat format, std::size_t section_size) {
  const bool plus = format == PeFormat::Pe32Plus;
  w.U16(plus ? 0x20B : 0x10B);
  w.U8(14);  // linker version
  w.U8(0);
  w.U32(0);  // SizeOfCode
  w.U32(AlignUp(section_size, kFileAlignment));
  w.U32(0);                                             // SizeOfUninitializedData
  w.U32(0);                                             // AddressOfEntryPoint: a DLL may have none
  w.U32(kSectionRva);                                   // BaseOfCode
  if (!plus) w.U32(kSectionRva);                        // BaseOfData
  SizeField(w, plus, plus ? 0x180000000 : 0x10000000);  // ImageBase
  w.U32(kSectionAlignment);
  w.U32(kFileAlignment);
  w.U16(6);  // operating system version
  w.U16(0);
  w.U16(0);  // image version
  w.U16(0);
  w.U16(6);  // subsystem version
  w.U16(0);
  w.U32(0);                                                       // Win32VersionValue
  w.U32(kSectionRva + AlignUp(section_size, kSectionAlignment));  // SizeOfImage
  w.U32(kFileAlignment);                                          // SizeOfHeaders
  w.U32(0);                                                       // CheckSum
  w.U16(2);                                                       // Subsystem: Windows GUI
  w.U16(0);                                                       // DllCharacteristics
  for (const std::uint64_t size : {0x100000, 0x1000, 0x100000, 0x1000}) SizeField(w, plus, size);
  w.U32(0);   // LoaderFlags
  w.U32(16);  // NumberOfRvaAndSizes
  for (int directory = 0; directory < 16; ++directory) {
    const bool resources = directory == 2;
    w.U32(resources ? kSectionRva : 0);
    w.U32(resources ? static_cast<std::uint32_t>(section_size) : 0);
  }
}

}  // namespace

std::vector<std::uint8_t> VersionInfoBlock(const VersionParts& file_version, const VersionParts& product_version,
                                           std::string_view description) {
  const auto strings = Node(u"StringFileInfo", {},
                            {Node(u"040904B0", {},
                                  {
                                      Node(u"FileDescription", Text(Widen(description))),
                                      Node(u"FileVersion", Text(Widen(VersionText(file_version)))),
                                  })});
  const auto translation = Node(u"VarFileInfo", {}, {Node(u"Translation", Binary({0x09, 0x04, 0xB0, 0x04}))});
  return Node(u"VS_VERSION_INFO", Binary(FixedFileInfo(file_version, product_version)), {strings, translation});
}

std::vector<std::uint8_t> PeImageWithResources(PeFormat format, std::vector<PeResource> resources) {
  const bool plus = format == PeFormat::Pe32Plus;
  const std::vector<std::uint8_t> section = ResourceSection(std::move(resources));
  constexpr std::uint32_t kPeOffset = 0x40;
  ByteWriter w;
  w.U16(0x5A4D);  // "MZ"; of the DOS header only e_lfanew matters to Windows
  w.AlignTo(0x3C);
  w.U32(kPeOffset);
  w.U32(0x00004550);  // "PE\0\0"
  w.U16(plus ? 0x8664 : 0x14C);
  w.U16(1);  // NumberOfSections
  w.U32(0);  // TimeDateStamp
  w.U32(0);  // PointerToSymbolTable
  w.U32(0);  // NumberOfSymbols
  w.U16(plus ? 240 : 224);
  w.U16(plus ? 0x2022 : 0x2102);  // executable image, DLL; large-address-aware or 32-bit machine
  OptionalHeader(w, format, section.size());

  constexpr std::uint8_t kName[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
  w.Append(kName);
  w.U32(static_cast<std::uint32_t>(section.size()));  // VirtualSize
  w.U32(kSectionRva);
  w.U32(AlignUp(section.size(), kFileAlignment));  // SizeOfRawData
  w.U32(kFileAlignment);                           // PointerToRawData
  w.U32(0);                                        // relocations and line numbers: none
  w.U32(0);
  w.U16(0);
  w.U16(0);
  w.U32(0x40000040);  // initialized data, readable
  w.AlignTo(kFileAlignment);
  w.Append(section);
  w.AlignTo(kFileAlignment);
  return w.Take();
}

}  // namespace nuvexa::deploy

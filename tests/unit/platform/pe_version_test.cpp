#include "platform/pe_version.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "deploy/pe_image_writer.h"
#include "platform/executable_resources.h"

namespace {

using platform::FileVersionOf;
using nuvexa::deploy::kRtVersion;
using nuvexa::deploy::PeFormat;
using nuvexa::deploy::PeImageWithResources;
using nuvexa::deploy::VersionInfoBlock;
using nuvexa::deploy::VersionParts;
using Image = std::vector<std::uint8_t>;

Image VersionedImage(const VersionParts& file, const VersionParts& product, PeFormat format = PeFormat::Pe32) {
  return PeImageWithResources(format, {{kRtVersion, VersionInfoBlock(file, product, "test image")}});
}

std::optional<std::string> VersionOfBytes(std::string_view bytes) {
  return FileVersionOf(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

TEST(PeVersion, TheCarriedOpenSslLibrariesHaveTheDeployedVersion) {
  for (const char* name : {"rs_libeay32", "RS_SSLEAY32"}) {
    const auto bytes = platform::FindExecutableResource(name);
    ASSERT_TRUE(bytes) << name << ": resource names match without regard to case";
    EXPECT_EQ(VersionOfBytes(*bytes), "1.0.2.21") << name;
  }
  EXPECT_FALSE(platform::FindExecutableResource("rs_libeay")) << "a prefix of a name is another name";
}

TEST(PeVersion, FileVersionPartsInDecimal) {
  struct Case {
    const char* why;
    VersionParts file, product;
    std::string text;
  } const cases[] = {
      {"an older OpenSSL build", {1, 0, 2, 20}, {1, 0, 2, 20}, "1.0.2.20"},
      {"zero parts are written, not dropped", {1, 1, 0, 0}, {1, 1, 0, 0}, "1.1.0.0"},
      {"no leading zeros, the largest part whole", {10, 0, 65535, 7}, {10, 0, 65535, 7}, "10.0.65535.7"},
      {"the product version is not the file version", {1, 0, 2, 20}, {1, 0, 2, 21}, "1.0.2.20"},
  };
  for (const auto& c : cases) {
    for (const PeFormat format : {PeFormat::Pe32, PeFormat::Pe32Plus}) {
      EXPECT_EQ(FileVersionOf(VersionedImage(c.file, c.product, format)), c.text)
          << c.why << (format == PeFormat::Pe32 ? " (PE32)" : " (PE32+)");
    }
  }
}

TEST(PeVersion, VersionResourceAmongOtherTypes) {
  const VersionParts version = {1, 0, 2, 21};
  const Image icon(40, 0x11), manifest(64, 0x22);
  const Image with_others = PeImageWithResources(
      PeFormat::Pe32, {{3, icon}, {kRtVersion, VersionInfoBlock(version, version, "x")}, {24, manifest}});
  EXPECT_EQ(FileVersionOf(with_others), "1.0.2.21") << "RT_VERSION is looked up by its id, not taken first";

  const Image without = PeImageWithResources(PeFormat::Pe32, {{3, icon}, {24, manifest}});
  EXPECT_EQ(FileVersionOf(without), std::nullopt);
}

// Where the fields of a writer's image are, found the way a loader finds them.
struct Layout {
  explicit Layout(const Image& image) {
    pe = U32(image, 0x3C);
    optional = pe + 24;
    sections = optional + U16(image, pe + 20);
    resources = U32(image, sections + 20);
    names = resources + (U32(image, resources + 20) & 0x7FFFFFFF);
    languages = resources + (U32(image, names + 20) & 0x7FFFFFFF);
    data_entry = resources + U32(image, languages + 20);
    block = resources + (U32(image, data_entry) - U32(image, sections + 12));
    resources_end = resources + U32(image, sections + 8);
  }
  static std::uint32_t U16(const Image& i, std::size_t at) { return i.at(at) | i.at(at + 1) << 8; }
  static std::uint32_t U32(const Image& i, std::size_t at) { return U16(i, at) | U16(i, at + 2) << 16; }

  std::size_t pe, optional, sections, resources, names, languages, data_entry, block, resources_end;
};

void Put16(Image& image, std::size_t at, std::uint16_t v) {
  image.at(at) = static_cast<std::uint8_t>(v);
  image.at(at + 1) = static_cast<std::uint8_t>(v >> 8);
}

void Put32(Image& image, std::size_t at, std::uint32_t v) {
  Put16(image, at, static_cast<std::uint16_t>(v));
  Put16(image, at + 2, static_cast<std::uint16_t>(v >> 16));
}

TEST(PeVersion, EveryTruncationHasNoVersion) {
  const Image whole = VersionedImage({1, 0, 2, 21}, {1, 0, 2, 21});
  ASSERT_EQ(FileVersionOf(whole), "1.0.2.21");
  // Past the section's virtual size there is only the file alignment's padding.
  const std::size_t end = Layout(whole).resources_end;
  ASSERT_LE(end, whole.size());
  for (std::size_t size = 0; size < end; ++size) {
    // a copy of exactly that size, so that the sanitizer sees any read past it
    const Image cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
    EXPECT_EQ(FileVersionOf(cut), std::nullopt) << "cut at " << size;
  }
}

TEST(PeVersion, ImagesThatLieHaveNoVersion) {
  struct Case {
    const char* why;
    std::function<void(Image&, const Layout&)> lie;
  } const cases[] = {
      {"not MZ", [](Image& i, const Layout&) { Put16(i, 0, 0x4D5A); }},
      {"e_lfanew at the end", [](Image& i, const Layout&) { Put32(i, 0x3C, static_cast<std::uint32_t>(i.size())); }},
      {"e_lfanew at the top of the address space", [](Image& i, const Layout&) { Put32(i, 0x3C, 0xFFFFFFFC); }},
      {"no PE signature", [](Image& i, const Layout& l) { i.at(l.pe + 1) = 'X'; }},
      {"an optional header of neither PE32 nor PE32+", [](Image& i, const Layout& l) { Put16(i, l.optional, 0x107); }},
      {"an optional header too short for the resource directory",
       [](Image& i, const Layout& l) { Put16(i, l.pe + 20, 100); }},
      {"an optional header past the end", [](Image& i, const Layout& l) { Put16(i, l.pe + 20, 0xFFFF); }},
      {"only two data directories", [](Image& i, const Layout& l) { Put32(i, l.optional + 92, 2); }},
      {"no resource directory", [](Image& i, const Layout& l) { Put32(i, l.optional + 112, 0); }},
      {"a resource directory of size 0", [](Image& i, const Layout& l) { Put32(i, l.optional + 116, 0); }},
      {"a resource RVA in no section", [](Image& i, const Layout& l) { Put32(i, l.optional + 112, 0x9000); }},
      {"a resource RVA at the top", [](Image& i, const Layout& l) { Put32(i, l.optional + 112, 0xFFFFFFFF); }},
      {"a section table past the end", [](Image& i, const Layout& l) { Put16(i, l.pe + 6, 0xFFFF); }},
      {"no sections", [](Image& i, const Layout& l) { Put16(i, l.pe + 6, 0); }},
      {"section data past the end",
       [](Image& i, const Layout& l) { Put32(i, l.sections + 20, static_cast<std::uint32_t>(i.size())); }},
      {"section data whose offset and size overflow 32 bits",
       [](Image& i, const Layout& l) {
         Put32(i, l.sections + 16, 0xFFFFFE00);
         Put32(i, l.sections + 8, 0);
       }},
      {"a root directory whose entries run past the end, no RT_VERSION among those there",
       [](Image& i, const Layout& l) {
         Put32(i, l.resources + 16, 17);
         Put16(i, l.resources + 14, 0xFFFF);
       }},
      {"a type directory past the end",
       [](Image& i, const Layout& l) { Put32(i, l.resources + 20, 0x80000000 | 0x7FFFFFF0); }},
      {"a type entry that is data, not a directory",
       [](Image& i, const Layout& l) { Put32(i, l.resources + 20, 0x48); }},
      {"a type directory that is the root again",
       [](Image& i, const Layout& l) { Put32(i, l.resources + 20, 0x80000000); }},
      {"a name directory that points at itself",
       [](Image& i, const Layout& l) {
         Put32(i, l.names + 20, 0x80000000 | static_cast<std::uint32_t>(l.names - l.resources));
       }},
      {"a data entry past the end", [](Image& i, const Layout& l) { Put32(i, l.languages + 20, 0x7FFFFFF0); }},
      {"data at an RVA in no section", [](Image& i, const Layout& l) { Put32(i, l.data_entry, 0x40000000); }},
      {"data larger than the section", [](Image& i, const Layout& l) { Put32(i, l.data_entry + 4, 0xFFFFFFFF); }},
      {"a block longer than its data",
       [](Image& i, const Layout& l) {
         Put16(i, l.block, static_cast<std::uint16_t>(Layout::U32(i, l.data_entry + 4) + 4));
       }},
      {"a block too short for its value", [](Image& i, const Layout& l) { Put16(i, l.block, 60); }},
      {"a value too short for VS_FIXEDFILEINFO", [](Image& i, const Layout& l) { Put16(i, l.block + 2, 51); }},
      {"another key", [](Image& i, const Layout& l) { Put16(i, l.block + 6 + 2 * 14, u'X'); }},
      {"a key without its terminating zero", [](Image& i, const Layout& l) { Put16(i, l.block + 6 + 2 * 15, u'X'); }},
      {"not a VS_FIXEDFILEINFO signature", [](Image& i, const Layout& l) { Put32(i, l.block + 40, 0xFEEF04BC); }},
  };
  const Image valid = VersionedImage({1, 0, 2, 21}, {1, 0, 2, 21});
  ASSERT_EQ(FileVersionOf(valid), "1.0.2.21");
  const Layout layout(valid);
  for (const auto& c : cases) {
    Image image = valid;
    c.lie(image, layout);
    EXPECT_EQ(FileVersionOf(image), std::nullopt) << c.why;
  }
}

}  // namespace

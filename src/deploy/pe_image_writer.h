#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

// Small PE images that carry only resources: the build's stand-ins for the carried DLLs,
// and the images the version reader is tested on.
namespace nuvexa::deploy {

// The four parts of a version, most significant first: {1, 0, 2, 21} is 1.0.2.21.
using VersionParts = std::array<std::uint16_t, 4>;

inline constexpr std::uint16_t kRtVersion = 16;

// A VS_VERSIONINFO block: the VS_FIXEDFILEINFO with these versions, and a string table
// (U.S. English, Unicode) with FileDescription = `description` and FileVersion. The
// description is ASCII.
std::vector<std::uint8_t> VersionInfoBlock(const VersionParts& file_version, const VersionParts& product_version,
                                           std::string_view description);

enum class PeFormat { Pe32, Pe32Plus };

struct PeResource {
  std::uint16_t type;  // an integer resource type (kRtVersion, ...)
  std::vector<std::uint8_t> data;
};

// A DLL image (i386 for PE32, x86-64 for PE32+) without code, whose one section .rsrc
// holds the resources: each under name id 1, language U.S. English.
std::vector<std::uint8_t> PeImageWithResources(PeFormat format, std::vector<PeResource> resources);

}  // namespace nuvexa::deploy

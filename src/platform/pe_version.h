#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace platform {

// The file version of a PE image (an .exe or .dll) as Windows shows it: the four 16-bit parts
// of its VS_FIXEDFILEINFO's file version in decimal, joined by "." ("1.0.2.21"). Read the way
// GetFileVersionInfo finds it: the first RT_VERSION resource, first name, first language.
// None when the bytes are not a PE image, carry no version resource, or any offset or size
// in them points outside the bytes.
std::optional<std::string> FileVersionOf(std::span<const std::uint8_t> image);

}  // namespace platform

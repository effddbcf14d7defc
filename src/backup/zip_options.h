#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace nuvexa::backup {

// When entries and the archive's end carry Zip64 fields.
enum class Zip64Mode {
  zmDisabled,  // never: an entry or archive that needs them is an error
  zmAuto,      // where a size, an offset or the entry count does not fit the classic fields
  zmAlways,    // on every entry
};

enum class CompressionLevel { clNone, clFastest, clNormal, clMax };

inline constexpr std::uint16_t kMethodStored = 0;
inline constexpr std::uint16_t kMethodDeflate = 8;

struct CompressionSettings {
  CompressionLevel level;
  int zlib_level;
  std::size_t block_size;  // input handed to the compressor at a time
  std::uint16_t method;
};

inline constexpr CompressionSettings kCompressionLevels[] = {
    {CompressionLevel::clNone, 0, 1'048'576, kMethodStored},
    {CompressionLevel::clFastest, 1, 524'288, kMethodDeflate},
    {CompressionLevel::clNormal, 6, 1'048'576, kMethodDeflate},
    {CompressionLevel::clMax, 9, 1'572'864, kMethodDeflate},
};

constexpr const CompressionSettings& SettingsOf(CompressionLevel level) {
  for (const CompressionSettings& settings : kCompressionLevels) {
    if (settings.level == level) return settings;
  }
  return kCompressionLevels[0];
}

// Defaults are the settings the backup archive is written with.
struct ZipOptions {
  Zip64Mode zip64_mode = Zip64Mode::zmAuto;
  CompressionLevel compression_level = CompressionLevel::clMax;
  // Threads that compress an entry (the stream is the same for any number); 1: the
  // writer's own thread alone.
  unsigned threads = 1;
  // Told the bytes of the entry's file read so far, as each block is read; null for nobody.
  std::function<void(std::uint64_t bytes_read)> on_progress = nullptr;
};

}  // namespace nuvexa::backup

#pragma once

// Raw Deflate (no zlib header or trailer) cut into blocks of input that are compressed
// one by one and joined in order. Each block depends on the one before only through its
// last 32 KiB, handed over as a dictionary, so the blocks could be compressed on several
// threads and give the same stream.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace nuvexa::backup {

// How far back Deflate looks for a match.
inline constexpr std::size_t kDeflateWindow = 32'768;

struct CompressedBlock {
  std::string data;
  std::uint32_t crc32 = 0;  // of the input block alone
};

// Compresses `input`, the block that follows `dictionary` in the data (only the
// dictionary's last 32 KiB count), at zlib `level`. A block that is not the last ends with
// a sync flush (an empty stored block), so the next block's compressed bytes can simply
// follow; the last ends the stream. Throws ZipError.
CompressedBlock CompressBlock(std::string_view dictionary, std::string_view input, bool last, int level);

// Fills the buffer with the next bytes of the data: fewer only at its end, none after it.
using ReadBlock = std::function<std::size_t(std::span<char> buffer)>;
using WriteBytes = std::function<void(std::string_view bytes)>;

struct DataSummary {
  std::uint32_t crc32 = 0;
  std::uint64_t input_size = 0;
  std::uint64_t output_size = 0;
};

// Reads the whole data in blocks of `block_size` and writes its Deflate stream. Holds two
// input blocks and one compressed block at a time, whatever the data's size.
DataSummary DeflateBlocks(const ReadBlock& read, const WriteBytes& write, int level, std::size_t block_size);

// The most bytes that DeflateBlocks writes for `input_size` bytes of any content: zlib's
// deflateBound at `level` for each block, and the sync flush of each block but the last.
// Data that does not compress comes out larger than it went in. Throws ZipError.
std::uint64_t DeflatedSizeBound(std::uint64_t input_size, int level, std::size_t block_size);

}  // namespace nuvexa::backup

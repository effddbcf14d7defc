#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "backup/deflate_blocks.h"
#include "backup/parallel_deflate.h"
#include "support/test_files.h"

namespace {

using nuvexa::backup::CompressBlock;
using nuvexa::test::CompressibleData;
using nuvexa::backup::DataSummary;
using nuvexa::backup::DeflateBlocks;
using nuvexa::backup::DeflatedSizeBound;
using nuvexa::backup::DeflateBlocksInParallel;

constexpr std::size_t kBlock = 1'572'864;  // the maximum level's block of input
constexpr std::size_t kMiB = 1'048'576;

std::string RandomData(std::size_t size, std::uint32_t seed) {
  std::string data(size, '\0');
  std::uint32_t state = seed;
  for (char& c : data) {
    state = state * 1'103'515'245u + 12'345u;
    c = static_cast<char>(state >> 24);
  }
  return data;
}

struct Compressed {
  std::string stream;
  DataSummary summary;
};

Compressed Deflate(const std::string& data, int level = 9, std::size_t block_size = kBlock, unsigned threads = 1) {
  Compressed out;
  std::size_t read_at = 0;
  out.summary = DeflateBlocksInParallel(
      [&](std::span<char> buffer) {
        const std::size_t n = std::min(buffer.size(), data.size() - read_at);
        std::memcpy(buffer.data(), data.data() + read_at, n);
        read_at += n;
        return n;
      },
      [&](std::string_view bytes) { out.stream += bytes; }, level, block_size, threads);
  return out;
}

// What a decoder sees in a raw Deflate stream, walked one Deflate block at a time.
struct Decoded {
  std::string data;
  bool complete = false;                   // the final block was reached
  std::size_t consumed = 0;                // compressed bytes up to the end of the final block
  std::vector<std::uint64_t> empty_stored;  // input offsets at which an empty stored block stands
};

Decoded Inflate(const std::string& stream, std::size_t expected_size) {
  Decoded out;
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return out;
  out.data.resize(expected_size + 1);  // one spare byte: more output than expected shows
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
  z.avail_in = static_cast<uInt>(stream.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data.data());
  z.avail_out = static_cast<uInt>(out.data.size());
  std::uint64_t out_at_last_boundary = 0;
  for (;;) {
    // Z_BLOCK returns at each block boundary; data_type then carries 128 and the unused bits.
    const int code = inflate(&z, Z_BLOCK);
    if (code == Z_STREAM_END) {
      out.complete = true;
      break;
    }
    if (code != Z_OK) break;
    if ((z.data_type & 128) == 0) continue;
    const bool nothing_decoded = z.total_out == out_at_last_boundary;
    const bool byte_aligned = (z.data_type & 7) == 0;
    const bool ends_with_marker =
        z.total_in >= 4 && stream.compare(z.total_in - 4, 4, std::string("\x00\x00\xFF\xFF", 4)) == 0;
    if (nothing_decoded && byte_aligned && ends_with_marker) out.empty_stored.push_back(z.total_out);
    out_at_last_boundary = z.total_out;
  }
  out.consumed = z.total_in;
  out.data.resize(z.total_out);
  inflateEnd(&z);
  return out;
}

TEST(DeflateBlocks, StreamShape) {
  struct Case {
    const char* why;
    std::size_t size;
    std::vector<std::uint64_t> empty_stored;
  } const cases[] = {
      {"no data: the finish alone", 0, {}},
      {"one byte", 1, {}},
      {"just under a block", kBlock - 1, {}},
      {"exactly one block ends the stream without a sync marker", kBlock, {}},
      {"one byte over a block", kBlock + 1, {kBlock}},
      {"exactly two blocks", 2 * kBlock, {kBlock}},
      {"a 4 MiB entry: after 1.5 and 3 MiB", 4 * kMiB, {kBlock, 2 * kBlock}},
  };
  for (const auto& c : cases) {
    const std::string data = CompressibleData(c.size);
    const Compressed compressed = Deflate(data);
    const Decoded decoded = Inflate(compressed.stream, data.size());

    EXPECT_TRUE(decoded.complete) << c.why;
    EXPECT_EQ(decoded.consumed, compressed.stream.size()) << c.why << ": nothing may follow the final block";
    EXPECT_TRUE(decoded.data == data) << c.why << ": the stream decodes to the input";
    EXPECT_EQ(decoded.empty_stored, c.empty_stored) << c.why;
    EXPECT_EQ(compressed.summary.crc32, crc32_z(0, reinterpret_cast<const Bytef*>(data.data()), data.size()))
        << c.why << ": the combined CRC equals the CRC of the whole";
    EXPECT_EQ(compressed.summary.input_size, data.size()) << c.why;
    EXPECT_EQ(compressed.summary.output_size, compressed.stream.size()) << c.why;
  }
}

TEST(DeflateBlocks, BlockSeesTheEndOfThePreviousOne) {
  // Random data does not compress, so the second block is small only if it may refer
  // back to the first block's last 32 KiB, which it repeats.
  const std::string first = RandomData(kBlock, 7);
  const std::string second = first.substr(kBlock - 20'000);
  const Compressed compressed = Deflate(first + second);
  const std::size_t first_size = CompressBlock("", first, false, 9).data.size();

  EXPECT_LT(compressed.stream.size() - first_size, 200u);
  EXPECT_TRUE(Inflate(compressed.stream, 2 * kBlock).data == first + second);
}

TEST(DeflateBlocks, TheBoundHoldsForDataThatDoesNotCompress) {
  // Small blocks, so that a few MiB cross many block ends, each with its sync flush.
  constexpr std::size_t kSmallBlock = 65'536;
  for (const int level : {1, 6, 9}) {
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, kSmallBlock - 1, kSmallBlock, 3 * kSmallBlock + 5,
                                   2 * kMiB}) {
      const std::string data = RandomData(size, 11);
      const std::uint64_t written = Deflate(data, level, kSmallBlock).stream.size();
      EXPECT_LE(written, DeflatedSizeBound(size, level, kSmallBlock)) << "level " << level << ", " << size << " bytes";
      if (size > 0) {
        EXPECT_GT(written, size) << "random data grows: level " << level << ", " << size << " bytes";
      }
    }
  }
}

TEST(DeflateBlocks, OnSeveralThreadsTheStreamIsTheSameByteForByte) {
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, kBlock, kBlock + 1, 20 * kMiB}) {
    const std::string data = CompressibleData(size, 5);
    const Compressed alone = Deflate(data);
    for (const unsigned threads : {2u, 3u}) {
      const Compressed shared = Deflate(data, 9, kBlock, threads);
      EXPECT_TRUE(shared.stream == alone.stream) << size << " bytes on " << threads << " threads";
      EXPECT_EQ(shared.summary.crc32, alone.summary.crc32) << size;
      EXPECT_EQ(shared.summary.input_size, size);
      EXPECT_EQ(shared.summary.output_size, alone.stream.size());
    }
  }
}

TEST(DeflateBlocks, AWriteThatFailsOnSeveralThreadsEndsTheStreamWithItsError) {
  const std::string data = CompressibleData(40 * 65'536, 3);
  std::size_t read_at = 0, writes = 0;
  EXPECT_THROW(DeflateBlocksInParallel(
                   [&](std::span<char> buffer) {
                     const std::size_t n = std::min(buffer.size(), data.size() - read_at);
                     std::memcpy(buffer.data(), data.data() + read_at, n);
                     read_at += n;
                     return n;
                   },
                   [&](std::string_view) {
                     if (++writes == 3) throw std::runtime_error("disk full");
                   },
                   9, 65'536, 2),
               std::runtime_error);
  EXPECT_EQ(writes, 3u) << "nothing is written after the failure";
  EXPECT_LT(read_at, data.size()) << "and reading stops with it";
}

}  // namespace

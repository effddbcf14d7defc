#include "backup/deflate_blocks.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

#include "backup/zip_error.h"

namespace nuvexa::backup {
namespace {

constexpr int kRawDeflateWindowBits = -15;  // negative: no zlib header or Adler-32 trailer
constexpr int kMemLevel = 8;
// What a sync flush's empty stored block may add to deflateBound, which covers a finished stream.
constexpr std::size_t kSyncFlushAllowance = 16;

std::string ZlibMessage(const z_stream& stream, int code) {
  if (stream.msg != nullptr) return stream.msg;
  if (code == Z_MEM_ERROR) return "not enough memory";
  return "zlib error " + std::to_string(code);
}

class Deflater {
 public:
  explicit Deflater(int level) {
    const int code = deflateInit2(&stream_, level, Z_DEFLATED, kRawDeflateWindowBits, kMemLevel, Z_DEFAULT_STRATEGY);
    if (code != Z_OK) throw ZipError("Cannot start the Deflate compressor: " + ZlibMessage(stream_, code));
  }
  ~Deflater() { deflateEnd(&stream_); }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  z_stream& Stream() { return stream_; }

 private:
  z_stream stream_{};
};

const Bytef* Bytes(std::string_view text) { return reinterpret_cast<const Bytef*>(text.data()); }

uInt Length(std::string_view text) {
  if (text.size() > UINT_MAX) throw ZipError("A Deflate block of " + std::to_string(text.size()) + " bytes is too large");
  return static_cast<uInt>(text.size());
}

}  // namespace

CompressedBlock CompressBlock(std::string_view dictionary, std::string_view input, bool last, int level) {
  Deflater deflater(level);
  z_stream& stream = deflater.Stream();
  if (!dictionary.empty()) {
    const std::string_view window = dictionary.substr(dictionary.size() - std::min(dictionary.size(), kDeflateWindow));
    const int code = deflateSetDictionary(&stream, Bytes(window), Length(window));
    if (code != Z_OK) throw ZipError("Cannot prime the Deflate compressor: " + ZlibMessage(stream, code));
  }

  CompressedBlock block;
  block.crc32 = static_cast<std::uint32_t>(crc32_z(0, Bytes(input), input.size()));
  stream.next_in = const_cast<Bytef*>(Bytes(input));  // zlib's signature; it only reads
  stream.avail_in = Length(input);
  block.data.resize(deflateBound(&stream, stream.avail_in) + kSyncFlushAllowance);
  const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
  std::size_t produced = 0;
  for (;;) {
    stream.next_out = reinterpret_cast<Bytef*>(block.data.data() + produced);
    stream.avail_out = static_cast<uInt>(block.data.size() - produced);
    const int code = deflate(&stream, flush);
    produced = block.data.size() - stream.avail_out;
    if (code == Z_STREAM_ERROR) throw ZipError("Deflate failed: " + ZlibMessage(stream, code));
    // A flush is complete when deflate leaves output space unused; a finish, when it says so.
    if (last ? code == Z_STREAM_END : stream.avail_out != 0) break;
    block.data.resize(block.data.size() + 65'536);
  }
  block.data.resize(produced);
  return block;
}

DataSummary DeflateBlocks(const ReadBlock& read, const WriteBytes& write, int level, std::size_t block_size) {
  // The next block is read before the current one is compressed: only then is it known
  // whether the current one is the last, which must finish the stream.
  std::vector<char> current(block_size);
  std::vector<char> next(block_size);
  std::size_t current_size = read(current);
  std::string dictionary;
  DataSummary summary;
  for (;;) {
    const std::size_t next_size = current_size < block_size ? 0 : read(next);
    const bool last = next_size == 0;
    const std::string_view input(current.data(), current_size);
    const CompressedBlock block = CompressBlock(dictionary, input, last, level);
    write(block.data);
    summary.crc32 = static_cast<std::uint32_t>(crc32_combine(summary.crc32, block.crc32, static_cast<z_off_t>(input.size())));
    summary.input_size += input.size();
    summary.output_size += block.data.size();
    if (last) return summary;
    dictionary.assign(input.substr(input.size() - std::min(input.size(), kDeflateWindow)));
    std::swap(current, next);
    current_size = next_size;
  }
}

std::uint64_t DeflatedSizeBound(std::uint64_t input_size, int level, std::size_t block_size) {
  // the blocks as DeflateBlocks cuts them: full ones, then the last, which may be full or empty
  const std::uint64_t blocks = input_size == 0 ? 1 : (input_size + block_size - 1) / block_size;
  const std::uint64_t last_size = input_size - (blocks - 1) * block_size;
  Deflater deflater(level);
  z_stream& stream = deflater.Stream();
  const std::uint64_t full_bound = deflateBound(&stream, static_cast<uLong>(block_size)) + kSyncFlushAllowance;
  return (blocks - 1) * full_bound + deflateBound(&stream, static_cast<uLong>(last_size));
}

}  // namespace nuvexa::backup

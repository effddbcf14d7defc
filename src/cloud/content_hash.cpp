#include "cloud/content_hash.h"

#include <algorithm>
#include <stdexcept>

#include "platform/sha256.h"

namespace nuvexa::cloud {
namespace {

std::string Hex(const unsigned char* bytes, std::size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

}  // namespace

ContentHasher::ContentHasher() : block_(std::make_unique<platform::Sha256>()) {}

ContentHasher::~ContentHasher() = default;

void ContentHasher::Feed(std::uint64_t offset, std::string_view bytes) {
  if (broken_) return;
  if (offset > position_) {
    broken_ = true;
    return;
  }
  const std::uint64_t seen = position_ - offset;
  if (seen >= bytes.size()) return;
  bytes.remove_prefix(static_cast<std::size_t>(seen));
  while (!bytes.empty()) {
    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), kBlockSize - block_fill_));
    block_->Update(bytes.substr(0, take));
    block_fill_ += take;
    position_ += take;
    bytes.remove_prefix(take);
    if (block_fill_ == kBlockSize) FinishBlock();
  }
}

void ContentHasher::FinishBlock() {
  const platform::Sha256Digest digest = block_->Finish();
  digests_.append(reinterpret_cast<const char*>(digest.data()), digest.size());
  block_fill_ = 0;
}

std::string ContentHasher::Final() {
  if (broken_) throw std::logic_error("bytes are missing from the content hash");
  // a last partial block counts; an empty file hashes no block at all
  if (block_fill_ > 0) FinishBlock();
  const platform::Sha256Digest digest = platform::Sha256Of(digests_);
  return Hex(digest.data(), digest.size());
}

std::string ContentHashOf(std::string_view bytes) {
  ContentHasher hasher;
  hasher.Feed(0, bytes);
  return hasher.Final();
}

}  // namespace nuvexa::cloud

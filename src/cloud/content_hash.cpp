#include "cloud/content_hash.h"

#include <openssl/evp.h>

#include <algorithm>
#include <stdexcept>

namespace nuvexa::cloud {
namespace {

EVP_MD_CTX* Context(void* p) { return static_cast<EVP_MD_CTX*>(p); }

void Check(int ok) {
  if (ok != 1) throw std::runtime_error("SHA-256 is not available");
}

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

ContentHasher::ContentHasher() : block_(EVP_MD_CTX_new()) {
  if (block_ == nullptr) throw std::runtime_error("SHA-256 is not available");
  Check(EVP_DigestInit_ex(Context(block_), EVP_sha256(), nullptr));
}

ContentHasher::~ContentHasher() { EVP_MD_CTX_free(Context(block_)); }

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
    Check(EVP_DigestUpdate(Context(block_), bytes.data(), take));
    block_fill_ += take;
    position_ += take;
    bytes.remove_prefix(take);
    if (block_fill_ == kBlockSize) FinishBlock();
  }
}

void ContentHasher::FinishBlock() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  Check(EVP_DigestFinal_ex(Context(block_), digest, &length));
  digests_.append(reinterpret_cast<const char*>(digest), length);
  Check(EVP_DigestInit_ex(Context(block_), EVP_sha256(), nullptr));
  block_fill_ = 0;
}

std::string ContentHasher::Final() {
  if (broken_) throw std::logic_error("bytes are missing from the content hash");
  // a last partial block counts; an empty file hashes no block at all
  if (block_fill_ > 0) FinishBlock();
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  Check(EVP_Digest(digests_.data(), digests_.size(), digest, &length, EVP_sha256(), nullptr));
  return Hex(digest, length);
}

std::string ContentHashOf(std::string_view bytes) {
  ContentHasher hasher;
  hasher.Feed(0, bytes);
  return hasher.Final();
}

}  // namespace nuvexa::cloud

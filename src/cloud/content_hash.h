#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class Sha256;
}

namespace nuvexa::cloud {

// The storage service's content hash of a file: SHA-256 of each 4 MiB block, then SHA-256 of
// the joined digests, in lowercase hex. Fed with the bytes as they are sent, each with its
// offset in the file: bytes sent again (a body resent after a redirect, a chunk repeated after
// a renewed token) are taken once, so the hash is that of the file whatever the requests did.
class ContentHasher {
 public:
  static constexpr std::uint64_t kBlockSize = 4u << 20;

  ContentHasher();
  ~ContentHasher();
  ContentHasher(const ContentHasher&) = delete;
  ContentHasher& operator=(const ContentHasher&) = delete;

  // Bytes of the file from `offset`. Bytes past a gap (an offset beyond what was hashed) make
  // the hash unusable: Complete() stays false.
  void Feed(std::uint64_t offset, std::string_view bytes);
  // Whether exactly the file's first `size` bytes, and nothing missing, were fed.
  bool Complete(std::uint64_t size) const { return !broken_ && position_ == size; }
  // The hash of what was fed. Throws std::logic_error after a gap.
  std::string Final();

 private:
  void FinishBlock();

  std::unique_ptr<platform::Sha256> block_;  // the running digest of the current block
  std::uint64_t block_fill_ = 0;
  std::uint64_t position_ = 0;
  bool broken_ = false;
  std::string digests_;
};

// The content hash of bytes held in memory.
std::string ContentHashOf(std::string_view bytes);

}  // namespace nuvexa::cloud

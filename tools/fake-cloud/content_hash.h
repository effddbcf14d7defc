#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

#include <openssl/evp.h>

namespace fake_cloud {

// The service's content hash: SHA-256 of each 4 MiB block, the digests concatenated
// and hashed again, in lower-case hex.
class ContentHasher {
 public:
  static constexpr size_t kBlockSize = 4 * 1024 * 1024;

  ContentHasher();
  void Update(const char* data, size_t size);
  std::string Finish();

 private:
  struct FreeContext {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
  };
  using Context = std::unique_ptr<EVP_MD_CTX, FreeContext>;

  void EndBlock();

  Context overall_;
  Context block_;
  size_t block_used_ = 0;
};

std::string ContentHashOfFile(const std::filesystem::path& file);

}  // namespace fake_cloud

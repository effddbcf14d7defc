#include "content_hash.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace fake_cloud {
namespace {

void Check(int ok) {
  if (ok != 1) throw std::runtime_error("SHA-256 failed");
}

}  // namespace

ContentHasher::ContentHasher() : overall_(EVP_MD_CTX_new()), block_(EVP_MD_CTX_new()) {
  if (!overall_ || !block_) throw std::bad_alloc();
  Check(EVP_DigestInit_ex(overall_.get(), EVP_sha256(), nullptr));
  Check(EVP_DigestInit_ex(block_.get(), EVP_sha256(), nullptr));
}

void ContentHasher::Update(const char* data, size_t size) {
  while (size > 0) {
    const size_t take = std::min(size, kBlockSize - block_used_);
    Check(EVP_DigestUpdate(block_.get(), data, take));
    block_used_ += take;
    data += take;
    size -= take;
    if (block_used_ == kBlockSize) EndBlock();
  }
}

void ContentHasher::EndBlock() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  Check(EVP_DigestFinal_ex(block_.get(), digest, &length));
  Check(EVP_DigestUpdate(overall_.get(), digest, length));
  Check(EVP_DigestInit_ex(block_.get(), EVP_sha256(), nullptr));
  block_used_ = 0;
}

std::string ContentHasher::Finish() {
  if (block_used_ > 0) EndBlock();
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  Check(EVP_DigestFinal_ex(overall_.get(), digest, &length));
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 0x0F];
  }
  return hex;
}

std::string ContentHashOfFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + file.string());
  ContentHasher hasher;
  std::vector<char> buffer(1024 * 1024);
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    hasher.Update(buffer.data(), static_cast<size_t>(in.gcount()));
  }
  if (in.bad()) throw std::runtime_error("cannot read " + file.string());
  return hasher.Finish();
}

}  // namespace fake_cloud

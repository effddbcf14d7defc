#include "platform/sha256.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <stdexcept>

namespace platform {
namespace {

void Check(int ok) {
  if (ok != 1) throw std::runtime_error("SHA-256 is not available");
}

}  // namespace

struct Sha256::State {
  struct Free {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
  };
  std::unique_ptr<EVP_MD_CTX, Free> context{EVP_MD_CTX_new()};
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  if (!state_->context) throw std::runtime_error("SHA-256 is not available");
  Check(EVP_DigestInit_ex(state_->context.get(), EVP_sha256(), nullptr));
}

Sha256::~Sha256() = default;

void Sha256::Update(std::string_view bytes) { Check(EVP_DigestUpdate(state_->context.get(), bytes.data(), bytes.size())); }

Sha256Digest Sha256::Finish() {
  Sha256Digest digest{};
  unsigned int length = 0;
  Check(EVP_DigestFinal_ex(state_->context.get(), digest.data(), &length));
  if (length != digest.size()) throw std::runtime_error("SHA-256 is not available");
  Check(EVP_DigestInit_ex(state_->context.get(), EVP_sha256(), nullptr));
  return digest;
}

void FillRandom(std::span<unsigned char> bytes) {
  if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1)
    throw std::runtime_error("no random bytes from the system");
}

}  // namespace platform

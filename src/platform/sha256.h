#pragma once

#include <array>
#include <memory>
#include <span>
#include <string_view>

namespace platform {

using Sha256Digest = std::array<unsigned char, 32>;

// A running SHA-256 digest, from the system's cryptography (libcrypto, or CNG on Windows).
// Throws std::runtime_error when the digest is not available.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(std::string_view bytes);
  // The digest of what was fed since the start or the last Finish(), which starts afresh.
  Sha256Digest Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

Sha256Digest Sha256Of(std::string_view bytes);

// Bytes from the system's cryptographic random source. Throws std::runtime_error.
void FillRandom(std::span<unsigned char> bytes);

}  // namespace platform

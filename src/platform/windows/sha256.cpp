#include "platform/sha256.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <stdexcept>

namespace platform {
namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

void Check(NTSTATUS status) {
  if (!Succeeded(status)) throw std::runtime_error("SHA-256 is not available");
}

// The algorithm provider is costly to open and safe to share between threads: one for the
// process, closed at exit.
class Provider {
 public:
  Provider() {
    if (!Succeeded(::BCryptOpenAlgorithmProvider(&handle_, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) handle_ = nullptr;
  }
  ~Provider() {
    if (handle_ != nullptr) ::BCryptCloseAlgorithmProvider(handle_, 0);
  }
  Provider(const Provider&) = delete;
  Provider& operator=(const Provider&) = delete;

  BCRYPT_ALG_HANDLE get() const {
    if (handle_ == nullptr) throw std::runtime_error("SHA-256 is not available");
    return handle_;
  }

 private:
  BCRYPT_ALG_HANDLE handle_ = nullptr;
};

BCRYPT_ALG_HANDLE Sha256Provider() {
  static const Provider provider;
  return provider.get();
}

struct HashDeleter {
  void operator()(void* hash) const { ::BCryptDestroyHash(static_cast<BCRYPT_HASH_HANDLE>(hash)); }
};
using HashHandle = std::unique_ptr<void, HashDeleter>;

}  // namespace

struct Sha256::State {
  HashHandle hash;
  // Windows before 8 has no reusable hash objects: a new one is made after each Finish().
  bool reusable = false;

  void Create() {
    BCRYPT_HASH_HANDLE handle = nullptr;
    if (Succeeded(::BCryptCreateHash(Sha256Provider(), &handle, nullptr, 0, nullptr, 0, BCRYPT_HASH_REUSABLE_FLAG))) {
      reusable = true;
    } else {
      Check(::BCryptCreateHash(Sha256Provider(), &handle, nullptr, 0, nullptr, 0, 0));
      reusable = false;
    }
    hash.reset(handle);
  }
};

Sha256::Sha256() : state_(std::make_unique<State>()) { state_->Create(); }

Sha256::~Sha256() = default;

void Sha256::Update(std::string_view bytes) {
  while (!bytes.empty()) {
    const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(bytes.size(), 1u << 30));
    // BCryptHashData takes a non-const pointer but only reads the bytes
    Check(::BCryptHashData(static_cast<BCRYPT_HASH_HANDLE>(state_->hash.get()),
                           reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())), piece, 0));
    bytes.remove_prefix(piece);
  }
}

Sha256Digest Sha256::Finish() {
  Sha256Digest digest{};
  Check(::BCryptFinishHash(static_cast<BCRYPT_HASH_HANDLE>(state_->hash.get()), digest.data(),
                           static_cast<ULONG>(digest.size()), 0));
  if (!state_->reusable) {
    state_->hash.reset();
    state_->Create();
  }
  return digest;
}

void FillRandom(std::span<unsigned char> bytes) {
  while (!bytes.empty()) {
    const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(bytes.size(), 1u << 30));
    if (!Succeeded(::BCryptGenRandom(nullptr, bytes.data(), piece, BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
      throw std::runtime_error("no random bytes from the system");
    bytes = bytes.subspan(piece);
  }
}

}  // namespace platform

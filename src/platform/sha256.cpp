#include "platform/sha256.h"

namespace platform {

Sha256Digest Sha256Of(std::string_view bytes) {
  Sha256 digest;
  digest.Update(bytes);
  return digest.Finish();
}

}  // namespace platform

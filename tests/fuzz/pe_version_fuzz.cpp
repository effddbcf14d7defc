// The version reader over any bytes, as it reads the DLLs found in the executable's folder.
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/pe_version.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  platform::FileVersionOf(std::span<const std::uint8_t>(data, size));
  return 0;
}

#include "platform/file_version.h"

#include <cstdint>
#include <span>
#include <vector>

#include "platform/file_stream.h"
#include "platform/pe_version.h"

namespace platform {
namespace {

// The carried DLLs are at most a few MB; a larger file is not read whole into memory at
// start-up but counts as one without a version, and so is replaced.
constexpr std::uint64_t kLargestVersionedFile = 64 * 1024 * 1024;

}  // namespace

std::string FileVersionText(const std::string& path) {
  try {
    const InputFile file = InputFile::Open(path);
    const std::uint64_t size = file.Size();
    if (size > kLargestVersionedFile) return {};
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    const std::size_t read = file.ReadAt(0, std::span<char>(reinterpret_cast<char*>(bytes.data()), bytes.size()));
    bytes.resize(read);
    return FileVersionOf(bytes).value_or("");
  } catch (const FileError&) {
    return {};
  }
}

}  // namespace platform

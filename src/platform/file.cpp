#include "platform/file.h"

#include <algorithm>

namespace platform {

void WriteAll(const std::string& path, std::string_view bytes,
              const std::function<std::size_t(std::string_view rest)>& write_some) {
  while (!bytes.empty()) {
    const std::size_t written = write_some(bytes);
    if (written == 0) throw FileError("Cannot write file \"" + path + "\". The system wrote no byte of it.");
    bytes.remove_prefix(std::min(written, bytes.size()));
  }
}

}  // namespace platform

#include "platform/paths.h"

#include <unistd.h>

#include <climits>
#include <stdexcept>
#include <vector>

namespace platform {

std::string ExecutablePath() {
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) throw std::runtime_error("Cannot find the executable's path");
    if (static_cast<std::size_t>(n) < buffer.size()) return std::string(buffer.data(), static_cast<std::size_t>(n));
    buffer.resize(buffer.size() * 2);
  }
}

std::string ExecutableFolder() {
  const std::string path = ExecutablePath();
  return path.substr(0, path.rfind('/') + 1);
}

}  // namespace platform

#pragma once

#include <string>

namespace platform {

// Full path of the running executable.
std::string ExecutablePath();
// Folder of the running executable, ending with the path separator.
std::string ExecutableFolder();

inline constexpr char kPathSeparator = '/';

}  // namespace platform

#pragma once

#include <string>
#include <string_view>

namespace platform {

// Replaces the file's content with `content` in one step (written beside it under a hidden
// name, then renamed into place), the file readable and writable by its owner alone: it holds
// secrets. A symbolic link or anything but a regular file at `path` is refused, and stays.
// Throws FileError.
void WriteOwnerOnlyFile(const std::string& path, std::string_view content);

}  // namespace platform

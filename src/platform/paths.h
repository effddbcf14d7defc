#pragma once

#include <string>

namespace platform {

// Full path of the running executable.
std::string ExecutablePath();
// Folder of the running executable, ending with the path separator.
std::string ExecutableFolder();

inline constexpr char kPathSeparator = '/';

// Path names as strings; nothing here touches the file system.
// The folder part, with its trailing separator ("" when there is none).
std::string ExtractFilePath(const std::string& path);
// The name after the last separator.
std::string ExtractFileName(const std::string& path);
// The path with the extension of its file name replaced (or added).
std::string ChangeFileExt(const std::string& path, const std::string& extension);
// The path with a trailing separator, added when missing.
std::string IncludeTrailingPathDelimiter(const std::string& path);
// The path without its trailing separator.
std::string ExcludeTrailingPathDelimiter(const std::string& path);

}  // namespace platform

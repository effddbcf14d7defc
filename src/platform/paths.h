#pragma once

#include <string>

namespace platform {

// Full path of the running executable.
std::string ExecutablePath();
// Folder of the running executable, ending with the path separator.
std::string ExecutableFolder();

#ifdef _WIN32
// The path functions below take '/' too: Windows does, and settings may be written with it.
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Whether `c` separates the parts of a path here: '/' everywhere, '\\' too on Windows.
constexpr bool IsPathSeparator(char c) { return c == kPathSeparator || c == '/'; }

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

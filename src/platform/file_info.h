#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/date_time.h"

namespace platform {

// The Windows file-attribute bits that archives and file searches carry.
inline constexpr std::uint32_t kAttrReadOnly = 0x01;
inline constexpr std::uint32_t kAttrHidden = 0x02;
inline constexpr std::uint32_t kAttrSystem = 0x04;
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrArchive = 0x20;

// The last-write time in local time; none when the file cannot be looked at.
std::optional<TDateTime> FileLastWriteTime(const std::string& path);

// The attribute bits of a file or folder, read the way Windows would show them
// (hidden: the name begins with "."; system: neither a regular file nor a folder;
// read-only: nobody may write it; archive: every regular file). None when it cannot
// be looked at.
std::optional<std::uint32_t> FileAttributes(const std::string& path);

// Whether the two paths name the same existing file.
bool SameFile(const std::string& a, const std::string& b);

// Removes a file; false when it could not be removed (it may not have existed). A read-only
// file (as FileAttributes shows it) stays and gives false, as Windows' DeleteFile does, so
// that a backup someone protected that way survives the trims on every platform.
bool RemoveFile(const std::string& path);

}  // namespace platform

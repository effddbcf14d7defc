#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The full path of the entry in `folder` whose name equals `name` without
// regard to case (an exact match wins; among others, the first in byte
// order), or `folder` joined with `name` when there is none. Settings and
// payload names were written for a file system that ignores case.
std::string FindFileNoCase(const std::string& folder, const std::string& name);

struct FoundFile {
  std::string name;          // without the folder
  std::uint32_t attributes;  // kAttr... bits of file_info.h
};

// Whether a file name matches a mask: "*" matches any run of characters, "?" exactly one,
// and letters match without regard to case, as file names do where the backups were named.
bool MatchesMask(std::string_view name, std::string_view mask);

// The entries of one folder (not its subfolders) whose names match the mask, in the order
// the file system lists them. A missing folder gives an empty list.
std::vector<FoundFile> FindFiles(const std::string& folder, std::string_view mask);

}  // namespace platform

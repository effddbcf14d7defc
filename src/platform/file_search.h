#pragma once

#include <string>

namespace platform {

// The full path of the entry in `folder` whose name equals `name` without
// regard to case (an exact match wins; among others, the first in byte
// order), or `folder` joined with `name` when there is none. Settings and
// payload names were written for a file system that ignores case.
std::string FindFileNoCase(const std::string& folder, const std::string& name);

}  // namespace platform

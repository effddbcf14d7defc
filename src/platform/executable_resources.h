#pragma once

#include <optional>
#include <string_view>

namespace platform {

// The bytes of the raw-data resource `name` that the executable carries, the name matched
// without regard to case; none when it carries no such resource. The bytes live as long as
// the process. (Not called FindResource: windows.h makes that name a macro.)
std::optional<std::string_view> FindExecutableResource(std::string_view name);

}  // namespace platform

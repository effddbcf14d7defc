#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nuvexa {

// Whether a switch is on the command line: an argument after the program path whose first
// character is "-" or "/" and whose remainder equals the name without regard to case.
bool FindSwitch(const std::vector<std::string>& arguments, std::string_view name);

}  // namespace nuvexa

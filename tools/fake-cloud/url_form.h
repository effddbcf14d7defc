#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

namespace fake_cloud {

// The fields of an application/x-www-form-urlencoded body: "a=1&b=x+y%21" gives
// {a: "1", b: "x y!"}. Throws std::invalid_argument for a bad percent escape or a
// field given twice, which OAuth 2 does not allow.
std::map<std::string, std::string> ParseUrlForm(std::string_view body);

}  // namespace fake_cloud

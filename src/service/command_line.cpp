#include "service/command_line.h"

#include "platform/code_page.h"

namespace nuvexa {

bool FindSwitch(const std::vector<std::string>& arguments, std::string_view name) {
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string_view arg = arguments[i];
    if (arg.size() > 1 && (arg[0] == '-' || arg[0] == '/') && platform::EqualsNoCase(arg.substr(1), name))
      return true;
  }
  return false;
}

}  // namespace nuvexa

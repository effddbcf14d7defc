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

HostCommand ParseHostCommand(const std::vector<std::string>& arguments) {
  const auto found = [&](std::string_view name) { return FindSwitch(arguments, name); };
  if (found("INSTALL")) return {HostAction::kInstall, found("SILENT")};
  if (found("UNINSTALL")) return {HostAction::kUninstall, found("SILENT")};
  if (found("AUTHORIZE")) return {HostAction::kAuthorize, false};
  if (found("CONSOLE")) return {HostAction::kConsole, false};
  if (found("ONCE")) return {HostAction::kOnce, false};
  return {};
}

}  // namespace nuvexa

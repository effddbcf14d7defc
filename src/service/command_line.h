#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nuvexa {

// Whether a switch is on the command line: an argument after the program path whose first
// character is "-" or "/" and whose remainder equals the name without regard to case.
bool FindSwitch(const std::vector<std::string>& arguments, std::string_view name);

// What the process is asked to do.
enum class HostAction {
  kRunService,  // no switch: run under the service manager
  kInstall,
  kUninstall,
  kConsole,
  kOnce,
  kAuthorize,  // obtain the cloud's refresh token from the person at the terminal
};

struct HostCommand {
  HostAction action = HostAction::kRunService;
  bool silent = false;  // INSTALL and UNINSTALL only: no success message

  bool operator==(const HostCommand&) const = default;
};

// INSTALL wins over UNINSTALL, and both over AUTHORIZE and the foreground switches CONSOLE and
// ONCE (in that order), so that an installer's command line never starts a cycle.
HostCommand ParseHostCommand(const std::vector<std::string>& arguments);

}  // namespace nuvexa

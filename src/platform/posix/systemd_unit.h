#pragma once

#include <string>
#include <string_view>

namespace platform {

// The command registered for the service: the executable's full path, in double quotes when
// it holds a space, with no arguments.
std::string ServiceCommand(const std::string& executable_path);

// The text of the systemd unit that runs the executable as the service described by
// `description`: started at boot, notifying systemd of its status, hardened as far as its
// work allows. Throws std::invalid_argument for a path that systemd would not run.
std::string SystemdUnitText(std::string_view description, const std::string& executable_path);

}  // namespace platform

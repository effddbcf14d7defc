#pragma once

#include <functional>
#include <memory>
#include <string>

#include "service/srv_nuvexa.h"

namespace nuvexa {

// Builds the module on the given loop and services; the hosts use it so that tests can
// hand in their own module set-up.
using ModuleFactory = std::function<std::unique_ptr<TSrvNuvexa>(ModuleEnvironment)>;

// Runs the service in the foreground without a service manager: the module, its main loop,
// timer and service thread behave as under one; SIGINT or SIGTERM stops it. Log entries are
// echoed to standard error. Returns the process's exit status.
int RunInForeground(const std::string& executable_folder, const ModuleFactory& make_module);

// Runs one cycle at once, then returns: 0 when the cycle wrote nothing to the log, 1 when
// it wrote anything. Log entries are echoed to standard error.
int RunOneCycle(const std::string& executable_folder, const ModuleFactory& make_module);

}  // namespace nuvexa

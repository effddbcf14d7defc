#include <clocale>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "service/command_line.h"
#include "service/foreground_host.h"
#include "service/service_status.h"
#include "service/srv_nuvexa.h"

namespace {

std::unique_ptr<nuvexa::TSrvNuvexa> MakeModule(nuvexa::ModuleEnvironment environment) {
  return std::make_unique<nuvexa::TSrvNuvexa>(std::move(environment));
}

}  // namespace

int main(int argc, char** argv) {
  // the log's time stamps follow the locale the service runs under
  std::setlocale(LC_ALL, "");
  const std::vector<std::string> arguments(argv, argv + argc);
  const std::string folder = platform::ExecutableFolder();

  if (nuvexa::FindSwitch(arguments, "CONSOLE")) return nuvexa::RunInForeground(folder, MakeModule);
  if (nuvexa::FindSwitch(arguments, "ONCE")) return nuvexa::RunOneCycle(folder, MakeModule);

  // Only a service manager can start the service; without one there is nothing to run.
  const std::string message = "The service process could not connect to the service controller.";
  nuvexa::SystemEventLogger(nuvexa::TSrvNuvexa::kServiceName).LogError(message);
  std::cerr << message << '\n';
  return 1;
}

#include <clocale>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "deploy/runtime_deployment.h"
#include "platform/console.h"
#include "platform/control_signals.h"
#include "platform/paths.h"
#include "service/authorize_command.h"
#include "service/command_line.h"
#include "service/foreground_host.h"
#include "service/service_host.h"
#include "service/service_status.h"
#include "service/srv_nuvexa.h"

// Exit statuses: 0 when the run did what it was asked (INSTALL and UNINSTALL: nothing failed;
// the service: it ran under systemd and stopped); 1 when INSTALL or UNINSTALL failed, or when
// the service could not run (1063: started without systemd). ONCE: see RunOneCycle; AUTHORIZE:
// see RunAuthorize.

namespace {

std::unique_ptr<nuvexa::TSrvNuvexa> MakeModule(nuvexa::ModuleEnvironment environment) {
  return std::make_unique<nuvexa::TSrvNuvexa>(std::move(environment));
}

int RunProcess(const std::vector<std::string>& arguments, const std::string& folder) {
  // the log's time stamps follow the locale the service runs under
  std::setlocale(LC_ALL, "");
  const nuvexa::HostCommand command = nuvexa::ParseHostCommand(arguments);
  switch (command.action) {
    case nuvexa::HostAction::kConsole: return nuvexa::RunInForeground(folder, MakeModule);
    case nuvexa::HostAction::kOnce: return nuvexa::RunOneCycle(folder, MakeModule);
    case nuvexa::HostAction::kAuthorize: return nuvexa::RunAuthorize(std::cin, std::cout, std::cerr);
    case nuvexa::HostAction::kInstall:
    case nuvexa::HostAction::kUninstall:
    case nuvexa::HostAction::kRunService: break;
  }
  nuvexa::ServiceApplication application(platform::ExecutablePath(), MakeModule);
  if (command.action == nuvexa::HostAction::kRunService) return application.Run();
  return application.RegisterServices(command.action == nuvexa::HostAction::kInstall, command.silent);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::string folder = platform::ExecutableFolder();

    // the first step of every run, INSTALL and UNINSTALL included, before anything else
    nuvexa::deploy::DeployRuntimeFiles(folder);
    platform::IgnoreBrokenPipes();
    platform::KeepLineEndsOnStandardStreams();

    return RunProcess(std::vector<std::string>(argv, argv + argc), folder);
  } catch (const std::exception& e) {
    // nothing else is left to report it: journald keeps syslog's entries
    nuvexa::SystemEventLogger("nuvexa").LogError(e.what());
    std::cerr << e.what() << '\n';
    return 1;
  }
}

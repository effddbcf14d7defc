#pragma once

#include <memory>
#include <string>

#include "platform/event_loop.h"
#include "service/control_gate.h"
#include "service/foreground_host.h"
#include "service/service_status.h"
#include "service/srv_nuvexa.h"
#include "service/status_notification.h"

namespace nuvexa {

// The process as a service application: the module on the main thread's loop, its status
// reports to the service manager and its event log. The module is built with the application
// (for INSTALL and UNINSTALL too, which never start its timer) and goes with it.
class ServiceApplication {
 public:
  ServiceApplication(const std::string& executable_path, const ModuleFactory& make_module);
  ServiceApplication(const ServiceApplication&) = delete;
  ServiceApplication& operator=(const ServiceApplication&) = delete;
  ~ServiceApplication();

  // INSTALL (Install) or UNINSTALL; the messages go to standard output. Returns the exit
  // status: 0 when nothing failed, 1 otherwise.
  int RegisterServices(bool Install, bool Silent);

  // Runs the service under the service manager: the dispatcher on a thread of its own, the
  // main loop on this one until the service has stopped; returns 0 then. When the dispatcher
  // fails (1063: no service manager started the process) its message goes to the event log
  // and, with a hint how to run in the foreground, to standard error; returns 1.
  int Run();

 private:
  void ServiceMain(const std::vector<std::string>& args);
  void ServiceController(std::uint32_t CtrlCode);

  std::string executable_path_;
  platform::EventLoop loop_;
  SystemEventLogger event_log_;        // the service's: source SrvNuvexa
  SystemEventLogger application_log_;  // the process's: source the executable's file name
  ServiceManagerStatusReporter status_;
  ControlGate gate_;
  GatedStatusReporter gated_status_;
  std::unique_ptr<TSrvNuvexa> module_;
};

}  // namespace nuvexa

#include "service/service_host.h"

#include <exception>
#include <iostream>
#include <optional>
#include <thread>

#include "platform/paths.h"
#include "platform/service_manager.h"
#include "service/register_services.h"

namespace nuvexa {
namespace {

const char* const kForegroundHint =
    "Nuvexa runs as a systemd service (register it with -INSTALL). To run it in the foreground, "
    "start it with -CONSOLE (the service, until Ctrl-C) or -ONCE (one backup cycle).";

struct DispatcherFailure {
  int code = 0;  // 0 when the dispatcher itself raised
  std::string message;
};

// Runs the service control dispatcher, which blocks until the service has stopped, while the
// main thread runs the main loop; when the dispatcher returns, the main loop is told to quit.
class TServiceStartThread {
 public:
  TServiceStartThread(platform::ServiceDispatcher& dispatcher, const std::string& service_name,
                      const platform::ServiceDispatcher::ServiceMain& service_main, platform::EventLoop& main_loop)
      : thread_([&dispatcher, service_name, service_main, &main_loop, this] {
          Execute(dispatcher, service_name, service_main);
          main_loop.Quit();
        }) {}
  TServiceStartThread(const TServiceStartThread&) = delete;
  TServiceStartThread& operator=(const TServiceStartThread&) = delete;
  ~TServiceStartThread() { WaitFor(); }

  void WaitFor() {
    if (thread_.joinable()) thread_.join();
  }
  // After WaitFor: what kept the dispatcher from running the service, if anything did.
  const std::optional<DispatcherFailure>& Failure() const { return failure_; }

 private:
  void Execute(platform::ServiceDispatcher& dispatcher, const std::string& service_name,
               const platform::ServiceDispatcher::ServiceMain& service_main) {
    try {
      const int error = dispatcher.Run(service_name, service_main);
      if (error != 0) failure_ = DispatcherFailure{error, platform::SystemErrorMessage(error)};
    } catch (const std::exception& e) {
      failure_ = DispatcherFailure{0, e.what()};
    }
  }

  std::optional<DispatcherFailure> failure_;
  std::thread thread_;  // last: it starts once the rest is in place
};

}  // namespace

ServiceApplication::ServiceApplication(const std::string& executable_path, const ModuleFactory& make_module)
    : executable_path_(executable_path),
      event_log_(TSrvNuvexa::kServiceName),
      application_log_(platform::ExtractFileName(executable_path)),
      status_(event_log_),
      gate_([this](std::uint32_t code) { module_->Controller(code); }),
      gated_status_(status_, gate_) {
  loop_.SetDispatchFailureHandler([this](const std::string& message) { event_log_.LogError(message); });
  module_ = make_module({loop_, gated_status_, event_log_, platform::ExtractFilePath(executable_path)});
}

ServiceApplication::~ServiceApplication() = default;

int ServiceApplication::RegisterServices(bool Install, bool Silent) {
  return nuvexa::RegisterServices({module_.get()}, Install, Silent, executable_path_, std::cout) ? 0 : 1;
}

int ServiceApplication::Run() {
  platform::ServiceDispatcher dispatcher([this](std::uint32_t code) { ServiceController(code); });
  std::optional<DispatcherFailure> failure;
  {
    TServiceStartThread start_thread(dispatcher, module_->Name(),
                                     [this](const std::vector<std::string>& args) { ServiceMain(args); }, loop_);
    loop_.Run();
    start_thread.WaitFor();
    failure = start_thread.Failure();
  }
  if (!failure) return 0;
  application_log_.LogError(failure->message);
  std::cerr << failure->message << '\n';
  if (failure->code == platform::kErrorFailedServiceControllerConnect) std::cerr << kForegroundHint << '\n';
  std::cerr << std::flush;
  return 1;
}

void ServiceApplication::ServiceMain(const std::vector<std::string>& args) { module_->Main(args); }

void ServiceApplication::ServiceController(std::uint32_t CtrlCode) { gate_.Post(CtrlCode); }

}  // namespace nuvexa

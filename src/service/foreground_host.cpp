#include "service/foreground_host.h"

#include <iostream>
#include <memory>
#include <string_view>
#include <thread>

#include "platform/console.h"
#include "platform/control_signals.h"
#include "service/progress_display.h"

namespace nuvexa {
namespace {

void EchoToStandardError(const std::string& entry) {
  std::cerr << entry << std::flush;
}

// Failures that the module cannot log go to the event log and to standard error.
class EchoingEventLogger : public SystemEventLogger {
 public:
  using SystemEventLogger::SystemEventLogger;
  void LogError(const std::string& text) override {
    SystemEventLogger::LogError(text);
    std::cerr << text << '\n' << std::flush;
  }
};

// The log's entries go to standard error; on a terminal, so do the long steps' progress lines,
// which the entries do not break.
void EchoOnStandardError(TSrvNuvexa& module) {
  if (!platform::StandardErrorIsTerminal()) {
    module.SetLogEcho(EchoToStandardError);
    return;
  }
  auto display = std::make_shared<ProgressDisplay>([](std::string_view text) {
    std::cerr.write(text.data(), static_cast<std::streamsize>(text.size()));
    std::cerr.flush();
  });
  module.SetProgress(display);
  module.SetLogEcho([display](const std::string& entry) { display->Print(entry); });
}

}  // namespace

int RunInForeground(const std::string& executable_folder, const ModuleFactory& make_module) {
  platform::EventLoop loop;
  MemoryStatusReporter status;
  EchoingEventLogger event_log(TSrvNuvexa::kServiceName);
  loop.SetDispatchFailureHandler([&](const std::string& message) { event_log.LogError(message); });

  std::unique_ptr<TSrvNuvexa> module = make_module({loop, status, event_log, executable_folder});
  EchoOnStandardError(*module);
  {
    // the signals must be blocked before the service thread exists
    platform::ControlSignals signals([&](std::uint32_t code) { module->Controller(code); });
    std::thread service_main([&] {
      module->Main({module->Name()});
      loop.Quit();
    });
    loop.Run();
    service_main.join();
  }
  return 0;
}

int RunOneCycle(const std::string& executable_folder, const ModuleFactory& make_module) {
  platform::EventLoop loop;
  MemoryStatusReporter status;
  EchoingEventLogger event_log(TSrvNuvexa::kServiceName);
  std::unique_ptr<TSrvNuvexa> module = make_module({loop, status, event_log, executable_folder});
  EchoOnStandardError(*module);
  try {
    module->RunCycleNow();
  } catch (const std::exception& e) {
    // the log itself could not be written
    event_log.LogError(e.what());
    return 1;
  }
  return module->LogEntriesWritten() == 0 ? 0 : 1;
}

}  // namespace nuvexa

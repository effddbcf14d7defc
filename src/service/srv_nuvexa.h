#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <string_view>

#include "platform/date_time.h"
#include "platform/event_loop.h"
#include "service/activity_log.h"
#include "service/service_base.h"

namespace nuvexa {

// What the module needs from the process that hosts it.
struct ModuleEnvironment {
  platform::EventLoop& main_loop;    // the main thread's loop: timer events and the exception hook
  StatusReporter& status_reporter;
  EventLogger& event_logger;
  std::string executable_folder;     // ends with the path separator
};

// The service module: the one long-lived object of the process. It owns the cycle timer
// and the settings that outlive a cycle; every cycle runs on the main thread.
class TSrvNuvexa : public TService {
 public:
  static constexpr const char* kServiceName = "SrvNuvexa";
  static constexpr const char* kDisplayName = "Nuvexa";
  static constexpr std::int32_t kInitialTimerInterval = 5000;

  explicit TSrvNuvexa(ModuleEnvironment environment);
  ~TSrvNuvexa() override;

  // Appends one line to the activity log beside the executable; throws when it cannot be written.
  void DoSaveLog(std::string_view Msg);
  // The application exception hook: the message of an exception that escaped a cycle.
  void ManipulaExcecoes(const void* Sender, const std::exception& E);

  // What one timer event runs.
  void SetCycle(std::function<void()> cycle) { cycle_ = std::move(cycle); }
  // Receives every entry written to the log (the foreground hosts echo them).
  void SetLogEcho(std::function<void(const std::string& entry)> echo) { log_echo_ = std::move(echo); }
  // Entries written since the module was created.
  int LogEntriesWritten() const { return log_entries_written_; }
  // One timer event at once, outside the timer, with the timer's exception handling:
  // an escaping error goes to the exception hook.
  void RunCycleNow();

  const std::string& ExecutableFolder() const { return executable_folder_; }
  platform::EventLoop& MainLoop() { return main_loop_; }

  platform::Timer Timer1;

  // Settings that outlive a cycle.
  std::int32_t BackupIntervalo = 0;       // minutes
  std::int32_t MinimoBackup = 0;          // files
  std::int32_t MaximoBackup = 0;          // files
  std::int32_t IntervaloThread = 0;       // milliseconds
  std::int64_t MaximoTamanho = 0;         // bytes
  platform::TDateTime DataHoraAtualBackup = 0;
  std::string ArquivoCompactadoDrovana;
  std::string ArquivoCompactadoReceitaDigital;

 protected:
  void ServiceExecute(TService& Sender) override;

 private:
  void ServiceCreate();
  void ServiceDestroy();
  void Timer1Timer(const void* Sender);

  platform::EventLoop& main_loop_;
  std::string executable_folder_;
  ActivityLog log_;
  std::function<void()> cycle_;
  std::function<void(const std::string&)> log_echo_;
  int log_entries_written_ = 0;
};

}  // namespace nuvexa

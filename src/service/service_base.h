#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "service/service_status.h"
#include "service/service_thread.h"

namespace nuvexa {

// The base of a service module: its names, its status and the service thread that runs
// ServiceExecute. Statuses are set by the service-main thread and the service thread and
// reported at once.
class TService {
 public:
  TService(std::string name, std::string display_name, StatusReporter& status_reporter,
           EventLogger& event_logger);
  TService(const TService&) = delete;
  TService& operator=(const TService&) = delete;
  virtual ~TService();

  const std::string& Name() const { return name_; }
  const std::string& DisplayName() const { return display_name_; }
  TCurrentStatus Status() const { return status_.load(); }
  // True once the service thread has been told to end.
  bool Terminated() const;
  const std::vector<std::string>& Params() const { return params_; }

  // The service's entry point, on the service-main thread: records the start arguments,
  // sets start-pending, runs the service thread to its end and reports stopped.
  void Main(const std::vector<std::string>& args);

  // From the dispatcher thread: hands a control code to the service thread.
  void Controller(std::uint32_t CtrlCode);

  // Ends a running service thread from outside (process shutdown): stops as a stop request would.
  void Stop();

 protected:
  // OnExecute: runs on the service thread; returns when the service is to end.
  virtual void ServiceExecute(TService& Sender) = 0;
  EventLogger& EventLog() { return event_logger_; }
  // On the service thread: handles control requests, waiting for each, until told to end.
  void ProcessServiceRequests();

 private:
  friend class TServiceThread;
  void SetStatus(TCurrentStatus status);
  void ReportStatus();
  void DoStart();

  std::string name_;
  std::string display_name_;
  StatusReporter& status_reporter_;
  EventLogger& event_logger_;
  std::atomic<TCurrentStatus> status_{TCurrentStatus::csStopped};
  std::vector<std::string> params_;
  mutable std::mutex thread_mutex_;
  std::shared_ptr<TServiceThread> service_thread_;
};

}  // namespace nuvexa

#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace nuvexa {

// The service's status, in the order the service manager numbers them (1 to 7).
enum class TCurrentStatus {
  csStopped,
  csStartPending,
  csStopPending,
  csRunning,
  csContinuePending,
  csPausePending,
  csPaused,
};

std::string_view StatusName(TCurrentStatus status);

// Receives every status report; the host connects it to the service manager.
class StatusReporter {
 public:
  virtual ~StatusReporter() = default;
  virtual void ReportStatus(TCurrentStatus status) = 0;
};

// Keeps the reports in memory, for the host and for tests. Thread-safe.
class MemoryStatusReporter : public StatusReporter {
 public:
  void ReportStatus(TCurrentStatus status) override;
  std::vector<TCurrentStatus> Reports() const;
  // Waits until `status` has been reported at least `count` times; false on time-out.
  bool WaitFor(TCurrentStatus status, std::chrono::milliseconds timeout, std::size_t count = 1) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<TCurrentStatus> reports_;
};

// The host's event log: error entries under the service's source name.
class EventLogger {
 public:
  virtual ~EventLogger() = default;
  virtual void LogError(const std::string& text) = 0;
};

// Writes to the system's event log.
class SystemEventLogger : public EventLogger {
 public:
  explicit SystemEventLogger(std::string source) : source_(std::move(source)) {}
  void LogError(const std::string& text) override;

 private:
  std::string source_;
};

// Keeps the entries in memory, for tests. Thread-safe.
class MemoryEventLogger : public EventLogger {
 public:
  void LogError(const std::string& text) override;
  std::vector<std::string> Entries() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> entries_;
};

}  // namespace nuvexa

#include "service/service_status.h"

#include <algorithm>

#include "platform/event_log.h"

namespace nuvexa {

std::string_view StatusName(TCurrentStatus status) {
  switch (status) {
    case TCurrentStatus::csStopped: return "stopped";
    case TCurrentStatus::csStartPending: return "start-pending";
    case TCurrentStatus::csStopPending: return "stop-pending";
    case TCurrentStatus::csRunning: return "running";
    case TCurrentStatus::csContinuePending: return "continue-pending";
    case TCurrentStatus::csPausePending: return "pause-pending";
    case TCurrentStatus::csPaused: return "paused";
  }
  return "unknown";
}

void MemoryStatusReporter::ReportStatus(TCurrentStatus status) {
  {
    std::lock_guard lock(mutex_);
    reports_.push_back(status);
  }
  changed_.notify_all();
}

std::vector<TCurrentStatus> MemoryStatusReporter::Reports() const {
  std::lock_guard lock(mutex_);
  return reports_;
}

bool MemoryStatusReporter::WaitFor(TCurrentStatus status, std::chrono::milliseconds timeout,
                                   std::size_t count) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] {
    return static_cast<std::size_t>(std::count(reports_.begin(), reports_.end(), status)) >= count;
  });
}

void SystemEventLogger::LogError(const std::string& text) { platform::ReportEventLogError(source_, text); }

void MemoryEventLogger::LogError(const std::string& text) {
  std::lock_guard lock(mutex_);
  entries_.push_back(text);
}

std::vector<std::string> MemoryEventLogger::Entries() const {
  std::lock_guard lock(mutex_);
  return entries_;
}

}  // namespace nuvexa

#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "service/service_status.h"

namespace nuvexa {

// One status report as the Windows service manager receives it (SERVICE_STATUS).
struct ServiceStatusRecord {
  std::uint32_t service_type = 0x10;  // a service with a process of its own
  std::uint32_t current_state = 0;    // 1..7, in TCurrentStatus order
  std::uint32_t controls_accepted = 0;
  std::uint32_t win32_exit_code = 0;
  std::uint32_t service_specific_exit_code = 0;
  std::uint32_t check_point = 0;
  std::uint32_t wait_hint = 5000;

  bool operator==(const ServiceStatusRecord&) const = default;
};

// The status before the first report: start-pending, check point 0.
ServiceStatusRecord InitialStatusRecord();
// The record of `status` reported right after `previous`: a pending status repeated carries the
// previous check point plus one, every other report check point 0. While start-pending the
// service accepts no control; otherwise stop, pause and continue, and shutdown.
ServiceStatusRecord NextStatusRecord(const ServiceStatusRecord& previous, TCurrentStatus status);
// What systemd is told for the report: READY=1 on running, STOPPING=1 on stop-pending, and
// "STATUS=<status> (check point N, wait hint N ms)" each time.
std::string NotificationText(TCurrentStatus status, const ServiceStatusRecord& record);

// Reports every status to the service manager and keeps the reports in memory. A report
// that cannot be sent leaves the system's message in the service's event log. Thread-safe.
class ServiceManagerStatusReporter : public StatusReporter {
 public:
  explicit ServiceManagerStatusReporter(EventLogger& event_log) : event_log_(event_log) {}
  void ReportStatus(TCurrentStatus status) override;

  std::vector<ServiceStatusRecord> Records() const;
  const MemoryStatusReporter& Memory() const { return reports_; }

 private:
  EventLogger& event_log_;
  mutable std::mutex mutex_;
  ServiceStatusRecord last_ = InitialStatusRecord();
  std::vector<ServiceStatusRecord> records_;
  MemoryStatusReporter reports_;
};

}  // namespace nuvexa

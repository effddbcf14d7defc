#include "service/status_notification.h"

#include "platform/service_manager.h"

namespace nuvexa {
namespace {

constexpr std::uint32_t kAcceptStopPauseContinueShutdown = 0x1 | 0x2 | 0x4;

std::uint32_t StateNumber(TCurrentStatus status) { return static_cast<std::uint32_t>(status) + 1; }

bool IsPending(TCurrentStatus status) {
  return status == TCurrentStatus::csStartPending || status == TCurrentStatus::csStopPending ||
         status == TCurrentStatus::csContinuePending || status == TCurrentStatus::csPausePending;
}

}  // namespace

ServiceStatusRecord InitialStatusRecord() {
  ServiceStatusRecord record;
  record.current_state = StateNumber(TCurrentStatus::csStartPending);
  return record;
}

ServiceStatusRecord NextStatusRecord(const ServiceStatusRecord& previous, TCurrentStatus status) {
  ServiceStatusRecord record;
  record.current_state = StateNumber(status);
  record.controls_accepted = status == TCurrentStatus::csStartPending ? 0 : kAcceptStopPauseContinueShutdown;
  const bool repeated = IsPending(status) && previous.current_state == record.current_state;
  record.check_point = repeated ? previous.check_point + 1 : 0;
  return record;
}

std::string NotificationText(TCurrentStatus status, const ServiceStatusRecord& record) {
  std::string text;
  if (status == TCurrentStatus::csRunning) text += "READY=1\n";
  if (status == TCurrentStatus::csStopPending) text += "STOPPING=1\n";
  text += "STATUS=" + std::string(StatusName(status)) + " (check point " + std::to_string(record.check_point) +
          ", wait hint " + std::to_string(record.wait_hint) + " ms)";
  return text;
}

void ServiceManagerStatusReporter::ReportStatus(TCurrentStatus status) {
  std::string failure;
  {
    // one report at a time, so systemd hears them in the order their check points count
    std::lock_guard lock(mutex_);
    last_ = NextStatusRecord(last_, status);
    records_.push_back(last_);
    try {
      platform::ReportServiceStatus({last_.service_type, last_.current_state, last_.controls_accepted,
                                     last_.win32_exit_code, last_.service_specific_exit_code, last_.check_point,
                                     last_.wait_hint},
                                    NotificationText(status, last_));
    } catch (const platform::OSError& e) {
      failure = platform::SystemErrorMessage(e.Code());
    }
  }
  if (!failure.empty()) event_log_.LogError(failure);
  reports_.ReportStatus(status);
}

std::vector<ServiceStatusRecord> ServiceManagerStatusReporter::Records() const {
  std::lock_guard lock(mutex_);
  return records_;
}

}  // namespace nuvexa

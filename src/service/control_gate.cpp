#include "service/control_gate.h"

namespace nuvexa {

void ControlGate::Post(std::uint32_t control_code) {
  std::lock_guard lock(mutex_);
  if (open_) {
    deliver_(control_code);
  } else {
    held_.push_back(control_code);
  }
}

void ControlGate::Observe(TCurrentStatus status) {
  if (status == TCurrentStatus::csStartPending) return;
  // delivered under the lock, so that a code posted meanwhile cannot overtake the held ones
  std::lock_guard lock(mutex_);
  if (open_) return;
  open_ = true;
  for (const std::uint32_t code : held_) deliver_(code);
  held_.clear();
}

void GatedStatusReporter::ReportStatus(TCurrentStatus status) {
  reporter_.ReportStatus(status);
  gate_.Observe(status);
}

}  // namespace nuvexa

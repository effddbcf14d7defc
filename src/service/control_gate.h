#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

#include "service/service_status.h"

namespace nuvexa {

// Hands control codes on to the service once it accepts any. While start-pending it accepts
// none, yet systemd may already send a stop; held back, that stop reaches the service with its
// running report instead of being lost (systemd would then wait out TimeoutStopSec).
// Thread-safe; codes are delivered in the order they were posted.
class ControlGate {
 public:
  using Deliver = std::function<void(std::uint32_t control_code)>;

  explicit ControlGate(Deliver deliver) : deliver_(std::move(deliver)) {}

  void Post(std::uint32_t control_code);
  // Every reported status passes here; the first one past start-pending opens the gate.
  void Observe(TCurrentStatus status);

 private:
  Deliver deliver_;
  std::mutex mutex_;
  bool open_ = false;
  std::deque<std::uint32_t> held_;
};

// Reports each status on, then lets the gate see it.
class GatedStatusReporter : public StatusReporter {
 public:
  GatedStatusReporter(StatusReporter& reporter, ControlGate& gate) : reporter_(reporter), gate_(gate) {}
  void ReportStatus(TCurrentStatus status) override;

 private:
  StatusReporter& reporter_;
  ControlGate& gate_;
};

}  // namespace nuvexa

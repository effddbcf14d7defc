#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

namespace platform {

// Plays the service manager's dispatcher for a process that runs without one: the signals
// that stand for control requests are turned into control codes, delivered on a thread of
// their own. SIGTERM and SIGINT stop (1), SIGUSR1 pauses (2), SIGUSR2 continues (3), SIGHUP
// interrogates (4), SIGPWR shuts down (5).
//
// Construct it on the main thread before any other thread starts: the signals are blocked
// in the constructing thread, and threads started later inherit that, so only this object
// ever receives them.
class ControlSignals {
 public:
  using Handler = std::function<void(std::uint32_t control_code)>;

  explicit ControlSignals(Handler handler);
  ControlSignals(const ControlSignals&) = delete;
  ControlSignals& operator=(const ControlSignals&) = delete;
  ~ControlSignals();

 private:
  void Watch();

  Handler handler_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A peer that hangs up must fail the write that meets it, not end the process: SIGPIPE is
// ignored for the whole process (a write then fails with EPIPE).
void IgnoreBrokenPipes();

}  // namespace platform

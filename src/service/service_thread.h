#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include "service/service_status.h"

namespace nuvexa {

class TService;

// Control codes of the service manager.
enum ServiceControl : std::uint32_t {
  kControlStop = 1,
  kControlPause = 2,
  kControlContinue = 3,
  kControlInterrogate = 4,
  kControlShutdown = 5,
};

// The thread that runs the service's OnExecute and answers control requests. Control
// codes reach it through its own message queue; nothing else of the process is touched.
class TServiceThread {
 public:
  explicit TServiceThread(TService& service);
  TServiceThread(const TServiceThread&) = delete;
  TServiceThread& operator=(const TServiceThread&) = delete;
  ~TServiceThread();

  void Start();
  void WaitFor();

  // From the dispatcher thread: queue the code; a paused thread wakes up for it.
  void PostControl(std::uint32_t code);
  // Ends a wait for messages even when none comes (the quit message).
  void PostQuit();

  // Handles queued control requests; with `wait`, waits for each until the thread is
  // told to end, otherwise only handles those already queued.
  void ProcessRequests(bool wait);

  bool Terminated() const;
  void Terminate();

 private:
  void Execute();
  std::optional<std::uint32_t> TakeMessage(bool wait);
  void WaitForNextMessage();
  void HandleControl(std::uint32_t code);
  // Puts back the status a failed action had changed; a report that fails again is dropped,
  // so the action's failure still reaches the event log and the thread goes on.
  void RestoreStatus(TCurrentStatus remembered);

  TService& service_;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::uint32_t> queue_;
  bool quit_ = false;
  bool terminated_ = false;
};

}  // namespace nuvexa

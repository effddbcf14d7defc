#include "platform/control_signals.h"

#include <condition_variable>
#include <mutex>

#include "platform/windows/wide.h"

namespace platform {
namespace {

constexpr std::uint32_t kStop = 1;

// The console's requests, handed from the system's handler thread to the object's own thread.
// SetConsoleCtrlHandler takes no context, and one object is live at a time.
struct ConsoleRequests {
  std::mutex mutex;
  std::condition_variable changed;
  bool active = false;  // a ControlSignals is there to deliver
  int pending_stops = 0;
};

ConsoleRequests& Requests() {
  static ConsoleRequests requests;
  return requests;
}

BOOL WINAPI ConsoleControlRoutine(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  ConsoleRequests& requests = Requests();
  std::unique_lock lock(requests.mutex);
  if (!requests.active) return FALSE;
  ++requests.pending_stops;
  requests.changed.notify_all();
  // the process ends as soon as this routine returns from a close: hold it until the run has
  // wound down (the system itself bounds the wait)
  if (event == CTRL_CLOSE_EVENT) requests.changed.wait(lock, [&] { return !requests.active; });
  return TRUE;
}

}  // namespace

// Ctrl-C, Ctrl-Break and closing the console window stop (1); Windows has no console
// requests for the other codes.
ControlSignals::ControlSignals(Handler handler) : handler_(std::move(handler)) {
  ConsoleRequests& requests = Requests();
  {
    std::lock_guard lock(requests.mutex);
    requests.active = true;
    requests.pending_stops = 0;
  }
  ::SetConsoleCtrlHandler(ConsoleControlRoutine, TRUE);
  thread_ = std::thread([this] { Watch(); });
}

ControlSignals::~ControlSignals() {
  ConsoleRequests& requests = Requests();
  {
    std::lock_guard lock(requests.mutex);
    stop_ = true;
    requests.active = false;
  }
  requests.changed.notify_all();
  thread_.join();
  ::SetConsoleCtrlHandler(ConsoleControlRoutine, FALSE);
}

void ControlSignals::Watch() {
  ConsoleRequests& requests = Requests();
  std::unique_lock lock(requests.mutex);
  for (;;) {
    requests.changed.wait(lock, [&] { return stop_ || requests.pending_stops > 0; });
    if (stop_) return;
    --requests.pending_stops;
    // the handler may take its time: the console's next request must not wait for it
    lock.unlock();
    handler_(kStop);
    lock.lock();
  }
}

// No SIGPIPE on Windows: a write to a peer that hung up fails with its error already.
void IgnoreBrokenPipes() {}

}  // namespace platform

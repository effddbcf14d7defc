#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace platform {

class Timer;

// An exception that aborts silently: the exception hook never sees it.
class SilentAbort : public std::exception {
 public:
  const char* what() const noexcept override { return "Operation aborted"; }
};

// The main thread's message loop: posted tasks and timers run on the thread that calls
// Run() or ProcessMessages(); Post(), Quit() and the timers' settings may be used from
// any thread.
class EventLoop {
 public:
  using Task = std::function<void()>;
  // The application exception hook: an exception that escaped a timer handler, with the
  // object in whose event it escaped.
  using ExceptionHook = std::function<void(const void* sender, const std::exception& error)>;
  // Where an exception goes that escaped the dispatch of a message itself (a posted task,
  // or the exception hook failing in turn).
  using DispatchFailureHandler = std::function<void(const std::string& message)>;

  EventLoop();
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  void Post(Task task);
  // The quit message: Run() returns once it is met; a quit met inside ProcessMessages()
  // is noted and ends Run() when control gets back to it.
  void Quit();
  bool QuitRequested() const;

  // Takes and dispatches one message at a time until the quit message.
  void Run();
  // Handles the messages that are waiting, without waiting for more.
  void ProcessMessages();

  void SetExceptionHook(ExceptionHook hook);
  void SetDispatchFailureHandler(DispatchFailureHandler handler);

 private:
  friend class Timer;
  using Clock = std::chrono::steady_clock;

  // Dispatches one waiting task or due timer; waits up to `until` for one when asked.
  // Returns false when there was nothing to dispatch or the quit message was met.
  bool DispatchOne(bool wait);
  // Takes the first waiting task, if any, and runs it with the lock released.
  bool RunWaitingTask(std::unique_lock<std::mutex>& lock);
  // Makes a waiting loop look again (a task posted, the quit message, a timer changed).
  void Wake();
  void HandleTimerException(const void* sender, std::exception_ptr error);
  void ReportDispatchFailure(std::exception_ptr error);

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Task> tasks_;
  std::vector<Timer*> timers_;
  bool quit_ = false;
  std::uint32_t thread_id_ = 0;  // Windows: the thread whose message queue the loop reads
  ExceptionHook exception_hook_;
  DispatchFailureHandler dispatch_failure_;
};

// A periodic timer of an EventLoop, firing on the loop's thread. Changing the enabled state,
// or the interval to a different value, re-arms it: the pending period is dropped and, if it
// is then enabled with a positive interval and a handler, a full new period starts. An
// interval of 0 or less never fires.
class Timer {
 public:
  using Handler = std::function<void()>;

  Timer(EventLoop& loop, bool enabled, std::int32_t interval_ms, Handler handler);
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;
  ~Timer();

  bool Enabled() const;
  void SetEnabled(bool enabled);
  std::int32_t Interval() const;
  void SetInterval(std::int32_t interval_ms);
  void SetOnTimer(Handler handler);

 private:
  friend class EventLoop;
  void RearmLocked();

  EventLoop& loop_;
  bool enabled_;
  std::int32_t interval_ms_;
  Handler handler_;
  bool armed_ = false;
  EventLoop::Clock::time_point due_{};
  std::uintptr_t native_id_ = 0;  // Windows: the SetTimer timer while one runs
  EventLoop::Clock::time_point native_due_{};  // Windows: the period it was set for
};

}  // namespace platform

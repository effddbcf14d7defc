#include "platform/event_loop.h"

#include <algorithm>

// What the loops of every platform share: posting, quitting, the exception hook and the
// timers' settings. Each platform's side waits, dispatches and wakes the loop (Wake).
namespace platform {
namespace {

std::string MessageOf(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown exception";
  }
}

}  // namespace

void EventLoop::Post(Task task) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  Wake();
}

void EventLoop::Quit() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  Wake();
}

void EventLoop::Run() {
  while (DispatchOne(true)) {
  }
}

void EventLoop::ProcessMessages() {
  while (DispatchOne(false)) {
  }
}

bool EventLoop::RunWaitingTask(std::unique_lock<std::mutex>& lock) {
  if (tasks_.empty()) return false;
  Task task = std::move(tasks_.front());
  tasks_.pop_front();
  lock.unlock();
  try {
    task();
  } catch (...) {
    ReportDispatchFailure(std::current_exception());
  }
  return true;
}

bool EventLoop::QuitRequested() const {
  std::lock_guard lock(mutex_);
  return quit_;
}

void EventLoop::SetExceptionHook(ExceptionHook hook) {
  std::lock_guard lock(mutex_);
  exception_hook_ = std::move(hook);
}

void EventLoop::SetDispatchFailureHandler(DispatchFailureHandler handler) {
  std::lock_guard lock(mutex_);
  dispatch_failure_ = std::move(handler);
}

void EventLoop::HandleTimerException(const void* sender, std::exception_ptr error) {
  ExceptionHook hook;
  {
    std::lock_guard lock(mutex_);
    hook = exception_hook_;
  }
  try {
    std::rethrow_exception(error);
  } catch (const SilentAbort&) {
    return;
  } catch (const std::exception& e) {
    if (!hook) return ReportDispatchFailure(error);
    try {
      hook(sender, e);
    } catch (...) {
      ReportDispatchFailure(std::current_exception());
    }
  } catch (...) {
    const std::runtime_error unknown("Unknown exception");
    if (!hook) return ReportDispatchFailure(error);
    try {
      hook(sender, unknown);
    } catch (...) {
      ReportDispatchFailure(std::current_exception());
    }
  }
}

void EventLoop::ReportDispatchFailure(std::exception_ptr error) {
  DispatchFailureHandler handler;
  {
    std::lock_guard lock(mutex_);
    handler = dispatch_failure_;
  }
  if (handler) handler(MessageOf(error));
}

bool Timer::Enabled() const {
  std::lock_guard lock(loop_.mutex_);
  return enabled_;
}

std::int32_t Timer::Interval() const {
  std::lock_guard lock(loop_.mutex_);
  return interval_ms_;
}

Timer::Timer(EventLoop& loop, bool enabled, std::int32_t interval_ms, Handler handler)
    : loop_(loop), enabled_(enabled), interval_ms_(interval_ms), handler_(std::move(handler)) {
  {
    std::lock_guard lock(loop_.mutex_);
    loop_.timers_.push_back(this);
    RearmLocked();
  }
  loop_.Wake();
}

void Timer::SetEnabled(bool enabled) {
  {
    std::lock_guard lock(loop_.mutex_);
    if (enabled == enabled_) return;
    enabled_ = enabled;
    RearmLocked();
  }
  loop_.Wake();
}

void Timer::SetInterval(std::int32_t interval_ms) {
  {
    std::lock_guard lock(loop_.mutex_);
    if (interval_ms == interval_ms_) return;
    interval_ms_ = interval_ms;
    RearmLocked();
  }
  loop_.Wake();
}

void Timer::SetOnTimer(Handler handler) {
  {
    std::lock_guard lock(loop_.mutex_);
    handler_ = std::move(handler);
    RearmLocked();
  }
  loop_.Wake();
}

// A new period starts from now; the due time also tells the loop that the timer changed.
void Timer::RearmLocked() {
  armed_ = enabled_ && interval_ms_ > 0 && handler_ != nullptr;
  due_ = EventLoop::Clock::now() + std::chrono::milliseconds(std::max(interval_ms_, 0));
}

}  // namespace platform

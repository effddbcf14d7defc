#include "platform/event_loop.h"

// What the loops of every platform share: the exception hook and the timers' settings.
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

}  // namespace platform

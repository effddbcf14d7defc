// The loop on a condition variable: posted tasks and timers due by the steady clock.
#include "platform/event_loop.h"

#include <algorithm>

namespace platform {

EventLoop::EventLoop() = default;

void EventLoop::Wake() { wake_.notify_all(); }

bool EventLoop::DispatchOne(bool wait) {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (quit_) return false;
    if (RunWaitingTask(lock)) return true;

    const auto now = Clock::now();
    Timer* next = nullptr;
    for (Timer* t : timers_) {
      if (t->armed_ && (next == nullptr || t->due_ < next->due_)) next = t;
    }
    if (next != nullptr && next->due_ <= now) {
      // periodic: the next period counts from this one's due time, and a period missed
      // while the handler ran yields one event, not a burst
      next->due_ = std::max(next->due_ + std::chrono::milliseconds(next->interval_ms_), now);
      Timer::Handler handler = next->handler_;
      lock.unlock();
      try {
        handler();
      } catch (...) {
        HandleTimerException(next, std::current_exception());
      }
      return true;
    }

    if (!wait) return false;
    if (next != nullptr) {
      wake_.wait_until(lock, next->due_);
    } else {
      wake_.wait(lock);
    }
  }
}

Timer::~Timer() {
  std::lock_guard lock(loop_.mutex_);
  std::erase(loop_.timers_, this);
}

}  // namespace platform

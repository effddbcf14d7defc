// The loop on a condition variable: posted tasks and timers due by the steady clock.
#include "platform/event_loop.h"

#include <algorithm>

namespace platform {

EventLoop::EventLoop() = default;

void EventLoop::Post(Task task) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  wake_.notify_all();
}

void EventLoop::Quit() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
}

void EventLoop::Run() {
  while (DispatchOne(true)) {
  }
}

void EventLoop::ProcessMessages() {
  while (DispatchOne(false)) {
  }
}

bool EventLoop::DispatchOne(bool wait) {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (quit_) return false;
    if (!tasks_.empty()) {
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

Timer::Timer(EventLoop& loop, bool enabled, std::int32_t interval_ms, Handler handler)
    : loop_(loop), enabled_(enabled), interval_ms_(interval_ms), handler_(std::move(handler)) {
  std::lock_guard lock(loop_.mutex_);
  loop_.timers_.push_back(this);
  RearmLocked();
}

Timer::~Timer() {
  std::lock_guard lock(loop_.mutex_);
  std::erase(loop_.timers_, this);
}

void Timer::SetEnabled(bool enabled) {
  {
    std::lock_guard lock(loop_.mutex_);
    if (enabled == enabled_) return;
    enabled_ = enabled;
    RearmLocked();
  }
  loop_.wake_.notify_all();
}

void Timer::SetInterval(std::int32_t interval_ms) {
  {
    std::lock_guard lock(loop_.mutex_);
    if (interval_ms == interval_ms_) return;
    interval_ms_ = interval_ms;
    RearmLocked();
  }
  loop_.wake_.notify_all();
}

void Timer::SetOnTimer(Handler handler) {
  {
    std::lock_guard lock(loop_.mutex_);
    handler_ = std::move(handler);
    RearmLocked();
  }
  loop_.wake_.notify_all();
}

void Timer::RearmLocked() {
  armed_ = enabled_ && interval_ms_ > 0 && handler_ != nullptr;
  if (armed_) due_ = EventLoop::Clock::now() + std::chrono::milliseconds(interval_ms_);
}

}  // namespace platform

// The loop on the thread's Windows message queue: posted tasks wake it with a thread message,
// each timer is a SetTimer timer of the loop's thread, and "handle the waiting messages" is
// PeekMessageW until the queue is empty.
#include "platform/event_loop.h"

#include <windows.h>

#include <algorithm>

namespace platform {
namespace {

// A task was posted: the message only wakes the loop, which takes the tasks from its deque.
constexpr UINT kTaskPosted = WM_APP + 1;
// A timer's settings changed on another thread: the loop's thread sets its timers again.
constexpr UINT kTimersChanged = WM_APP + 2;

void MakeQueue() {
  MSG message;
  ::PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
}

}  // namespace

EventLoop::EventLoop() : thread_id_(::GetCurrentThreadId()) { MakeQueue(); }

void EventLoop::Post(Task task) {
  DWORD thread = 0;
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
    thread = thread_id_;
  }
  ::PostThreadMessageW(thread, kTaskPosted, 0, 0);
}

void EventLoop::Quit() {
  DWORD thread = 0;
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
    thread = thread_id_;
  }
  ::PostThreadMessageW(thread, kTaskPosted, 0, 0);
}

// Runs one waiting task, or takes one message from the queue (waiting for it when asked)
// and handles it. False when the quit message was met or, not waiting, nothing was there.
bool EventLoop::DispatchOne(bool wait) {
  std::unique_lock lock(mutex_);
  if (thread_id_ != ::GetCurrentThreadId()) {
    // another thread runs the loop from now on: its queue gets the messages and the timers
    thread_id_ = ::GetCurrentThreadId();
    MakeQueue();
    for (Timer* timer : timers_) timer->native_id_ = 0;
  }
  for (Timer* timer : timers_) {
    const bool current = timer->armed_ ? timer->native_id_ != 0 && timer->native_due_ == timer->due_
                                       : timer->native_id_ == 0;
    if (current) continue;
    if (timer->native_id_ != 0) ::KillTimer(nullptr, timer->native_id_);
    timer->native_id_ = 0;
    if (timer->armed_) {
      timer->native_id_ = ::SetTimer(nullptr, 0, static_cast<UINT>(timer->interval_ms_), nullptr);
      timer->native_due_ = timer->due_;
    }
  }
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
  lock.unlock();

  MSG message{};
  if (wait) {
    if (::GetMessageW(&message, nullptr, 0, 0) <= 0) {
      Quit();
      return false;
    }
  } else if (!::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    return false;
  } else if (message.message == WM_QUIT) {
    Quit();
    return false;
  }

  if (message.hwnd == nullptr && message.message == WM_TIMER) {
    lock.lock();
    const auto found = std::find_if(timers_.begin(), timers_.end(),
                                    [&](const Timer* t) { return t->armed_ && t->native_id_ == message.wParam; });
    if (found == timers_.end()) return true;  // a timer stopped since the message was queued
    Timer* timer = *found;
    Timer::Handler handler = timer->handler_;
    lock.unlock();
    try {
      handler();
    } catch (...) {
      HandleTimerException(timer, std::current_exception());
    }
    return true;
  }
  // The end of the Windows session is the service manager's to announce (a shutdown control);
  // the loop swallows the message rather than letting a default handler end the process.
  if (message.message == WM_ENDSESSION || message.message == WM_QUERYENDSESSION) return true;
  if (message.hwnd != nullptr) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return true;
}

void EventLoop::Run() {
  while (DispatchOne(true)) {
  }
}

void EventLoop::ProcessMessages() {
  while (DispatchOne(false)) {
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
  if (native_id_ != 0) ::KillTimer(nullptr, native_id_);
  std::erase(loop_.timers_, this);
}

void Timer::SetEnabled(bool enabled) {
  std::lock_guard lock(loop_.mutex_);
  if (enabled == enabled_) return;
  enabled_ = enabled;
  RearmLocked();
}

void Timer::SetInterval(std::int32_t interval_ms) {
  std::lock_guard lock(loop_.mutex_);
  if (interval_ms == interval_ms_) return;
  interval_ms_ = interval_ms;
  RearmLocked();
}

void Timer::SetOnTimer(Handler handler) {
  std::lock_guard lock(loop_.mutex_);
  handler_ = std::move(handler);
  RearmLocked();
}

// A new period starts from now: the loop's thread sets the timer again when it next looks,
// which the message below makes it do at once.
void Timer::RearmLocked() {
  armed_ = enabled_ && interval_ms_ > 0 && handler_ != nullptr;
  due_ = EventLoop::Clock::now() + std::chrono::milliseconds(std::max(interval_ms_, 0));
  ::PostThreadMessageW(loop_.thread_id_, kTimersChanged, 0, 0);
}

}  // namespace platform

// The loop on the thread's Windows message queue: posted tasks wake it with a thread message,
// each timer is a SetTimer timer of the loop's thread, and "handle the waiting messages" is
// PeekMessageW until the queue is empty.
#include "platform/event_loop.h"

#include <windows.h>

#include <algorithm>

namespace platform {
namespace {

// A task was posted or a timer changed: the message only wakes the loop, which takes the
// tasks from its deque and sets its thread's timers again.
constexpr UINT kWake = WM_APP + 1;

void MakeQueue() {
  MSG message;
  ::PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
}

}  // namespace

EventLoop::EventLoop() : thread_id_(::GetCurrentThreadId()) { MakeQueue(); }

void EventLoop::Wake() {
  DWORD thread = 0;
  {
    std::lock_guard lock(mutex_);
    thread = thread_id_;
  }
  ::PostThreadMessageW(thread, kWake, 0, 0);
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
  if (RunWaitingTask(lock)) return true;
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

Timer::~Timer() {
  std::lock_guard lock(loop_.mutex_);
  if (native_id_ != 0) ::KillTimer(nullptr, native_id_);
  std::erase(loop_.timers_, this);
}

}  // namespace platform

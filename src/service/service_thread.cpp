#include "service/service_thread.h"

#include <cstdio>
#include <exception>
#include <string>

#include "service/service_base.h"

namespace nuvexa {
namespace {

std::string CurrentMessage() {
  try {
    throw;
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown exception";
  }
}

const char* ActionWord(std::uint32_t code) {
  switch (code) {
    case kControlStop: return "stop";
    case kControlPause: return "pause";
    case kControlContinue: return "continue";
    case kControlInterrogate: return "interrogate";
    case kControlShutdown: return "shutdown";
    default: return nullptr;
  }
}

}  // namespace

TServiceThread::TServiceThread(TService& service) : service_(service) {}

TServiceThread::~TServiceThread() {
  if (thread_.joinable()) {
    PostQuit();
    thread_.join();
  }
}

void TServiceThread::Start() { thread_ = std::thread([this] { Execute(); }); }

void TServiceThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

void TServiceThread::PostControl(std::uint32_t code) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(code);
  }
  posted_.notify_all();
}

void TServiceThread::PostQuit() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
    terminated_ = true;
  }
  posted_.notify_all();
}

bool TServiceThread::Terminated() const {
  std::lock_guard lock(mutex_);
  return terminated_;
}

void TServiceThread::Terminate() {
  std::lock_guard lock(mutex_);
  terminated_ = true;
}

void TServiceThread::Execute() {
  try {
    service_.SetStatus(TCurrentStatus::csStartPending);
  } catch (...) {
    service_.EventLog().LogError("Service failed on start: " + CurrentMessage());
    return;
  }
  try {
    service_.SetStatus(TCurrentStatus::csRunning);
    service_.ServiceExecute(service_);
    ProcessRequests(false);
  } catch (...) {
    service_.EventLog().LogError("Service failed on execute: " + CurrentMessage());
  }
}

std::optional<std::uint32_t> TServiceThread::TakeMessage(bool wait) {
  std::unique_lock lock(mutex_);
  if (wait) posted_.wait(lock, [this] { return quit_ || !queue_.empty(); });
  if (queue_.empty()) return std::nullopt;
  const std::uint32_t code = queue_.front();
  queue_.pop_front();
  return code;
}

void TServiceThread::WaitForNextMessage() {
  std::unique_lock lock(mutex_);
  posted_.wait(lock, [this] { return quit_ || !queue_.empty(); });
}

void TServiceThread::ProcessRequests(bool wait) {
  for (;;) {
    if (wait && Terminated()) break;
    const std::optional<std::uint32_t> code = TakeMessage(wait);
    if (!code) break;
    HandleControl(*code);
  }
}

void TServiceThread::RestoreStatus(TCurrentStatus remembered) {
  try {
    service_.SetStatus(remembered);
  } catch (...) {
    // the status is set before it is reported, so only the report is lost; the failure
    // that the event log gets is the action's
  }
}

void TServiceThread::HandleControl(std::uint32_t code) {
  const TCurrentStatus remembered = service_.Status();
  try {
    switch (code) {
      case kControlStop:
      case kControlShutdown:
        service_.SetStatus(TCurrentStatus::csStopPending);
        Terminate();
        break;
      case kControlPause:
        service_.SetStatus(TCurrentStatus::csPausePending);
        service_.SetStatus(TCurrentStatus::csPaused);
        // suspended until the next control code; the main thread's cycles go on meanwhile
        WaitForNextMessage();
        break;
      case kControlContinue:
        service_.SetStatus(TCurrentStatus::csContinuePending);
        service_.SetStatus(TCurrentStatus::csRunning);
        break;
      case kControlInterrogate:
        service_.ReportStatus();
        break;
      default:
        // custom codes are accepted and do nothing
        break;
    }
  } catch (...) {
    const std::string message = CurrentMessage();
    if (code != kControlShutdown) RestoreStatus(remembered);
    if (const char* word = ActionWord(code)) {
      service_.EventLog().LogError(std::string("Service failed on ") + word + ": " + message);
    } else {
      char text[64];
      std::snprintf(text, sizeof text, "Service failed in custom message(%u): ", code);
      service_.EventLog().LogError(text + message);
    }
  }
}

}  // namespace nuvexa

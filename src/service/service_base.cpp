#include "service/service_base.h"

namespace nuvexa {

TService::TService(std::string name, std::string display_name, StatusReporter& status_reporter,
                   EventLogger& event_logger)
    : name_(std::move(name)),
      display_name_(std::move(display_name)),
      status_reporter_(status_reporter),
      event_logger_(event_logger) {}

TService::~TService() = default;

bool TService::Terminated() const {
  std::lock_guard lock(thread_mutex_);
  return service_thread_ == nullptr || service_thread_->Terminated();
}

void TService::Main(const std::vector<std::string>& args) {
  params_.insert(params_.end(), args.begin(), args.end());
  DoStart();
}

void TService::DoStart() {
  try {
    SetStatus(TCurrentStatus::csStartPending);
    auto thread = std::make_shared<TServiceThread>(*this);
    {
      std::lock_guard lock(thread_mutex_);
      service_thread_ = thread;
    }
    thread->Start();
    thread->WaitFor();
  } catch (const std::exception& e) {
    event_logger_.LogError(std::string("Service failed on execute: ") + e.what());
  }
  {
    std::lock_guard lock(thread_mutex_);
    service_thread_.reset();
  }
  try {
    SetStatus(TCurrentStatus::csStopped);
  } catch (const std::exception& e) {
    event_logger_.LogError(std::string("Service failed on execute: ") + e.what());
  }
}

void TService::Controller(std::uint32_t CtrlCode) {
  std::shared_ptr<TServiceThread> thread;
  {
    std::lock_guard lock(thread_mutex_);
    thread = service_thread_;
  }
  if (thread) thread->PostControl(CtrlCode);
}

void TService::ProcessServiceRequests() {
  std::shared_ptr<TServiceThread> thread;
  {
    std::lock_guard lock(thread_mutex_);
    thread = service_thread_;
  }
  if (thread) thread->ProcessRequests(true);
}

void TService::Stop() { Controller(kControlStop); }

void TService::SetStatus(TCurrentStatus status) {
  status_.store(status);
  status_reporter_.ReportStatus(status);
}

void TService::ReportStatus() { status_reporter_.ReportStatus(status_.load()); }

}  // namespace nuvexa


#include "platform/control_signals.h"

#include <pthread.h>
#include <signal.h>

#include <ctime>

namespace platform {
namespace {

sigset_t ControlSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : {SIGTERM, SIGINT, SIGUSR1, SIGUSR2, SIGHUP, SIGPWR}) sigaddset(&set, s);
  return set;
}

std::uint32_t ControlCodeOf(int signal) {
  switch (signal) {
    case SIGUSR1: return 2;
    case SIGUSR2: return 3;
    case SIGHUP: return 4;
    case SIGPWR: return 5;
    default: return 1;
  }
}

}  // namespace

ControlSignals::ControlSignals(Handler handler) : handler_(std::move(handler)) {
  const sigset_t set = ControlSignalSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  thread_ = std::thread([this] { Watch(); });
}

ControlSignals::~ControlSignals() {
  stop_ = true;
  thread_.join();
}

void ControlSignals::Watch() {
  const sigset_t set = ControlSignalSet();
  // a short wait keeps the thread responsive to the end of the process without a signal of its own
  const timespec poll{0, 100'000'000};
  while (!stop_) {
    const int signal = sigtimedwait(&set, nullptr, &poll);
    if (signal > 0) handler_(ControlCodeOf(signal));
  }
}

void IgnoreBrokenPipes() { ::signal(SIGPIPE, SIG_IGN); }

}  // namespace platform

#include "platform/thread_priority.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {
namespace {

// From the kernel's ioprio interface, which glibc does not wrap.
constexpr int kIoprioWhoProcess = 1;  // with id 0: the calling thread
constexpr int kIoprioClassIdle = 3;
constexpr int kIoprioClassShift = 13;

}  // namespace

void LowerThisThreadToIdle() {
  sched_param none{};
  none.sched_priority = 0;
  if (pthread_setschedparam(pthread_self(), SCHED_IDLE, &none) != 0) {
    // a thread's nice value is its own on Linux
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 19);
  }
  syscall(SYS_ioprio_set, kIoprioWhoProcess, 0, kIoprioClassIdle << kIoprioClassShift);
}

}  // namespace platform

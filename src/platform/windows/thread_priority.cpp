#include "platform/thread_priority.h"

#include <windows.h>

namespace platform {

// THREAD_MODE_BACKGROUND_BEGIN lowers the thread's CPU, I/O and memory priorities together.
void LowerThisThreadToIdle() {
  if (!::SetThreadPriority(::GetCurrentThread(), THREAD_MODE_BACKGROUND_BEGIN))
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_IDLE);
}

}  // namespace platform

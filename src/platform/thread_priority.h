#pragma once

namespace platform {

// Gives the calling thread the machine's lowest CPU and I/O priority (idle scheduling, or
// nice 19 where that is refused; the idle I/O class), so that what it does yields to every
// other program. Best effort: a priority that cannot be lowered stays as it was.
void LowerThisThreadToIdle();

}  // namespace platform

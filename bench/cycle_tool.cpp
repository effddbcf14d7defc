// Runs whole cycles of the service one after the other in one process, as `nuvexa -ONCE`
// runs one (the module as the host makes it, the cycle as the timer runs it, its pause after
// archiving kept), and times each, so that a benchmark can set a due cycle beside a script
// of standard tools and time the cycles that find no backup due. The servers come from the
// environment, as in the service.
//
//   nuvexa_cycle <folder with quorvo.ini> [cycles, default 1]
//
// Prints "cycle <n> due|not-due <seconds>" for each. Exits 1 when a cycle logged anything.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <stdexcept>
#include <string>

#include "platform/event_loop.h"
#include "platform/paths.h"
#include "service/service_status.h"
#include "service/srv_nuvexa.h"

namespace nuvexa {
namespace {

int Run(const std::string& folder, int cycles) {
  platform::EventLoop loop;
  MemoryStatusReporter status;
  MemoryEventLogger event_log;
  TSrvNuvexa module({loop, status, event_log, platform::IncludeTrailingPathDelimiter(folder)});
  module.SetLogEcho([](const std::string& entry) { std::cerr << entry << std::flush; });
  for (int cycle = 1; cycle <= cycles; ++cycle) {
    const platform::TDateTime backup_before = module.DataHoraAtualBackup;
    const auto start = std::chrono::steady_clock::now();
    module.RunCycleNow();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // a due cycle takes its own time as the backup's
    const bool due = module.DataHoraAtualBackup != backup_before;
    std::printf("cycle %d %s %.3f\n", cycle, due ? "due" : "not-due", seconds);
    std::fflush(stdout);
    if (module.LogEntriesWritten() > 0) throw std::runtime_error("cycle " + std::to_string(cycle) + " logged (see above)");
  }
  return 0;
}

}  // namespace
}  // namespace nuvexa

int main(int argc, char** argv) {
  const int cycles = argc == 3 ? std::atoi(argv[2]) : 1;
  if (argc < 2 || argc > 3 || cycles <= 0) {
    std::fprintf(stderr, "usage: nuvexa_cycle <folder with quorvo.ini> [cycles]\n");
    return 2;
  }
  try {
    return nuvexa::Run(argv[1], cycles);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "nuvexa_cycle: %s\n", e.what());
    return 1;
  }
}

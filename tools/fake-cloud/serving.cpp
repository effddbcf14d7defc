#include "serving.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace fake_cloud {

bool ServeUntilStopped(const std::vector<httplib::Server*>& servers, const sigset_t& stop_signals) {
  std::atomic<size_t> serving = servers.size();
  std::atomic<bool> clean = true;
  {
    std::vector<std::jthread> loops;
    for (httplib::Server* server : servers) {
      loops.emplace_back([&serving, &clean, server] {
        if (!server->listen_after_bind()) clean = false;
        --serving;
        // Releases the wait below when this loop ended on its own, so that the others
        // stop too.
        kill(getpid(), SIGTERM);
      });
    }
    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
    // A stop that comes before a loop runs finds nothing to stop, so ask again until
    // every loop has ended.
    while (serving > 0) {
      for (httplib::Server* server : servers) server->stop();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  return clean;
}

}  // namespace fake_cloud

#pragma once

#include <signal.h>

#include <vector>

#include <httplib.h>

namespace fake_cloud {

// Runs the accept loop of every server, bound already, each on a thread of its own,
// until one of the stop signals arrives or a loop ends on its own; then stops them
// all. The signals must be blocked in every thread. True when every loop ended
// cleanly.
bool ServeUntilStopped(const std::vector<httplib::Server*>& servers, const sigset_t& stop_signals);

}  // namespace fake_cloud

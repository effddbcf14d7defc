#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "service/service_base.h"

namespace nuvexa {

// Installs (Install) or removes the registration of each service with the service manager; the
// command registered runs `executable_path`. A failure is written whatever Silent says, the
// success message only without Silent; messages go to `out`, one line each. True when nothing
// failed.
bool RegisterServices(const std::vector<const TService*>& services, bool Install, bool Silent,
                      const std::string& executable_path, std::ostream& out);

}  // namespace nuvexa

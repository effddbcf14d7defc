#pragma once

#include <string_view>

namespace platform {

// The system's event log (syslog on POSIX): one error entry under the given source name.
void ReportEventLogError(std::string_view source, std::string_view text);

}  // namespace platform

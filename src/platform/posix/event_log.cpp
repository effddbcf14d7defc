#include "platform/event_log.h"

#include <syslog.h>

#include <string>

namespace platform {

void ReportEventLogError(std::string_view source, std::string_view text) {
  // openlog keeps the pointer, so the ident must outlive the call
  static thread_local std::string ident;
  ident.assign(source);
  const std::string message(text);
  openlog(ident.c_str(), LOG_PID, LOG_DAEMON);
  syslog(LOG_ERR, "%s", message.c_str());
  closelog();
}

}  // namespace platform

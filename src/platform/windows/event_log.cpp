#include "platform/event_log.h"

#include <memory>
#include <string>

#include "platform/windows/wide.h"

namespace platform {
namespace {

struct EventSourceCloser {
  void operator()(HANDLE source) const { ::DeregisterEventSource(source); }
};

}  // namespace

void ReportEventLogError(std::string_view source, std::string_view text) {
  const std::unique_ptr<void, EventSourceCloser> log(::RegisterEventSourceW(nullptr, windows::Widen(source).c_str()));
  // as with syslog, a log that cannot be written loses the entry and nothing more: this is the
  // last place a failure is reported
  if (!log) return;
  const std::wstring message = windows::Widen(text);
  const wchar_t* strings[] = {message.c_str()};
  ::ReportEventW(log.get(), EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr);
}

}  // namespace platform

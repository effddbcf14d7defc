#include "platform/service_manager.h"

#include "platform/os_primitives.h"

namespace platform {
namespace {

// "System Error.  Code: %d.\r\n%s%s": the Windows run-time's frame, with an empty suffix
std::string FormatOSErrorMessage(int code) {
  const std::string suffix;
  return "System Error.  Code: " + std::to_string(code) + ".\r\n" + SystemErrorMessage(code) + suffix;
}

}  // namespace

std::string SystemErrorMessage(int code) {
  // these reach the operator through INSTALL, UNINSTALL and a start by hand: the same words
  // whatever the system and its language
  switch (code) {
    case kErrorServiceDoesNotExist: return "The specified service does not exist as an installed service.";
    case kErrorFailedServiceControllerConnect: return "The service process could not connect to the service controller.";
    case kErrorServiceExists: return "The specified service already exists.";
    default: return os::ErrorCodeText(code);
  }
}

OSError::OSError(int code) : std::runtime_error(FormatOSErrorMessage(code)), code_(code) {}

}  // namespace platform

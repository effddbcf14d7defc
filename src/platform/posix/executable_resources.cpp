#include "platform/executable_resources.h"

#include <cstdint>

#include "platform/code_page.h"
#include "platform/posix/embedded_payloads.h"

namespace platform {

std::optional<std::string_view> FindExecutableResource(std::string_view name) {
  for (const embedded::Payload& payload : embedded::Payloads()) {
    if (!EqualsNoCase(payload.name, name)) continue;
    // begin and end are two symbols of the assembler, not one C++ array: subtract addresses
    const auto size = reinterpret_cast<std::uintptr_t>(payload.end) - reinterpret_cast<std::uintptr_t>(payload.begin);
    return std::string_view(reinterpret_cast<const char*>(payload.begin), size);
  }
  return std::nullopt;
}

}  // namespace platform

#include "central/machine_address.h"

#include <charconv>

#include "platform/code_page.h"

namespace nuvexa::central {

bool IsDottedIPv4(std::string_view text) {
  int parts = 0;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t dot = std::min(text.find('.', start), text.size());
    const std::string_view part = text.substr(start, dot - start);
    unsigned value = 0;
    const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
    if (part.empty() || part.size() > 3 || error != std::errc() || end != part.data() + part.size() || value > 255) {
      return false;
    }
    ++parts;
    start = dot + 1;
  }
  return parts == 4;
}

bool IsLoopbackIPv4(std::string_view dotted) { return dotted.starts_with("127."); }

std::string MachineAddress(const std::string& name,
                           const std::function<std::vector<std::string>(const std::string&)>& resolve,
                           const std::function<std::vector<std::string>()>& interfaces) {
  if (platform::EqualsNoCase(name, "LOCALHOST")) return "127.0.0.1";
  if (IsDottedIPv4(name)) return name;
  for (const std::string& address : resolve(name)) {
    if (!address.empty() && !IsLoopbackIPv4(address)) return address;
  }
  for (const std::string& address : interfaces()) {
    if (!address.empty() && !IsLoopbackIPv4(address)) return address;
  }
  return "";
}

}  // namespace nuvexa::central

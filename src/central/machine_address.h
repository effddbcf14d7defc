#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace nuvexa::central {

// Whether the text is an IPv4 address in dotted decimal ("192.168.0.10").
bool IsDottedIPv4(std::string_view text);

// Whether the dotted address lies in 127.0.0.0/8.
bool IsLoopbackIPv4(std::string_view dotted);

// The machine's IPv4 address for the inventory, from its name: "LOCALHOST" in any case is
// 127.0.0.1 and a dotted address is itself; otherwise the first address the name resolves
// to that is not loopback (Debian maps the host name to 127.0.1.1), else the first address
// of an interface that is up and not loopback, else empty.
std::string MachineAddress(const std::string& name,
                           const std::function<std::vector<std::string>(const std::string&)>& resolve,
                           const std::function<std::vector<std::string>()>& interfaces);

}  // namespace nuvexa::central

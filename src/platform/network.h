#pragma once

#include <string>
#include <vector>

namespace platform {

// The machine's name; empty when the system does not give it.
std::string ComputerName();

// The IPv4 addresses (dotted decimal) that the name resolves to, in the resolver's order;
// none when it does not resolve.
std::vector<std::string> ResolveIPv4(const std::string& name);

// The IPv4 addresses of the interfaces that are up and are not loopback, in the system's
// order.
std::vector<std::string> InterfaceIPv4Addresses();

}  // namespace platform

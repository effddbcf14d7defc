#include "platform/network.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <memory>

#include "platform/windows/wide.h"

namespace platform {
namespace {

std::string Dotted(const sockaddr* address) {
  char text[INET_ADDRSTRLEN] = {};
  const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(address);
  if (::inet_ntop(AF_INET, &ipv4->sin_addr, text, sizeof text) == nullptr) return "";
  return text;
}

// Winsock must be started in every process that resolves names.
bool WinsockStarted() {
  static const bool started = [] {
    WSADATA data{};
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

}  // namespace

std::string ComputerName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (!::GetComputerNameW(name, &size)) return "";
  return windows::Narrow(std::wstring_view(name, size));
}

std::vector<std::string> ResolveIPv4(const std::string& name) {
  if (name.empty() || !WinsockStarted()) return {};
  ADDRINFOW hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  ADDRINFOW* found = nullptr;
  if (::GetAddrInfoW(windows::Widen(name).c_str(), nullptr, &hints, &found) != 0) return {};
  const std::unique_ptr<ADDRINFOW, decltype(&::FreeAddrInfoW)> owner(found, &::FreeAddrInfoW);
  std::vector<std::string> addresses;
  for (const ADDRINFOW* entry = found; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family == AF_INET && entry->ai_addr != nullptr) addresses.push_back(Dotted(entry->ai_addr));
  }
  return addresses;
}

std::vector<std::string> InterfaceIPv4Addresses() {
  ULONG size = 16 * 1024;
  std::unique_ptr<char[]> buffer;
  ULONG result = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer = std::make_unique<char[]>(size);
    result = ::GetAdaptersAddresses(AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
                                    nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.get()), &size);
  }
  if (result != NO_ERROR) return {};
  std::vector<std::string> addresses;
  for (auto* adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.get()); adapter != nullptr;
       adapter = adapter->Next) {
    if (adapter->OperStatus != IfOperStatusUp || adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK) continue;
    for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr; unicast = unicast->Next) {
      if (unicast->Address.lpSockaddr != nullptr && unicast->Address.lpSockaddr->sa_family == AF_INET)
        addresses.push_back(Dotted(unicast->Address.lpSockaddr));
    }
  }
  return addresses;
}

}  // namespace platform

#include "connection_drop.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <charconv>
#include <filesystem>
#include <string>

namespace fake_cloud {
namespace {

int PortOf(const sockaddr_storage& address) {
  if (address.ss_family != AF_INET) return -1;
  return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
}

bool IsConnection(int fd, int local_port, int remote_port) {
  sockaddr_storage local{}, remote{};
  socklen_t local_size = sizeof local, remote_size = sizeof remote;
  return getsockname(fd, reinterpret_cast<sockaddr*>(&local), &local_size) == 0 &&
         getpeername(fd, reinterpret_cast<sockaddr*>(&remote), &remote_size) == 0 &&
         PortOf(local) == local_port && PortOf(remote) == remote_port;
}

}  // namespace

// The HTTP library hands handlers no socket, so the connection is found among the
// process's descriptors by its two ports. Shutting it down (not closing it) leaves
// the descriptor to the library, which fails to write the response and closes it.
void DropConnection(const httplib::Request& request) {
  std::error_code error;
  for (const auto& item : std::filesystem::directory_iterator("/proc/self/fd", error)) {
    const std::string name = item.path().filename().string();
    int fd = -1;
    if (std::from_chars(name.data(), name.data() + name.size(), fd).ec != std::errc()) continue;
    if (IsConnection(fd, request.local_port, request.remote_port)) {
      shutdown(fd, SHUT_RDWR);
      return;
    }
  }
}

}  // namespace fake_cloud

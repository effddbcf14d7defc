#include "support/firebird_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace nuvexa::test {

bool FirebirdAnswers() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(kFirebirdPort);
  ::inet_pton(AF_INET, kFirebirdHost, &address.sin_addr);
  const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return connected;
}

bool RunningInCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && *ci != '\0';
}

}  // namespace nuvexa::test

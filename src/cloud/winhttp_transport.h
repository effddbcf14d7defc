#pragma once

#include <string>

#include "cloud/http_transport.h"

namespace nuvexa::cloud {

// HTTPS on WinHTTP: a new session and a new connection for every request, HTTP/1.1,
// TLS 1.2 only, the server's certificate and host name verified.
class WinHttpTransport : public HttpTransport {
 public:
  // `ca_file`: a PEM file whose certificates are the only roots that verify servers; empty
  // for the system's store.
  explicit WinHttpTransport(std::string ca_file);
  // The CA file from $NUVEXA_CA_FILE, else the system's store.
  WinHttpTransport();

  HttpResponse Send(const HttpRequest& request) override;

 private:
  std::string ca_file_;
};

}  // namespace nuvexa::cloud

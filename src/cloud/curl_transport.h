#pragma once

#include <string>

#include "cloud/http_transport.h"

namespace nuvexa::cloud {

// HTTPS on libcurl: a new handle and a new connection for every request, HTTP/1.1,
// TLS 1.2 only, the server's certificate and host name verified.
class CurlTransport : public HttpTransport {
 public:
  // `ca_file`: the CA bundle that verifies servers; empty for the system's store.
  explicit CurlTransport(std::string ca_file);
  // The CA bundle from $NUVEXA_CA_FILE, else the system's store.
  CurlTransport();

  HttpResponse Send(const HttpRequest& request) override;

 private:
  std::string ca_file_;
};

}  // namespace nuvexa::cloud

#pragma once

#include <memory>

#include "cloud/http_transport.h"

namespace nuvexa::cloud {

// The platform's HTTPS client (libcurl on Linux, WinHTTP on Windows), its servers verified
// against $NUVEXA_CA_FILE when set, else against the system's store.
std::unique_ptr<HttpTransport> SystemHttpTransport();

}  // namespace nuvexa::cloud

#pragma once

#include <httplib.h>

namespace fake_cloud {

// Shuts the request's connection down so that the client gets no response at all.
void DropConnection(const httplib::Request& request);

}  // namespace fake_cloud

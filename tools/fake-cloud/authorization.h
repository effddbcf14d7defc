#pragma once

#include <string>

#include <httplib.h>

namespace fake_cloud {

// Checks the request's "Authorization: Bearer <token>" as the service does: a header
// that is missing or not of that form is bad input (BadInput, 400 with text); a
// well-formed header with any other token is refused as an invalid access token
// (ApiError, 401).
void CheckAuthorization(const httplib::Request& request, const std::string& token);

}  // namespace fake_cloud

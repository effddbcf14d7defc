#pragma once

#include <functional>
#include <string_view>

#include <httplib.h>

#include "tokens.h"

namespace fake_cloud {

// Checks the request's "Authorization: Bearer <token>" as the service does: a header
// that is missing or not of that form is bad input (BadInput, 400 with text); a
// well-formed header with a token that is not valid is refused (ApiError, 401) as an
// expired or an invalid access token, as state_of tells.
void CheckAuthorization(const httplib::Request& request,
                        const std::function<TokenState(std::string_view token)>& state_of);

}  // namespace fake_cloud

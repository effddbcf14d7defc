#pragma once

#include <iosfwd>

namespace nuvexa {

// nuvexa -AUTHORIZE: prints the address where the person lets the service reach the cloud
// account, reads the code the site then shows, exchanges it for a refresh token and writes
// that into the service's environment file ($NUVEXA_ENV_FILE, else /etc/default/nuvexa), mode
// 0600, its other lines kept. The token is never printed. 0 when the file holds the new
// token, 1 otherwise (the file then stays as it was).
int RunAuthorize(std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace nuvexa

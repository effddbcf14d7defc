#include "cloud/cloud_settings.h"

#include <cstdlib>

namespace nuvexa::cloud {
namespace {

std::string FromEnvironment(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : fallback;
}

std::string WithoutTrailingSlash(std::string url) {
  while (!url.empty() && url.back() == '/') url.pop_back();
  return url;
}

}  // namespace

CloudHosts CloudHostsFromEnvironment() {
  return {WithoutTrailingSlash(FromEnvironment("NUVEXA_CLOUD_API_URL", "https://api.dropboxapi.com")),
          WithoutTrailingSlash(FromEnvironment("NUVEXA_CLOUD_CONTENT_URL", "https://content.dropboxapi.com"))};
}

TDTDropBoxCredentials DTDropBoxCredentials() {
  return {FromEnvironment("NUVEXA_CLOUD_APP_KEY", "pwv4rnh2tb7ekmy"),
          FromEnvironment("NUVEXA_CLOUD_APP_SECRET", "hy3otw8s5bdr1ne"),
          FromEnvironment("NUVEXA_CLOUD_TOKEN", "Kq7Wm2ZpXv9TsB4hNc8LdR3fGy6JuE1kVa5MtH0bQo2PwS7nYe4CiF9gUx3DlO6r"),
          FromEnvironment("NUVEXA_CLOUD_REFRESH_TOKEN", "")};
}

}  // namespace nuvexa::cloud

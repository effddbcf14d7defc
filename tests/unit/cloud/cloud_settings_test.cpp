#include "cloud/cloud_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace nuvexa::cloud {
namespace {

void SetVariable(const char* name, const char* value) {
#ifdef _WIN32
  ::_putenv_s(name, value);
#else
  ::setenv(name, value, 1);
#endif
}

// Windows has no unset: an empty value removes the variable.
void RemoveVariable(const char* name) {
#ifdef _WIN32
  ::_putenv_s(name, "");
#else
  ::unsetenv(name);
#endif
}

TEST(CloudSettings, HostsAndTokenComeFromTheEnvironmentWhenSet) {
  RemoveVariable("NUVEXA_CLOUD_API_URL");
  RemoveVariable("NUVEXA_CLOUD_CONTENT_URL");
  RemoveVariable("NUVEXA_CLOUD_TOKEN");
  const CloudHosts defaults = CloudHostsFromEnvironment();
  EXPECT_EQ(defaults.api, "https://api.dropboxapi.com");
  EXPECT_EQ(defaults.content, "https://content.dropboxapi.com");
  const TDTDropBoxCredentials built_in = DTDropBoxCredentials();
  EXPECT_EQ(built_in.AccessToken.size(), 64u);
  EXPECT_EQ(built_in.ClientID.size(), 15u);
  EXPECT_EQ(built_in.ClientSecret.size(), 15u);

  SetVariable("NUVEXA_CLOUD_API_URL", "https://127.0.0.1:8443/");
  SetVariable("NUVEXA_CLOUD_CONTENT_URL", "https://127.0.0.1:8444");
  SetVariable("NUVEXA_CLOUD_TOKEN", "test-token");
  const CloudHosts local = CloudHostsFromEnvironment();
  EXPECT_EQ(local.api, "https://127.0.0.1:8443") << "a trailing slash would double the one of every path";
  EXPECT_EQ(local.content, "https://127.0.0.1:8444");
  EXPECT_EQ(DTDropBoxCredentials().AccessToken, "test-token");
  RemoveVariable("NUVEXA_CLOUD_API_URL");
  RemoveVariable("NUVEXA_CLOUD_CONTENT_URL");
  RemoveVariable("NUVEXA_CLOUD_TOKEN");
}

}  // namespace
}  // namespace nuvexa::cloud

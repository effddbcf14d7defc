#include "support/service_environment.h"

#include <cstdlib>

namespace nuvexa::test {
namespace {

void SetVariable(const std::string& name, const std::string& value) {
#ifdef _WIN32
  ::_putenv_s(name.c_str(), value.c_str());
#else
  ::setenv(name.c_str(), value.c_str(), 1);
#endif
}

void RemoveVariable(const std::string& name) {
#ifdef _WIN32
  ::_putenv_s(name.c_str(), "");
#else
  ::unsetenv(name.c_str());
#endif
}

}  // namespace

ScopedEnvironment::~ScopedEnvironment() {
  for (const auto& [name, value] : saved_) {
    if (value) {
      SetVariable(name, *value);
    } else {
      RemoveVariable(name);
    }
  }
}

void ScopedEnvironment::Set(const std::string& name, const std::string& value) {
  if (!saved_.contains(name)) {
    const char* before = std::getenv(name.c_str());
    saved_[name] = before != nullptr ? std::optional<std::string>(before) : std::nullopt;
  }
  SetVariable(name, value);
}

void ScopedEnvironment::PointCentralAt(const FirebirdDatabase& central) {
  Set("NUVEXA_CENTRAL_SERVER", kFirebirdHost);
  Set("NUVEXA_CENTRAL_DATABASE", central.Path());
  Set("NUVEXA_CENTRAL_PASSWORD", kSysdbaPassword);
}

void ScopedEnvironment::PointCentralNowhere() {
  // port 1 of loopback: refused at once
  Set("NUVEXA_CENTRAL_SERVER", std::string(kFirebirdHost) + "/1");
  Set("NUVEXA_CENTRAL_DATABASE", "/nowhere/CENTRAL.FDB");
  Set("NUVEXA_CENTRAL_PASSWORD", kSysdbaPassword);
}

void ScopedEnvironment::PointCloudAt(const FakeCloudServer& cloud, const std::string& ca_file) {
  Set("NUVEXA_CLOUD_API_URL", "https://127.0.0.1:" + std::to_string(cloud.port()));
  Set("NUVEXA_CLOUD_CONTENT_URL", "https://127.0.0.1:" + std::to_string(cloud.content_port()));
  Set("NUVEXA_CLOUD_TOKEN", "test-token");
  Set("NUVEXA_CA_FILE", ca_file);
}

}  // namespace nuvexa::test

#pragma once

#include <map>
#include <optional>
#include <string>

#include "support/fake_cloud_server.h"
#include "support/firebird_database.h"

namespace nuvexa::test {

// Sets environment variables for as long as the object lives and puts back what was
// there, so the module (and any executable started meanwhile) takes the test's servers.
class ScopedEnvironment {
 public:
  ScopedEnvironment() = default;
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  void Set(const std::string& name, const std::string& value);

  // The central database on the local server, reached as the service reaches its own.
  void PointCentralAt(const FirebirdDatabase& central);
  // A central server that refuses every connection.
  void PointCentralNowhere();
  // The fake cloud's two hosts over HTTPS, its token, and the CA that signed its certificate.
  void PointCloudAt(const FakeCloudServer& cloud, const std::string& ca_file);

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

}  // namespace nuvexa::test

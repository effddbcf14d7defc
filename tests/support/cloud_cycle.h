#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/event_loop.h"
#include "service/srv_nuvexa.h"
#include "support/fake_cloud_server.h"
#include "support/firebird_database.h"
#include "support/installation.h"
#include "support/service_environment.h"

namespace nuvexa::test {

// Whole cycles in process against the real servers: the pharmacy's two databases and a
// central database on the local Firebird server, and the fake cloud over HTTPS on two
// loopback ports that stay the same when the cloud is stopped and started again, so that
// one module meets a cloud that goes away and comes back.
class CloudCycleTest : public ::testing::Test {
 public:  // open to the tables of cases that the tests run
  static constexpr const char* kCompanyFolder = "12345678000195";  // PADRAO.CGC of the sample database

  void SetUp() override;

  // Starts the fake cloud on the fixture's ports with these arguments besides them; the
  // default serves HTTPS with a certificate of the test CA for 127.0.0.1.
  void StartCloud(std::vector<std::string> arguments = {});
  void StopCloud() { cloud_.reset(); }
  // A new module, as a new process would make, reading the environment again.
  void NewModule();
  // Arms a failure rule of the fake cloud (see its README).
  void Arm(const nlohmann::json& rule) const;
  // Posts to one of the fake cloud's admin endpoints ("revoke", "auth_code"...) and returns its
  // answer; GETs when `body` is null.
  nlohmann::json Admin(const std::string& endpoint, const nlohmann::json& body = nullptr) const;

  // NUVEXAULTIMOBACKUP to the second, as isql prints it; "<null>" when never recorded.
  std::string LastBackup() const;
  // What the last cycle recorded, or would have.
  std::string ThisCycle() const;
  // The archive of the last cycle's backup, in the installation's folder.
  std::string LocalArchive() const;
  std::filesystem::path CloudFolder() const { return std::filesystem::path(cloud_root_.Path()) / kCompanyFolder; }
  // Where the last cycle's archive goes in the cloud.
  std::filesystem::path Uploaded() const { return CloudFolder() / std::filesystem::path(LocalArchive()).filename(); }
  // The bytes of Nuvexa.log; empty when there is none.
  std::string Log() const;
  // The archive a cycle before the tests stored, locally and in the cloud: what must stay.
  void KeepEarlierArchives();
  void ExpectEarlierArchivesKept() const;
  // The next cycle, with the fault gone, logs nothing more, records and uploads, and keeps
  // the earlier archives.
  void ExpectTheNextCycleRecovers();

  TestCertificates certificates_;
  Installation installation_;
  ScopedEnvironment environment_;
  std::unique_ptr<FirebirdDatabase> pharmacy_;
  std::unique_ptr<FirebirdDatabase> central_;
  std::unique_ptr<FakeCloudServer> cloud_;
  int api_port_ = 0;
  int content_port_ = 0;
  platform::EventLoop loop_;
  MemoryStatusReporter status_;
  MemoryEventLogger event_log_;
  std::unique_ptr<TSrvNuvexa> module_;

 private:
  TempFolder cloud_root_;  // outlives the cloud's restarts
};

}  // namespace nuvexa::test

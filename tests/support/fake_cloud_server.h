#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/temp_folder.h"

namespace nuvexa::test {

// nuvexa-fake-cloud as a child process on a free port of 127.0.0.1, with its root
// and its request log in a folder of its own. One port serves every endpoint, unless
// the extra arguments hold "--content-port" (as "--content-port", "0"): then port()
// is the API host and content_port() the content host.
class FakeCloudServer {
 public:
  explicit FakeCloudServer(const std::vector<std::string>& extra_arguments = {});
  ~FakeCloudServer();
  FakeCloudServer(const FakeCloudServer&) = delete;
  FakeCloudServer& operator=(const FakeCloudServer&) = delete;

  int port() const { return port_; }
  // The content host's port; port() when one port serves everything.
  int content_port() const { return content_port_; }
  // The folder that holds the cloud's files.
  std::filesystem::path root() const { return folder_.Path() + "root"; }
  // The request log file, one JSON object a line.
  std::vector<nlohmann::json> LogLines() const;
  // Sends SIGTERM and returns the exit status, or -1 when the server did not exit.
  int Stop();

 private:
  TempFolder folder_;
  pid_t pid_ = -1;
  int port_ = 0;
  int content_port_ = 0;
};

// A certificate authority made with openssl for one test, the certificate it signs for
// 127.0.0.1 with its key, and a second authority; besides, the two certificates a client
// must refuse: one for 127.0.0.1 from the second authority, and one from the first for
// another host name.
class TestCertificates {
 public:
  TestCertificates();

  std::string CaFile() const { return folder_.Path() + "ca.pem"; }
  std::string OtherCaFile() const { return folder_.Path() + "other-ca.pem"; }
  std::string ServerCertificate() const { return folder_.Path() + "server.pem"; }
  std::string ServerKey() const { return folder_.Path() + "server.key"; }
  // The options that make nuvexa-fake-cloud serve HTTPS with this certificate.
  std::vector<std::string> ServerArguments() const;
  // HTTPS with the certificate of an authority the client does not know.
  std::vector<std::string> UnknownCaServerArguments() const;
  // HTTPS with a certificate of the test CA made out to another host than 127.0.0.1.
  std::vector<std::string> OtherHostServerArguments() const;

 private:
  TempFolder folder_;
};

}  // namespace nuvexa::test

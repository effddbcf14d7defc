#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace nuvexa::testing {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TemporaryFolder {
 public:
  TemporaryFolder();
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// nuvexa-fake-cloud as a child process on a free port of 127.0.0.1, with its root
// and its request log in a folder of its own.
class FakeCloudServer {
 public:
  explicit FakeCloudServer(const std::vector<std::string>& extra_arguments = {});
  ~FakeCloudServer();
  FakeCloudServer(const FakeCloudServer&) = delete;
  FakeCloudServer& operator=(const FakeCloudServer&) = delete;

  int port() const { return port_; }
  std::filesystem::path root() const { return folder_.path() / "root"; }
  // The request log file, one JSON object a line.
  std::vector<nlohmann::json> LogLines() const;
  // Sends SIGTERM and returns the exit status, or -1 when the server did not exit.
  int Stop();

 private:
  TemporaryFolder folder_;
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace nuvexa::testing

#include "support/fake_cloud_server.h"

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace nuvexa::test {
namespace {

// Reads one line of the child's output, waiting at most 10 s for each character.
std::string ReadLine(int fd) {
  std::string line;
  char c = 0;
  while (line.size() < 200) {
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, 10000) != 1 || read(fd, &c, 1) != 1 || c == '\n') break;
    line += c;
  }
  return line;
}

// The port at the end of a startup line such as "listening on <port>", or 0 when the
// line does not begin as expected.
int PortAfter(const std::string& line, const std::string& start) {
  if (!line.starts_with(start)) return 0;
  try {
    return std::stoi(line.substr(start.size()));
  } catch (const std::exception&) {
    return 0;
  }
}

bool HasOption(const std::vector<std::string>& arguments, const std::string& option) {
  return std::find(arguments.begin(), arguments.end(), option) != arguments.end();
}

}  // namespace

FakeCloudServer::FakeCloudServer(const std::vector<std::string>& extra_arguments) {
  // A server that hangs up in the middle of a request must fail the test, not end it.
  signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> arguments = {NUVEXA_FAKE_CLOUD_EXECUTABLE, "--root", root().string(), "--port", "0",
                                        "--log", folder_.Path() + "requests.jsonl"};
  arguments.insert(arguments.end(), extra_arguments.begin(), extra_arguments.end());
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  int out[2];
  if (pipe(out) != 0) throw std::runtime_error("pipe failed");
  pid_ = fork();
  if (pid_ == 0) {
    // A test that crashes must not leave its server running.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  // The server prints "listening on <port>" and, playing two hosts, then
  // "content listening on <port>".
  std::string said = ReadLine(out[0]);
  port_ = PortAfter(said, "listening on ");
  content_port_ = port_;
  if (port_ > 0 && HasOption(extra_arguments, "--content-port")) {
    const std::string second = ReadLine(out[0]);
    said += " / " + second;
    content_port_ = PortAfter(second, "content listening on ");
  }
  close(out[0]);
  if (pid_ < 0 || port_ <= 0 || content_port_ <= 0) {
    Stop();
    throw std::runtime_error("the fake cloud did not start: \"" + said + "\"");
  }
}

FakeCloudServer::~FakeCloudServer() { Stop(); }

int FakeCloudServer::Stop() {
  if (pid_ <= 0) return -1;
  const pid_t pid = pid_;
  pid_ = -1;
  kill(pid, SIGTERM);
  int status = 0;
  for (int waited = 0; waited < 1000; ++waited) {  // 10 s
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    usleep(10000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

std::vector<nlohmann::json> FakeCloudServer::LogLines() const {
  std::vector<nlohmann::json> lines;
  std::ifstream in(folder_.Path() + "requests.jsonl");
  for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
  return lines;
}

TestCertificates::TestCertificates() {
  folder_.WriteFile("ext.cnf", "subjectAltName=IP:127.0.0.1\n");
  folder_.WriteFile("other-host.cnf", "subjectAltName=DNS:backup.example.net\n");
  // EC keys: as good as RSA for the handshake, and quick to make for every test.
  const std::string key = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
  const std::string make =
      "cd '" + folder_.Path() + "'" +
      " && openssl req -x509" + key + " -keyout ca.key -out ca.pem -days 1 -subj /CN=Nuvexa-Test-CA" +
      " && openssl req -x509" + key + " -keyout other-ca.key -out other-ca.pem -days 1 -subj /CN=Other-CA" +
      " && openssl req" + key + " -keyout server.key -out server.csr -subj /CN=127.0.0.1" +
      " && openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 1" +
      " -extfile ext.cnf -out server.pem" +
      " && openssl x509 -req -in server.csr -CA other-ca.pem -CAkey other-ca.key -CAcreateserial -days 1" +
      " -extfile ext.cnf -out unknown-ca.pem" +
      " && openssl req" + key + " -keyout other-host.key -out other-host.csr -subj /CN=backup.example.net" +
      " && openssl x509 -req -in other-host.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 1" +
      " -extfile other-host.cnf -out other-host.pem";
  if (std::system(("(" + make + ") > /dev/null 2>&1").c_str()) != 0)
    throw std::runtime_error("openssl could not make the test certificates");
}

std::vector<std::string> TestCertificates::ServerArguments() const {
  return {"--cert", ServerCertificate(), "--key", ServerKey()};
}

std::vector<std::string> TestCertificates::UnknownCaServerArguments() const {
  return {"--cert", folder_.Path() + "unknown-ca.pem", "--key", ServerKey()};
}

std::vector<std::string> TestCertificates::OtherHostServerArguments() const {
  return {"--cert", folder_.Path() + "other-host.pem", "--key", folder_.Path() + "other-host.key"};
}

}  // namespace nuvexa::test

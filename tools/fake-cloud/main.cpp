// nuvexa-fake-cloud: a stand-in for the storage service on 127.0.0.1, for tests and
// the demo. See README.md.
#include <pthread.h>
#include <signal.h>

#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <httplib.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include "fake_cloud.h"
#include "options.h"
#include "serving.h"

namespace {

using fake_cloud::HostRole;
using fake_cloud::Options;

std::unique_ptr<httplib::Server> MakeServer(const Options& options) {
  std::unique_ptr<httplib::Server> server;
  if (!options.cert) {
    server = std::make_unique<httplib::Server>();
  } else {
    server = std::make_unique<httplib::SSLServer>([&options](SSL_CTX& context) {
      SSL_CTX_set_options(&context, SSL_OP_NO_COMPRESSION);
      // Without this the server takes what OpenSSL allows: TLS 1.2 and 1.3.
      if (options.tls13_only && SSL_CTX_set_min_proto_version(&context, TLS1_3_VERSION) != 1) return false;
      return SSL_CTX_use_certificate_chain_file(&context, options.cert->c_str()) == 1 &&
             SSL_CTX_use_PrivateKey_file(&context, options.key->c_str(), SSL_FILETYPE_PEM) == 1 &&
             SSL_CTX_check_private_key(&context) == 1;
    });
  }
  if (!server->is_valid()) {
    throw std::runtime_error(std::string("cannot use the certificate or key: ") +
                             ERR_error_string(ERR_get_error(), nullptr));
  }
  server->set_read_timeout(30);
  server->set_write_timeout(30);
  // An idle kept-alive connection holds up a stop for this long.
  server->set_keep_alive_timeout(2);
  return server;
}

// A server bound to 127.0.0.1, playing one host or both.
struct Listener {
  std::unique_ptr<httplib::Server> server;
  int port = 0;
};

Listener Listen(const Options& options, fake_cloud::FakeCloud& cloud, HostRole host, int port) {
  Listener listener{MakeServer(options)};
  cloud.Register(*listener.server, host);
  listener.port = port == 0 ? listener.server->bind_to_any_port("127.0.0.1")
                            : (listener.server->bind_to_port("127.0.0.1", port) ? port : -1);
  if (listener.port <= 0) throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port));
  return listener;
}

sigset_t StopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  return signals;
}

int Run(const Options& options) {
  // Blocked before any thread starts, so that only the waiting thread takes them.
  const sigset_t stop_signals = StopSignals();
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  // A client that hangs up mid-response must not end the server.
  signal(SIGPIPE, SIG_IGN);

  fake_cloud::FakeCloud cloud(options);
  std::vector<Listener> listeners;
  if (!options.content_port) {
    listeners.push_back(Listen(options, cloud, HostRole::kBoth, options.port));
  } else {
    listeners.push_back(Listen(options, cloud, HostRole::kApi, options.port));
    listeners.push_back(Listen(options, cloud, HostRole::kContent, *options.content_port));
  }

  std::cout << "listening on " << listeners[0].port << '\n';
  if (listeners.size() > 1) std::cout << "content listening on " << listeners[1].port << '\n';
  std::cout.flush();

  std::vector<httplib::Server*> servers;
  for (const auto& listener : listeners) servers.push_back(listener.server.get());
  return fake_cloud::ServeUntilStopped(servers, stop_signals) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  try {
    options = fake_cloud::ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const fake_cloud::UsageError& e) {
    std::cerr << "nuvexa-fake-cloud: " << e.what() << '\n' << fake_cloud::kUsage;
    return 2;
  }
  try {
    return Run(options);
  } catch (const std::exception& e) {
    std::cerr << "nuvexa-fake-cloud: " << e.what() << '\n';
    return 1;
  }
}

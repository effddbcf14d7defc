// nuvexa-fake-cloud: a stand-in for the storage service on 127.0.0.1, for tests and
// the demo. See README.md.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <memory>
#include <thread>

#include <httplib.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include "fake_cloud.h"
#include "options.h"

namespace {

using fake_cloud::Options;

std::unique_ptr<httplib::Server> MakeServer(const Options& options) {
  if (!options.cert) return std::make_unique<httplib::Server>();
  return std::make_unique<httplib::SSLServer>([&options](SSL_CTX& context) {
    SSL_CTX_set_options(&context, SSL_OP_NO_COMPRESSION);
    // Without this the server takes what OpenSSL allows: TLS 1.2 and 1.3.
    if (options.tls13_only && SSL_CTX_set_min_proto_version(&context, TLS1_3_VERSION) != 1) return false;
    return SSL_CTX_use_certificate_chain_file(&context, options.cert->c_str()) == 1 &&
           SSL_CTX_use_PrivateKey_file(&context, options.key->c_str(), SSL_FILETYPE_PEM) == 1 &&
           SSL_CTX_check_private_key(&context) == 1;
  });
}

sigset_t StopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  return signals;
}

int Run(const Options& options) {
  // Blocked before any thread starts, so that only the waiting thread below takes them.
  const sigset_t stop_signals = StopSignals();
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  // A client that hangs up mid-response must not end the server.
  signal(SIGPIPE, SIG_IGN);

  fake_cloud::FakeCloud cloud(options);
  const auto server = MakeServer(options);
  if (!server->is_valid()) {
    std::cerr << "nuvexa-fake-cloud: cannot use the certificate or key: "
              << ERR_error_string(ERR_get_error(), nullptr) << '\n';
    return 1;
  }
  server->set_read_timeout(30);
  server->set_write_timeout(30);
  // An idle kept-alive connection holds up a stop for this long.
  server->set_keep_alive_timeout(2);
  cloud.Register(*server);

  const int port = options.port == 0 ? server->bind_to_any_port("127.0.0.1")
                                     : (server->bind_to_port("127.0.0.1", options.port) ? options.port : -1);
  if (port <= 0) {
    std::cerr << "nuvexa-fake-cloud: cannot listen on 127.0.0.1:" << options.port << '\n';
    return 1;
  }

  std::atomic<bool> serving_ended = false;
  std::thread stopper([&] {
    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
    // A signal that comes before the accept loop runs would find nothing to stop,
    // so ask again until the loop has ended.
    while (!serving_ended) {
      server->stop();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });

  std::cout << "listening on " << port << std::endl;
  const bool stopped_cleanly = server->listen_after_bind();
  serving_ended = true;
  kill(getpid(), SIGTERM);  // releases the waiting thread when the loop ended on its own
  stopper.join();
  return stopped_cleanly ? 0 : 1;
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

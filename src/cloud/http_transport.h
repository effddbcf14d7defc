#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {
class InputFile;
}

namespace nuvexa::cloud {

// Bytes of an open file sent as a request body, read while the request goes out.
struct FileRange {
  const platform::InputFile* file = nullptr;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
  // When set, sees every piece of the file as it is read to be sent, with its offset in the
  // file; a body sent again is seen again.
  std::function<void(std::uint64_t offset, std::string_view bytes)> on_read;
};

struct HttpRequest {
  std::string method = "POST";
  std::string url;
  // Sent as given, in this order, after the client's own defaults.
  std::vector<std::pair<std::string, std::string>> headers;
  // The body: `body_file` when set, `body` otherwise (may be empty).
  std::string body;
  std::optional<FileRange> body_file;
  bool follow_redirects = true;
  // Longest wait to connect, and longest time without any data moving; zero for none.
  std::chrono::milliseconds timeout{0};
  // When set, the body of a 2xx response goes here as it arrives instead of into
  // `HttpResponse::body`. An exception it throws ends the request and is rethrown by Send.
  std::function<void(std::string_view)> body_sink;
};

// The most a response body held in memory may take: a listing page or an error is far
// smaller, and a server that sends more must not exhaust the pharmacy's machine.
inline constexpr std::size_t kMaxBufferedResponseBody = 64u << 20;

struct HttpResponse {
  int status = 0;
  // The last status line as received, without its line end: "HTTP/1.1 409 Conflict".
  std::string status_line;
  std::string body;
};

// One HTTP exchange per call. A response of any status is returned; a failure to
// connect, negotiate TLS, send or receive, or a body held in memory that would exceed
// kMaxBufferedResponseBody, throws CloudError with the transport's message.
class HttpTransport {
 public:
  virtual ~HttpTransport() = default;
  virtual HttpResponse Send(const HttpRequest& request) = 0;
};

}  // namespace nuvexa::cloud

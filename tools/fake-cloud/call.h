#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include <httplib.h>

#include "errors.h"
#include "host_role.h"

namespace fake_cloud {

// How an endpoint takes its argument and body.
enum class CallStyle {
  kRpc,       // JSON argument as the body
  kUpload,    // JSON argument in Dropbox-API-Arg, file bytes as the body
  kDownload,  // JSON argument in Dropbox-API-Arg, no body
  kForm,      // form fields as the body and no token: the OAuth 2 token endpoint
  kUnknown,   // not an endpoint of the service
};

// One request in progress. Its body can be read once, as it arrives; the call keeps
// what the request log needs of it.
class Call {
 public:
  using Sink = std::function<bool(const char* data, size_t size)>;

  static constexpr size_t kLoggedBodyLimit = 4096;

  Call(const httplib::Request& request, const httplib::ContentReader& reader, CallStyle style, HostRole host);

  const httplib::Request& request() const { return request_; }
  CallStyle style() const { return style_; }
  // The host the request came to.
  HostRole host() const { return host_; }
  // "files/upload", as the service names its functions in messages.
  std::string FunctionName() const;

  // The JSON argument, from the body or the Dropbox-API-Arg header. Throws BadInput.
  Json Argument();
  // Refuses the argument, naming where it came from.
  [[noreturn]] void RejectArgument(const std::string& detail) const;
  // "request body: " or "HTTP header "Dropbox-API-Arg": ", to begin such a refusal.
  std::string ArgumentOrigin() const;

  // Passes the body to the sink as it arrives; false when the client went away or
  // the sink refused a piece.
  bool ReadBody(const Sink& sink);
  // The whole body, for the small bodies that are kept anyway. Throws when the client
  // went away.
  std::string WholeBody();
  // Reads what is left of the body, so that the response can follow.
  void Drain();

  // The log line of this request, answered with the status (0: no answer).
  Json LogLine(int status) const;

 private:
  bool KeptWhole() const { return style_ == CallStyle::kRpc || style_ == CallStyle::kForm; }

  const httplib::Request& request_;
  const httplib::ContentReader& reader_;
  CallStyle style_;
  HostRole host_;
  bool body_read_ = false;
  uint64_t body_size_ = 0;
  std::string kept_;  // the whole body of an RPC or form call, the start of any other
};

}  // namespace fake_cloud

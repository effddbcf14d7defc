#include "call.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string_view>

#include <openssl/evp.h>
#include <openssl/ssl.h>

#include "cloud_path.h"
#include "timestamps.h"

namespace fake_cloud {
namespace {

// Headers the HTTP library adds to the request for its handlers; the client never
// sent them.
bool IsAddedByLibrary(const std::string& name) {
  static constexpr std::array<std::string_view, 4> kAdded = {"REMOTE_ADDR", "REMOTE_PORT", "LOCAL_ADDR",
                                                             "LOCAL_PORT"};
  return std::find(kAdded.begin(), kAdded.end(), name) != kAdded.end();
}

std::string Base64(const std::string& bytes) {
  std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                                     reinterpret_cast<const unsigned char*>(bytes.data()),
                                     static_cast<int>(bytes.size()));
  text.resize(static_cast<size_t>(length));
  return text;
}

}  // namespace

Call::Call(const httplib::Request& request, const httplib::ContentReader& reader, CallStyle style, HostRole host)
    : request_(request), reader_(reader), style_(style), host_(host) {}

std::string Call::FunctionName() const {
  std::string_view path = request_.path;
  // "/oauth2/token" is "oauth2/token": no API version in its path.
  if (path.starts_with("/2/")) {
    path.remove_prefix(3);
  } else if (path.starts_with("/")) {
    path.remove_prefix(1);
  }
  return std::string(path);
}

Json Call::Argument() {
  std::string text;
  if (style_ == CallStyle::kRpc) {
    text = WholeBody();
  } else {
    if (!request_.has_header("Dropbox-API-Arg")) {
      throw BadInput("Must provide HTTP header \"Dropbox-API-Arg\" or URL parameter \"arg\".");
    }
    text = request_.get_header_value("Dropbox-API-Arg");
    // The header must be HTTP header safe: 0x7F and everything above it escaped.
    if (std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x7F; })) {
      RejectArgument("could not decode input as JSON: it holds a raw byte above 0x7E; write such characters "
                     "as \\uXXXX");
    }
  }
  Json argument = Json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (argument.is_discarded()) RejectArgument("could not decode input as JSON");
  if (!argument.is_object()) RejectArgument("expected a JSON object");
  return argument;
}

std::string Call::ArgumentOrigin() const {
  return style_ == CallStyle::kRpc ? "request body: " : "HTTP header \"Dropbox-API-Arg\": ";
}

void Call::RejectArgument(const std::string& detail) const { throw BadInput(ArgumentOrigin() + detail); }

bool Call::ReadBody(const Sink& sink) {
  if (body_read_) throw std::logic_error("the request body was read twice");
  body_read_ = true;
  // A request with neither header has no body; asking the library for one would
  // wait for the connection to close.
  if (!request_.has_header("Content-Length") && !request_.has_header("Transfer-Encoding")) return true;
  return reader_([&](const char* data, size_t size) {
    // Past the limit the log only counts the bytes.
    kept_.append(data, KeptWhole() ? size : std::min(size, kLoggedBodyLimit - kept_.size()));
    body_size_ += size;
    return sink(data, size);
  });
}

std::string Call::WholeBody() {
  if (style_ != CallStyle::kRpc && style_ != CallStyle::kForm) throw std::logic_error("the body is not kept whole");
  if (!ReadBody([](const char*, size_t) { return true; })) throw std::runtime_error("the request body ended early");
  return kept_;
}

void Call::Drain() {
  if (!body_read_) ReadBody([](const char*, size_t) { return true; });
}

Json Call::LogLine(int status) const {
  Json headers = Json::object();
  for (const auto& [name, value] : request_.headers) {
    if (IsAddedByLibrary(name)) continue;
    headers[name] = headers.contains(name) ? headers[name].get<std::string>() + ", " + value : value;
  }
  Json line = {{"time", FormatTimestamp(Now())}};
  // Only a port that plays one host names it: with one port for both there is nothing
  // to tell apart.
  if (const std::string_view host = HostName(host_); !host.empty()) line["host"] = host;
  line["method"] = request_.method;
  line["path"] = request_.path;
  line["version"] = request_.version;
  if (request_.ssl != nullptr) line["tls"] = SSL_get_version(request_.ssl);
  line["headers"] = std::move(headers);
  line["body_size"] = body_size_;
  if (KeptWhole() || body_size_ <= kLoggedBodyLimit) {
    if (IsUtf8(kept_)) {
      line["body"] = kept_;
    } else {
      line["body_base64"] = Base64(kept_);
    }
  }
  line["status"] = status;
  return line;
}

}  // namespace fake_cloud

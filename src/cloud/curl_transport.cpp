#include "cloud/curl_transport.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <mutex>
#include <span>

#include "cloud/cloud_error.h"
#include "cloud/system_transport.h"
#include "platform/file_stream.h"
#include "platform/folders.h"

namespace nuvexa::cloud {
namespace {

struct EasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlEasy = std::unique_ptr<CURL, EasyDeleter>;

struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlHeaders = std::unique_ptr<curl_slist, ListDeleter>;

// libcurl's global set-up is not thread-safe; do it once, before the first handle.
void InitialiseCurl() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) throw CloudError("libcurl could not be initialised");
  });
}

// What the callbacks of one request share. Exceptions must not cross libcurl's C frames,
// so they are kept here and rethrown after the transfer.
struct Exchange {
  CURL* handle = nullptr;
  const HttpRequest* request = nullptr;
  HttpResponse response;
  std::uint64_t sent = 0;
  std::exception_ptr error;
};

size_t ReadBody(char* buffer, size_t size, size_t count, void* user) {
  auto& exchange = *static_cast<Exchange*>(user);
  const FileRange& range = *exchange.request->body_file;
  const std::uint64_t wanted = std::min<std::uint64_t>(size * count, range.length - exchange.sent);
  if (wanted == 0) return 0;
  try {
    const size_t got = range.file->ReadAt(range.offset + exchange.sent, std::span<char>(buffer, wanted));
    if (got == 0) {
      throw platform::FileError("Cannot read file \"" + range.file->Path() +
                                "\". The file ended before the bytes to be sent.");
    }
    if (range.on_read) range.on_read(range.offset + exchange.sent, std::string_view(buffer, got));
    exchange.sent += got;
    return got;
  } catch (...) {
    exchange.error = std::current_exception();
    return CURL_READFUNC_ABORT;
  }
}

// A redirect or a retried request sends the body again from its start.
int SeekBody(void* user, curl_off_t offset, int origin) {
  auto& exchange = *static_cast<Exchange*>(user);
  if (origin != SEEK_SET || offset < 0 || static_cast<std::uint64_t>(offset) > exchange.request->body_file->length)
    return CURL_SEEKFUNC_CANTSEEK;
  exchange.sent = static_cast<std::uint64_t>(offset);
  return CURL_SEEKFUNC_OK;
}

size_t ReadHeader(char* buffer, size_t size, size_t count, void* user) {
  auto& exchange = *static_cast<Exchange*>(user);
  std::string_view line(buffer, size * count);
  // Every response of the exchange (100 Continue, a redirect) starts with its own status
  // line; the last one is the answer.
  if (line.starts_with("HTTP/")) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    exchange.response.status_line = std::string(line);
  }
  return size * count;
}

size_t WriteBody(char* buffer, size_t size, size_t count, void* user) {
  auto& exchange = *static_cast<Exchange*>(user);
  const std::string_view bytes(buffer, size * count);
  long status = 0;
  curl_easy_getinfo(exchange.handle, CURLINFO_RESPONSE_CODE, &status);
  if (!exchange.request->body_sink || status < 200 || status > 299) {
    if (bytes.size() > kMaxBufferedResponseBody - exchange.response.body.size()) {
      exchange.error = std::make_exception_ptr(CloudError(
          "The response is larger than " + std::to_string(kMaxBufferedResponseBody) + " bytes and was not read"));
      return 0;
    }
    exchange.response.body.append(bytes);
    return bytes.size();
  }
  try {
    exchange.request->body_sink(bytes);
    return bytes.size();
  } catch (...) {
    exchange.error = std::current_exception();
    return 0;
  }
}

template <typename Value>
void Set(CURL* handle, CURLoption option, Value value) {
  const CURLcode code = curl_easy_setopt(handle, option, value);
  if (code != CURLE_OK) throw CloudError(curl_easy_strerror(code));
}

}  // namespace

CurlTransport::CurlTransport(std::string ca_file) : ca_file_(std::move(ca_file)) {}

CurlTransport::CurlTransport() {
  if (const char* file = std::getenv("NUVEXA_CA_FILE"); file != nullptr) ca_file_ = file;
}

HttpResponse CurlTransport::Send(const HttpRequest& request) {
  InitialiseCurl();
  const CurlEasy easy(curl_easy_init());
  if (!easy) throw CloudError("libcurl could not create a request");
  CURL* handle = easy.get();
  Exchange exchange;
  exchange.handle = handle;
  exchange.request = &request;
  char error_text[CURL_ERROR_SIZE] = "";

  Set(handle, CURLOPT_ERRORBUFFER, error_text);
  Set(handle, CURLOPT_NOSIGNAL, 1L);
  Set(handle, CURLOPT_URL, request.url.c_str());
  Set(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  Set(handle, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2) | static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_2));
  Set(handle, CURLOPT_SSL_VERIFYPEER, 1L);
  Set(handle, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!ca_file_.empty()) Set(handle, CURLOPT_CAINFO, ca_file_.c_str());
  // Every request stands alone: nothing is kept alive or pooled.
  Set(handle, CURLOPT_FRESH_CONNECT, 1L);
  Set(handle, CURLOPT_FORBID_REUSE, 1L);
  Set(handle, CURLOPT_FOLLOWLOCATION, request.follow_redirects ? 1L : 0L);
  Set(handle, CURLOPT_MAXREDIRS, 10L);
  // a redirect must not take the token and the pharmacy's data off TLS
  Set(handle, CURLOPT_REDIR_PROTOCOLS_STR, "https");

  if (request.timeout.count() > 0) {
    Set(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.timeout.count()));
    // "No data for that long": a transfer slower than one byte a second over the period.
    const long seconds = std::max<long>(1, static_cast<long>((request.timeout.count() + 999) / 1000));
    Set(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    Set(handle, CURLOPT_LOW_SPEED_TIME, seconds);
  }

  if (request.method == "POST") {
    Set(handle, CURLOPT_POST, 1L);
  } else {
    Set(handle, CURLOPT_CUSTOMREQUEST, request.method.c_str());
  }
  if (request.body_file) {
    Set(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body_file->length));
    Set(handle, CURLOPT_READFUNCTION, &ReadBody);
    Set(handle, CURLOPT_READDATA, &exchange);
    Set(handle, CURLOPT_SEEKFUNCTION, &SeekBody);
    Set(handle, CURLOPT_SEEKDATA, &exchange);
  } else {
    Set(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    Set(handle, CURLOPT_POSTFIELDS, request.body.c_str());
  }

  CurlHeaders headers;
  for (const auto& [name, value] : request.headers) {
    // "Name;" is libcurl's way of sending a header with an empty value.
    const std::string line = value.empty() ? name + ";" : name + ": " + value;
    curl_slist* longer = curl_slist_append(headers.get(), line.c_str());
    if (longer == nullptr) throw CloudError("libcurl could not add a header");
    headers.release();
    headers.reset(longer);
  }
  Set(handle, CURLOPT_HTTPHEADER, headers.get());

  Set(handle, CURLOPT_HEADERFUNCTION, &ReadHeader);
  Set(handle, CURLOPT_HEADERDATA, &exchange);
  Set(handle, CURLOPT_WRITEFUNCTION, &WriteBody);
  Set(handle, CURLOPT_WRITEDATA, &exchange);

  const CURLcode code = curl_easy_perform(handle);
  if (exchange.error) std::rethrow_exception(exchange.error);
  if (code != CURLE_OK) throw CloudError(error_text[0] != '\0' ? error_text : curl_easy_strerror(code));
  long status = 0;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
  exchange.response.status = static_cast<int>(status);
  return std::move(exchange.response);
}

std::unique_ptr<HttpTransport> SystemHttpTransport() { return std::make_unique<CurlTransport>(); }

}  // namespace nuvexa::cloud

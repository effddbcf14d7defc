#include "cloud/winhttp_transport.h"

#include <windows.h>
#include <wincrypt.h>
#include <winhttp.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "cloud/cloud_error.h"
#include "cloud/system_transport.h"
#include "platform/file_stream.h"
#include "platform/windows/wide.h"

namespace nuvexa::cloud {
namespace {

using platform::windows::Narrow;
using platform::windows::Widen;

// The pieces a file body is read and sent in, as libcurl's upload buffer.
constexpr std::size_t kPiece = 64 * 1024;
constexpr int kMaxRedirects = 10;

struct InternetDeleter {
  void operator()(void* handle) const { ::WinHttpCloseHandle(handle); }
};
using Internet = std::unique_ptr<void, InternetDeleter>;

struct StoreDeleter {
  void operator()(void* store) const { ::CertCloseStore(store, 0); }
};
using CertStore = std::unique_ptr<void, StoreDeleter>;

struct CertificateDeleter {
  void operator()(const CERT_CONTEXT* certificate) const { ::CertFreeCertificateContext(certificate); }
};
using Certificate = std::unique_ptr<const CERT_CONTEXT, CertificateDeleter>;

struct ChainDeleter {
  void operator()(const CERT_CHAIN_CONTEXT* chain) const { ::CertFreeCertificateChain(chain); }
};
using Chain = std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainDeleter>;

struct EngineDeleter {
  void operator()(void* engine) const { ::CertFreeCertificateChainEngine(static_cast<HCERTCHAINENGINE>(engine)); }
};
using ChainEngine = std::unique_ptr<void, EngineDeleter>;

// The texts of the codes a request meets most, for a winhttp.dll that carries none (Wine's).
const char* KnownWinHttpText(DWORD code) {
  switch (code) {
    case ERROR_WINHTTP_TIMEOUT: return "The operation timed out";
    case ERROR_WINHTTP_INTERNAL_ERROR: return "An internal error occurred in WinHTTP";
    case ERROR_WINHTTP_INVALID_URL: return "The URL is invalid";
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME: return "The URL does not use a recognized protocol";
    case ERROR_WINHTTP_NAME_NOT_RESOLVED: return "The server name or address could not be resolved";
    case ERROR_WINHTTP_OPERATION_CANCELLED: return "The operation was canceled";
    case ERROR_WINHTTP_CANNOT_CONNECT: return "A connection with the server could not be established";
    case ERROR_WINHTTP_CONNECTION_ERROR: return "The connection with the server was reset or terminated";
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE: return "The server returned an invalid or unrecognized response";
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR: return "An error occurred in the secure channel support";
    case ERROR_WINHTTP_SECURE_FAILURE: return "A security error occurred";
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID: return "The certificate's name does not match the server";
    case ERROR_WINHTTP_SECURE_INVALID_CA: return "The certificate comes from an unknown authority";
    default: return nullptr;
  }
}

// WinHTTP's own codes have their texts in winhttp.dll, not in the system's table.
std::string WinHttpText(DWORD code) {
  if (code >= WINHTTP_ERROR_BASE && code <= WINHTTP_ERROR_LAST) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
        ::GetModuleHandleW(L"winhttp.dll"), code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (length != 0 && buffer != nullptr) {
      const std::unique_ptr<wchar_t, decltype(&::LocalFree)> owned(buffer, &::LocalFree);
      std::wstring_view text(buffer, length);
      while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.remove_suffix(1);
      if (!text.empty()) return Narrow(text);
    }
    if (const char* known = KnownWinHttpText(code)) return known;
    return "WinHTTP error " + std::to_string(code);
  }
  return platform::windows::ErrorText(code);
}

[[noreturn]] void Fail(DWORD code) { throw CloudError(WinHttpText(code)); }

void Check(BOOL ok) {
  if (!ok) Fail(::GetLastError());
}

void SetOption(HINTERNET handle, DWORD option, DWORD value) {
  Check(::WinHttpSetOption(handle, option, &value, sizeof value));
}

struct Url {
  std::string text;
  std::string scheme;  // lower case
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring path;  // with the query
};

Url ParseUrl(const std::string& text) {
  const std::wstring wide = Widen(text);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!::WinHttpCrackUrl(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &parts))
    throw CloudError("The address \"" + text + "\" cannot be used: " + WinHttpText(::GetLastError()));
  if (parts.nScheme != INTERNET_SCHEME_HTTPS && parts.nScheme != INTERNET_SCHEME_HTTP)
    throw CloudError("The address \"" + text + "\" is not HTTP or HTTPS");
  Url url;
  url.text = text;
  url.scheme = parts.nScheme == INTERNET_SCHEME_HTTPS ? "https" : "http";
  url.host.assign(parts.lpszHostName, parts.dwHostNameLength);
  url.port = parts.nPort;
  url.path.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
  url.path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (url.path.empty() || url.path[0] != L'/') url.path.insert(0, L"/");
  // a fragment is the client's own and never goes to the server
  if (const auto hash = url.path.find(L'#'); hash != std::wstring::npos) url.path.erase(hash);
  return url;
}

// The address a Location header points to, relative to the address that answered.
std::string Resolve(const std::string& base, const std::string& location) {
  const auto scheme_end = location.find("://");
  if (scheme_end != std::string::npos && location.find_first_of("/?#") > scheme_end) return location;
  const auto authority = base.find("://") + 3;
  if (location.starts_with("//")) return base.substr(0, authority - 2) + location;
  const auto path_start = std::min(base.find_first_of("/?#", authority), base.size());
  if (location.starts_with("/")) return base.substr(0, path_start) + location;
  const std::string path = base.substr(0, std::min(base.find_first_of("?#", path_start), base.size()));
  if (location.starts_with("?")) return path + location;
  const auto last_slash = path.rfind('/');
  if (last_slash == std::string::npos || last_slash < path_start) return path + "/" + location;
  return path.substr(0, last_slash + 1) + location;
}

std::string SchemeOf(const std::string& url) {
  const auto end = url.find("://");
  std::string scheme = end == std::string::npos ? std::string() : url.substr(0, end);
  std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return scheme;
}

// The certificates of a PEM file, in a memory store: the roots that $NUVEXA_CA_FILE trusts.
CertStore LoadCaFile(const std::string& path) {
  std::string pem;
  try {
    platform::InputFile file = platform::InputFile::Open(path);
    char buffer[16 * 1024];
    for (std::size_t got; (got = file.Read(std::span<char>(buffer, sizeof buffer))) > 0;) pem.append(buffer, got);
  } catch (const platform::FileError& error) {
    throw CloudError(std::string("The CA file cannot be read: ") + error.what());
  }
  CertStore store(::CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr));
  if (!store) Fail(::GetLastError());
  constexpr std::string_view kBegin = "-----BEGIN CERTIFICATE-----";
  constexpr std::string_view kEnd = "-----END CERTIFICATE-----";
  int added = 0;
  for (std::size_t at = pem.find(kBegin); at != std::string::npos; at = pem.find(kBegin, at)) {
    const std::size_t end = pem.find(kEnd, at);
    if (end == std::string::npos) break;
    const std::string_view block(pem.data() + at, end + kEnd.size() - at);
    at = end + kEnd.size();
    DWORD size = 0;
    if (!::CryptStringToBinaryA(block.data(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER, nullptr,
                                &size, nullptr, nullptr))
      continue;
    std::vector<BYTE> der(size);
    if (!::CryptStringToBinaryA(block.data(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER, der.data(),
                                &size, nullptr, nullptr))
      continue;
    if (::CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING, der.data(), size, CERT_STORE_ADD_ALWAYS,
                                           nullptr))
      ++added;
  }
  if (added == 0) throw CloudError("The CA file \"" + path + "\" holds no certificate");
  return store;
}

// The system's text for a refusal, or Windows' own where the system has none (Wine).
std::string RefusalText(HRESULT refusal) {
  const std::string text = platform::windows::ErrorText(static_cast<DWORD>(refusal));
  if (!text.starts_with("Error ")) return text;
  switch (refusal) {
    case CERT_E_CHAINING: return "A certificate chain could not be built to a trusted root authority.";
    case CERT_E_UNTRUSTEDROOT:
      return "A certificate chain processed, but terminated in a root certificate which is not trusted by the trust "
             "provider.";
    case CERT_E_EXPIRED: return "A required certificate is not within its validity period.";
    case CERT_E_CN_NO_MATCH: return "The certificate's CN name does not match the passed value.";
    case CERT_E_WRONG_USAGE: return "The certificate is not valid for the requested usage.";
    case CRYPT_E_REVOKED: return "The certificate is revoked.";
    case TRUST_E_CERT_SIGNATURE: return "The signature of the certificate cannot be verified.";
    default: return text;
  }
}

// Why a chain with these trust errors is refused, in the codes the SSL policy reports; 0
// for none.
HRESULT ChainRefusal(DWORD errors) {
  if (errors == CERT_TRUST_NO_ERROR) return 0;
  if (errors & (CERT_TRUST_IS_PARTIAL_CHAIN | CERT_TRUST_IS_CYCLIC)) return CERT_E_CHAINING;
  if (errors & CERT_TRUST_IS_UNTRUSTED_ROOT) return CERT_E_UNTRUSTEDROOT;
  if (errors & CERT_TRUST_IS_NOT_TIME_VALID) return CERT_E_EXPIRED;
  if (errors & CERT_TRUST_IS_REVOKED) return CRYPT_E_REVOKED;
  if (errors & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) return CERT_E_WRONG_USAGE;
  if (errors & CERT_TRUST_IS_NOT_SIGNATURE_VALID) return TRUST_E_CERT_SIGNATURE;
  return CERT_E_UNTRUSTEDROOT;
}

// The server's certificate chained to the CA file's roots alone, and made out to `host`.
void VerifyAgainstCaFile(HINTERNET request, const std::string& ca_file, const std::wstring& host) {
  const CertStore roots = LoadCaFile(ca_file);
  const CERT_CONTEXT* presented = nullptr;
  DWORD size = sizeof presented;
  Check(::WinHttpQueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &presented, &size));
  const Certificate certificate(presented);
  if (!certificate) throw CloudError("The server sent no certificate");

  CERT_CHAIN_ENGINE_CONFIG config{};
  config.cbSize = sizeof config;
  config.hExclusiveRoot = roots.get();
  HCERTCHAINENGINE engine_handle = nullptr;
  Check(::CertCreateCertificateChainEngine(&config, &engine_handle));
  const ChainEngine engine(engine_handle);

  LPSTR server_auth = const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH);
  CERT_CHAIN_PARA chain_para{};
  chain_para.cbSize = sizeof chain_para;
  chain_para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  chain_para.RequestedUsage.Usage.cUsageIdentifier = 1;
  chain_para.RequestedUsage.Usage.rgpszUsageIdentifier = &server_auth;
  const CERT_CHAIN_CONTEXT* built = nullptr;
  // the intermediates the server sent come with its certificate
  Check(::CertGetCertificateChain(engine_handle, certificate.get(), nullptr, certificate->hCertStore, &chain_para, 0,
                                  nullptr, &built));
  const Chain chain(built);

  std::wstring server_name = host;
  SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
  ssl.cbSize = sizeof ssl;
  ssl.dwAuthType = AUTHTYPE_SERVER;
  ssl.pwszServerName = server_name.data();
  CERT_CHAIN_POLICY_PARA policy{};
  policy.cbSize = sizeof policy;
  policy.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof status;
  Check(::CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policy, &status));
  // Wine's policy lets a chain that reaches no root pass; the chain's own status does not
  HRESULT refusal = static_cast<HRESULT>(status.dwError);
  if (refusal == 0) refusal = ChainRefusal(chain->TrustStatus.dwErrorStatus);
  if (refusal != 0)
    throw CloudError("The server's certificate is not trusted: " + RefusalText(refusal));
}

// What the TLS layer reported about a refused server, for a message that says why.
struct SecureFailure {
  DWORD flags = 0;
};

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID information, DWORD length) {
  if (status != WINHTTP_CALLBACK_STATUS_SECURE_FAILURE || context == 0 || information == nullptr ||
      length < sizeof(DWORD))
    return;
  reinterpret_cast<SecureFailure*>(context)->flags |= *static_cast<const DWORD*>(information);
}

[[noreturn]] void FailSend(DWORD code, const SecureFailure& secure) {
  std::string message = WinHttpText(code);
  // Windows fails a refused certificate with SECURE_FAILURE, Wine with SECURE_CHANNEL_ERROR
  if ((code == ERROR_WINHTTP_SECURE_FAILURE || code == ERROR_WINHTTP_SECURE_CHANNEL_ERROR) && secure.flags != 0) {
    const DWORD flags = secure.flags;
    std::string why;
    if (flags & WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA) why = "its certificate authority is not trusted";
    else if (flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID) why = "its certificate is made out to another host";
    else if (flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID) why = "its certificate has expired or is not yet valid";
    else if (flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED) why = "its certificate was revoked";
    else if (flags & (WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CERT | WINHTTP_CALLBACK_STATUS_FLAG_CERT_WRONG_USAGE))
      why = "its certificate is not valid for a server";
    else if (flags & WINHTTP_CALLBACK_STATUS_FLAG_SECURITY_CHANNEL_ERROR) why = "the TLS negotiation failed";
    else why = "the TLS negotiation was refused";
    message += " (" + why + ")";
  } else if (code == ERROR_WINHTTP_SECURE_FAILURE || code == ERROR_WINHTTP_SECURE_CHANNEL_ERROR) {
    message += " (the server's certificate or the TLS negotiation was refused)";
  }
  throw CloudError(message);
}

struct Hop {
  const Url* url = nullptr;
  std::string method;
  const std::vector<std::pair<std::string, std::string>>* headers = nullptr;
  bool with_body = true;
};

struct HopResult {
  HttpResponse response;
  std::string location;
};

std::string QueryRawHeaders(HINTERNET request) {
  DWORD size = 0;
  ::WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                        &size, WINHTTP_NO_HEADER_INDEX);
  if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) Fail(::GetLastError());
  std::wstring raw(size / sizeof(wchar_t) + 1, L'\0');
  Check(::WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, raw.data(), &size,
                              WINHTTP_NO_HEADER_INDEX));
  raw.resize(size / sizeof(wchar_t));
  return Narrow(raw);
}

std::string QueryLocation(HINTERNET request) {
  DWORD size = 0;
  ::WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                        WINHTTP_NO_HEADER_INDEX);
  if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
  std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
  if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, value.data(), &size,
                             WINHTTP_NO_HEADER_INDEX))
    return {};
  value.resize(size / sizeof(wchar_t));
  return Narrow(value);
}

void Write(HINTERNET request, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    Check(::WinHttpWriteData(request, bytes.data(), static_cast<DWORD>(std::min<std::size_t>(bytes.size(), kPiece)),
                             &written));
    if (written == 0) throw CloudError("The request body could not be sent");
    bytes.remove_prefix(written);
  }
}

HopResult SendHop(const HttpRequest& request, const Hop& hop, const std::string& ca_file) {
  const Url& url = *hop.url;
  const bool secure = url.scheme == "https";
  // outlives the handles whose status callback writes to it
  SecureFailure secure_failure;

  // A session of its own for every request: no connection, TLS session or cookie outlives it.
  const Internet session(::WinHttpOpen(L"Nuvexa", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                       WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) Fail(::GetLastError());
  SetOption(session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2);
  // Zero is WinHTTP's "no time-out" too. The receive time-out bounds every wait for data,
  // which is what "no data for that long" means.
  const int timeout = static_cast<int>(std::min<std::int64_t>(request.timeout.count(), 0x7fffffff));
  Check(::WinHttpSetTimeouts(session.get(), timeout, timeout, timeout, timeout));

  const Internet connection(::WinHttpConnect(session.get(), url.host.c_str(), url.port, 0));
  if (!connection) Fail(::GetLastError());
  const std::wstring method = Widen(hop.method);
  const Internet handle(::WinHttpOpenRequest(connection.get(), method.c_str(), url.path.c_str(), L"HTTP/1.1",
                                             WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                             secure ? WINHTTP_FLAG_SECURE : 0));
  if (!handle) Fail(::GetLastError());
  HINTERNET http = handle.get();
  // Redirects are followed here, one hop at a time, so that every server the request
  // reaches is verified the same way and none takes it off TLS.
  SetOption(http, WINHTTP_OPTION_DISABLE_FEATURE,
            WINHTTP_DISABLE_KEEP_ALIVE | WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_COOKIES);
  SetOption(http, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, request.timeout.count() > 0 ? static_cast<DWORD>(timeout) : INFINITE);
  // With a CA file of its own WinHTTP cannot be told the root to trust: it is told to let an
  // unknown root pass, and only that (host name, dates and signatures stay checked), and
  // the chain is then verified here against the CA file alone.
  if (secure && !ca_file.empty()) SetOption(http, WINHTTP_OPTION_SECURITY_FLAGS, SECURITY_FLAG_IGNORE_UNKNOWN_CA);

  if (::WinHttpSetStatusCallback(http, &OnStatus, WINHTTP_CALLBACK_FLAG_SECURE_FAILURE, 0) ==
      WINHTTP_INVALID_STATUS_CALLBACK)
    Fail(::GetLastError());

  for (const auto& [name, value] : *hop.headers) {
    const std::wstring line = Widen(value.empty() ? name + ":" : name + ": " + value);
    Check(::WinHttpAddRequestHeaders(http, line.c_str(), static_cast<DWORD>(line.size()), WINHTTP_ADDREQ_FLAG_ADD));
  }

  const std::uint64_t length =
      !hop.with_body ? 0 : request.body_file ? request.body_file->length : static_cast<std::uint64_t>(request.body.size());
  DWORD total = static_cast<DWORD>(length);
  // WinHttpSendRequest counts in 32 bits; a longer body is announced in a header of its own
  if (length > 0xFFFFFFFEull) {
    const std::wstring line = L"Content-Length: " + std::to_wstring(length);
    Check(::WinHttpAddRequestHeaders(http, line.c_str(), static_cast<DWORD>(line.size()),
                                     WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE));
    total = WINHTTP_IGNORE_REQUEST_TOTAL_LENGTH;
  }

  // The request goes out without its body, which is written only once the server's
  // certificate has been checked against the CA file. The request line and headers cannot
  // wait for that check: WinHttpSendRequest makes the TLS handshake and writes them in one
  // call, the certificate is known only inside it, and a status callback that sees it there
  // has no safe way to stop a synchronous send. So with a CA file the headers reach a server
  // that passed WinHTTP's host-name, date and signature checks but whose root may not be the
  // CA file's; the body never does. Without a CA file (the service's own case) WinHTTP
  // verifies the server fully in the handshake, before any byte of the request is sent.
  if (!::WinHttpSendRequest(http, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, total,
                            reinterpret_cast<DWORD_PTR>(&secure_failure)))
    FailSend(::GetLastError(), secure_failure);
  if (secure && !ca_file.empty()) VerifyAgainstCaFile(http, ca_file, url.host);

  if (hop.with_body && request.body_file) {
    const FileRange& range = *request.body_file;
    std::vector<char> buffer(kPiece);
    for (std::uint64_t sent = 0; sent < range.length;) {
      const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), range.length - sent));
      const std::size_t got = range.file->ReadAt(range.offset + sent, std::span<char>(buffer.data(), wanted));
      if (got == 0) {
        throw platform::FileError("Cannot read file \"" + range.file->Path() +
                                  "\". The file ended before the bytes to be sent.");
      }
      const std::string_view piece(buffer.data(), got);
      if (range.on_read) range.on_read(range.offset + sent, piece);
      Write(http, piece);
      sent += got;
    }
  } else if (hop.with_body) {
    Write(http, request.body);
  }

  if (!::WinHttpReceiveResponse(http, nullptr)) FailSend(::GetLastError(), secure_failure);

  HopResult result;
  DWORD status = 0;
  DWORD size = sizeof status;
  Check(::WinHttpQueryHeaders(http, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                              &status, &size, WINHTTP_NO_HEADER_INDEX));
  result.response.status = static_cast<int>(status);
  // The status line as the server wrote it: the first of the raw headers.
  const std::string raw = QueryRawHeaders(http);
  result.response.status_line = raw.substr(0, raw.find_first_of("\r\n"));
  if (status >= 300 && status <= 399) result.location = QueryLocation(http);

  const bool to_sink = request.body_sink && status >= 200 && status <= 299;
  std::vector<char> buffer(kPiece);
  for (;;) {
    DWORD got = 0;
    if (!::WinHttpReadData(http, buffer.data(), static_cast<DWORD>(buffer.size()), &got)) Fail(::GetLastError());
    if (got == 0) break;
    const std::string_view bytes(buffer.data(), got);
    if (to_sink) {
      request.body_sink(bytes);
      continue;
    }
    if (bytes.size() > kMaxBufferedResponseBody - result.response.body.size()) {
      throw CloudError("The response is larger than " + std::to_string(kMaxBufferedResponseBody) +
                       " bytes and was not read");
    }
    result.response.body.append(bytes);
  }
  return result;
}

bool SameOrigin(const Url& a, const Url& b) {
  return a.scheme == b.scheme && a.port == b.port && ::CompareStringOrdinal(a.host.c_str(), -1, b.host.c_str(), -1, TRUE) == CSTR_EQUAL;
}

std::string CaFileFromEnvironment() {
  const DWORD size = ::GetEnvironmentVariableW(L"NUVEXA_CA_FILE", nullptr, 0);
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  const DWORD length = ::GetEnvironmentVariableW(L"NUVEXA_CA_FILE", value.data(), size);
  value.resize(length);
  return Narrow(value);
}

}  // namespace

WinHttpTransport::WinHttpTransport(std::string ca_file) : ca_file_(std::move(ca_file)) {}

WinHttpTransport::WinHttpTransport() : ca_file_(CaFileFromEnvironment()) {}

HttpResponse WinHttpTransport::Send(const HttpRequest& request) {
  Url url = ParseUrl(request.url);
  std::vector<std::pair<std::string, std::string>> headers = request.headers;
  Hop hop{&url, request.method, &headers, true};
  for (int redirects = 0;; ++redirects) {
    HopResult result = SendHop(request, hop, ca_file_);
    const int status = result.response.status;
    const bool redirect = status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
    if (!request.follow_redirects || !redirect || result.location.empty()) return std::move(result.response);
    if (redirects == kMaxRedirects) throw CloudError("Maximum (" + std::to_string(kMaxRedirects) + ") redirects followed");

    const std::string target = Resolve(url.text, result.location);
    // a redirect must not take the token and the pharmacy's data off TLS
    if (const std::string scheme = SchemeOf(target); scheme != "https")
      throw CloudError("A redirect to \"" + scheme + "\" was refused: only HTTPS is followed");
    Url next = ParseUrl(target);
    // As libcurl: a 303, and a 301 or 302 answering a POST, is followed by a GET without
    // the body; a 307 or 308 repeats the request, its body sent again from its start.
    if (status == 303 && hop.method != "HEAD") {
      hop.method = "GET";
      hop.with_body = false;
    } else if ((status == 301 || status == 302) && hop.method == "POST") {
      hop.method = "GET";
      hop.with_body = false;
    }
    // nor does the token go to another host than the one it was given for
    if (!SameOrigin(url, next)) {
      std::erase_if(headers, [](const auto& header) {
        return ::CompareStringOrdinal(Widen(header.first).c_str(), -1, L"Authorization", -1, TRUE) == CSTR_EQUAL;
      });
    }
    url = std::move(next);
  }
}

std::unique_ptr<HttpTransport> SystemHttpTransport() { return std::make_unique<WinHttpTransport>(); }

}  // namespace nuvexa::cloud

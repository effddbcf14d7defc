#include "fake_cloud.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <thread>

#include "authorization.h"
#include "connection_drop.h"

namespace fake_cloud {
namespace {

std::string Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return "";
  return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// The media type alone, or with the one parameter the service also takes.
bool IsMediaType(const std::string& header, std::string_view type) {
  const size_t semicolon = header.find(';');
  if (Lower(Trimmed(std::string_view(header).substr(0, semicolon))) != type) return false;
  return semicolon == std::string::npos ||
         Lower(Trimmed(std::string_view(header).substr(semicolon + 1))) == "charset=utf-8";
}

void CheckContentType(const Call& call) {
  const auto& request = call.request();
  const std::string type = request.get_header_value("Content-Type");
  bool accepted = false;
  std::string expected;
  switch (call.style()) {
    case CallStyle::kRpc:
      accepted = IsMediaType(type, "application/json");
      expected = "\"application/json\", \"application/json; charset=utf-8\"";
      break;
    case CallStyle::kUpload:
      accepted = IsMediaType(type, "application/octet-stream");
      expected = "\"application/octet-stream\", \"application/octet-stream; charset=utf-8\"";
      break;
    case CallStyle::kDownload:
      accepted = type.empty() || IsMediaType(type, "application/octet-stream") || IsMediaType(type, "text/plain");
      expected = "\"\", \"application/octet-stream\", \"text/plain\"";
      break;
    case CallStyle::kForm:
      // OAuth 2 refuses in its own words.
      if (!IsMediaType(type, "application/x-www-form-urlencoded")) {
        throw OAuthError("invalid_request", "Content-Type must be application/x-www-form-urlencoded, not \"" +
                                                type + "\"");
      }
      accepted = true;
      break;
    case CallStyle::kUnknown:
      accepted = true;
      break;
  }
  if (!accepted) {
    throw BadInput("Bad HTTP \"Content-Type\" header: \"" + type + "\".  Expecting one of " + expected + ".");
  }
}

void SendText(httplib::Response& response, int status, const std::string& text) {
  response.status = status;
  response.set_content(text, "text/plain; charset=utf-8");
}

// Whether a port that plays the host takes calls of this style; paths that are no
// endpoint are answered on every port.
bool IsServedOn(CallStyle style, HostRole host) {
  switch (style) {
    case CallStyle::kRpc:
    case CallStyle::kForm:
      return host != HostRole::kContent;
    case CallStyle::kUpload:
    case CallStyle::kDownload:
      return host != HostRole::kApi;
    case CallStyle::kUnknown:
      break;
  }
  return true;
}

// The service refuses a call sent to its other host as a bad request.
void RefuseWrongHost(const Call& call, httplib::Response& response) {
  const bool at_api = call.host() == HostRole::kApi;
  SendText(response, 400,
           "Error in call to API function \"" + call.FunctionName() + "\": this function is served by the " +
               (at_api ? "content host" : "API host") + ", not by the " + (at_api ? "API host" : "content host") +
               " the request was sent to.");
}

void ApplyFailure(const FailureRule& rule, httplib::Response& response) {
  response.status = rule.drop ? 500 : rule.status;
  for (const auto& [name, value] : rule.headers) response.set_header(name, value);
  if (rule.body_bytes > 0) {
    response.set_content(std::string(static_cast<size_t>(rule.body_bytes), 'x'), "application/json");
    return;
  }
  const bool is_json = Json::accept(rule.body);
  response.set_content(rule.body, is_json ? "application/json" : "text/plain; charset=utf-8");
}

}  // namespace

void SendJson(httplib::Response& response, int status, const Json& body) {
  response.status = status;
  response.set_content(body.dump(-1, ' ', false, Json::error_handler_t::replace), "application/json");
}

std::string PathArgument(const Call& call, const Json& argument, bool root_allowed) {
  std::string path = argument.at("path").get<std::string>();
  if (!path.starts_with("/") && !(root_allowed && path.empty())) {
    call.RejectArgument("path: '" + path + "' did not match pattern '" +
                        (root_allowed ? "(/(.|[\\r\\n])*)?" : "(/(.|[\\r\\n])*)") + "'");
  }
  return path;
}

Json EntryJson(const Entry& entry, bool with_tag) {
  Json json = Json::object();
  if (with_tag) json[".tag"] = entry.is_folder ? "folder" : "file";
  json["name"] = entry.name;
  json["id"] = entry.id;
  if (!entry.is_folder) {
    json["client_modified"] = entry.client_modified;
    json["server_modified"] = entry.server_modified;
    json["rev"] = entry.rev;
    json["size"] = entry.size;
  }
  json["path_lower"] = entry.path_lower;
  json["path_display"] = entry.path_display;
  if (!entry.is_folder) {
    json["is_downloadable"] = true;
    json["content_hash"] = entry.content_hash;
  }
  return json;
}

FakeCloud::FakeCloud(const Options& options)
    : token_(options.token),
      page_size_(options.page_size),
      storage_(options.root),
      sessions_(storage_.sessions_folder()),
      tokens_(options.app_key, options.app_secret, std::chrono::seconds(options.access_token_lifetime),
              options.refresh_tokens),
      log_(options.log),
      endpoints_{
          {"/2/files/list_folder", CallStyle::kRpc, &FakeCloud::ListFolder},
          {"/2/files/list_folder/continue", CallStyle::kRpc, &FakeCloud::ListFolderContinue},
          {"/2/files/create_folder_v2", CallStyle::kRpc, &FakeCloud::CreateFolder},
          {"/2/files/delete_v2", CallStyle::kRpc, &FakeCloud::Delete},
          {"/2/files/upload", CallStyle::kUpload, &FakeCloud::Upload},
          {"/2/files/upload_session/start", CallStyle::kUpload, &FakeCloud::SessionStart},
          {"/2/files/upload_session/append_v2", CallStyle::kUpload, &FakeCloud::SessionAppend},
          {"/2/files/upload_session/finish", CallStyle::kUpload, &FakeCloud::SessionFinish},
          {"/2/files/download", CallStyle::kDownload, &FakeCloud::Download},
          {"/oauth2/token", CallStyle::kForm, &FakeCloud::Token},
      } {
  for (auto& rule : options.failures) failures_.Add(rule);
}

void FakeCloud::Register(httplib::Server& server, HostRole host) {
  // Admin routes first: the catch-all routes at the end would take them otherwise.
  RegisterAdmin(server);
  for (const auto& endpoint : endpoints_) {
    server.Post(endpoint.path, [this, &endpoint, host](const httplib::Request& request, httplib::Response& response,
                                                       const httplib::ContentReader& reader) {
      Serve(endpoint, host, request, response, reader);
    });
  }
  // Anything else is logged too, so that a test sees a request sent to the wrong place.
  static const Endpoint unknown{"", CallStyle::kUnknown, &FakeCloud::UnknownEndpoint};
  server.Post(".*", [this, host](const httplib::Request& request, httplib::Response& response,
                                 const httplib::ContentReader& reader) {
    Serve(unknown, host, request, response, reader);
  });
  server.Get(".*", [this, host](const httplib::Request& request, httplib::Response& response) {
    const httplib::ContentReader no_body([](const httplib::ContentReceiver&) { return true; },
                                         [](const httplib::MultipartContentHeader&,
                                            const httplib::ContentReceiver&) { return true; });
    Serve(unknown, host, request, response, no_body);
  });
}

void FakeCloud::Serve(const Endpoint& endpoint, HostRole host, const httplib::Request& request,
                      httplib::Response& response, const httplib::ContentReader& reader) {
  Call call(request, reader, endpoint.style, host);
  // A call to the wrong host never reaches the endpoint, so it does not count towards
  // the endpoint's failure rules either.
  const bool right_host = IsServedOn(endpoint.style, host);
  const auto failure = right_host ? failures_.Take(request.path) : std::nullopt;
  // nothing at all goes back meanwhile, not even the status line
  if (failure && failure->stall_seconds > 0) std::this_thread::sleep_for(std::chrono::seconds(failure->stall_seconds));
  bool dropped_early = false;
  if (failure && failure->drop_after_bytes >= 0) {
    // the connection goes in the middle of the body, as a network that fails would take it
    std::uint64_t received = 0;
    call.ReadBody([&](const char*, std::size_t size) {
      received += size;
      if (received < static_cast<std::uint64_t>(failure->drop_after_bytes)) return true;
      DropConnection(request);
      dropped_early = true;
      return false;
    });
  }
  if (!right_host) {
    RefuseWrongHost(call, response);
  } else if (failure && failure->answers_as_usual) {
    Answer(endpoint, call, response);
    if (response.status == 200) ApplyContentHash(*failure, response.body);
  } else if (failure) {
    ApplyFailure(*failure, response);
  } else {
    Answer(endpoint, call, response);
  }
  if (!dropped_early) call.Drain();
  const bool drop = failure && failure->drop;
  log_.Append(call.LogLine(drop ? 0 : response.status));
  if (drop && !dropped_early) DropConnection(request);
}

void FakeCloud::Answer(const Endpoint& endpoint, Call& call, httplib::Response& response) {
  const std::string function = "Error in call to API function \"" + call.FunctionName() + "\": ";
  try {
    if (endpoint.style != CallStyle::kUnknown && endpoint.style != CallStyle::kForm) {
      CheckAuthorization(call.request(), [this](std::string_view token) { return StateOf(token); });
    }
    if (endpoint.style != CallStyle::kUnknown) CheckContentType(call);
    (this->*endpoint.handler)(call, response);
  } catch (const OAuthError& e) {
    SendJson(response, 400, {{"error", e.error()}, {"error_description", e.what()}});
  } catch (const ApiError& e) {
    SendJson(response, e.status(), {{"error_summary", e.summary()}, {"error", e.error()}});
  } catch (const BadInput& e) {
    SendText(response, 400, function + e.what());
  } catch (const Json::exception& e) {
    // A member of the argument that is missing or of the wrong type.
    SendText(response, 400, function + call.ArgumentOrigin() + e.what());
  } catch (const std::exception& e) {
    SendText(response, 500, std::string("internal error: ") + e.what());
  }
}

void FakeCloud::UnknownEndpoint(Call& call, httplib::Response& response) {
  SendText(response, 404, "Unknown endpoint " + call.request().method + " " + call.request().path);
}

}  // namespace fake_cloud

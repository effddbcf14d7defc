#pragma once

#include <string>
#include <vector>

#include <httplib.h>

#include "call.h"
#include "failure_rules.h"
#include "host_role.h"
#include "options.h"
#include "request_log.h"
#include "storage.h"
#include "tokens.h"
#include "upload_sessions.h"

namespace fake_cloud {

// The storage API's endpoints over a folder on disk, with the request log and the
// failure rules that tests use to watch and disturb the client, and the token
// endpoint that grants short-lived access tokens. Every server it is registered with
// shares the files, sessions, tokens, log and rules.
class FakeCloud {
 public:
  explicit FakeCloud(const Options& options);

  // Makes the server play the host: it answers that host's endpoints, refuses the
  // other host's, and takes the admin endpoints.
  void Register(httplib::Server& server, HostRole host);

 private:
  using Handler = void (FakeCloud::*)(Call&, httplib::Response&);
  struct Endpoint {
    std::string path;
    CallStyle style;
    Handler handler;
  };

  void Serve(const Endpoint& endpoint, HostRole host, const httplib::Request& request,
             httplib::Response& response, const httplib::ContentReader& reader);
  void Answer(const Endpoint& endpoint, Call& call, httplib::Response& response);

  // file_endpoints.cpp
  void ListFolder(Call& call, httplib::Response& response);
  void ListFolderContinue(Call& call, httplib::Response& response);
  void CreateFolder(Call& call, httplib::Response& response);
  void Delete(Call& call, httplib::Response& response);
  void UnknownEndpoint(Call& call, httplib::Response& response);
  Json ListPage(const std::string& folder, const std::string& after, size_t limit);

  // content_endpoints.cpp
  void Upload(Call& call, httplib::Response& response);
  void SessionStart(Call& call, httplib::Response& response);
  void SessionAppend(Call& call, httplib::Response& response);
  void SessionFinish(Call& call, httplib::Response& response);
  void Download(Call& call, httplib::Response& response);

  // token_endpoint.cpp
  void Token(Call& call, httplib::Response& response);
  TokenState StateOf(std::string_view access_token) const;

  // admin_endpoints.cpp
  void RegisterAdmin(httplib::Server& server);

  std::string token_;
  size_t page_size_;
  Storage storage_;
  UploadSessions sessions_;
  Tokens tokens_;
  RequestLog log_;
  FailureRules failures_;
  std::vector<Endpoint> endpoints_;
};

void SendJson(httplib::Response& response, int status, const Json& body);
// The entry as the service describes it; the tag only where the result is a union.
Json EntryJson(const Entry& entry, bool with_tag);
// The argument's "path", refused unless it is a cloud path ("" too, for the root).
std::string PathArgument(const Call& call, const Json& argument, bool root_allowed);

}  // namespace fake_cloud

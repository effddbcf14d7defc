#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "errors.h"

namespace fake_cloud {

// Makes the nth request to an endpoint, counted from when the rule was set, fail:
// with the given status, body and headers, or by closing the connection unanswered
// (after reading the whole body, or `drop_after_bytes` of it). Or it stalls: the server
// sends nothing for `stall_seconds`, then answers as told or, without a status, as usual.
// Or, on an upload or a session finish, it answers as usual but with a content hash
// in the metadata that is not the stored file's, or with none.
struct FailureRule {
  std::string endpoint;
  int nth = 1;
  int status = 500;
  std::string body;
  std::map<std::string, std::string> headers;
  bool drop = false;
  long long drop_after_bytes = -1;  // -1: the whole body is read first
  int stall_seconds = 0;
  bool answers_as_usual = false;    // a stall or a hash change without a status of its own
  long long body_bytes = 0;         // > 0: the body is that many bytes of "x" instead
  std::optional<std::string> content_hash;  // in place of the real one in the metadata
  bool omit_content_hash = false;
};

// {"endpoint", "nth", "status", "body", "headers", "drop", "drop_after_bytes",
// "stall_seconds", "body_bytes", "content_hash", "omit_content_hash"}; status 0 also
// drops, and so does drop_after_bytes.
// Throws std::invalid_argument for a rule that makes no sense.
FailureRule ParseFailureRule(const Json& rule);
// "endpoint:nth:status" from the command line; status 0 drops.
FailureRule ParseFailureOption(std::string_view option);
Json ToJson(const FailureRule& rule);
// Puts the rule's content hash into a successful answer's metadata, or takes it out.
void ApplyContentHash(const FailureRule& rule, std::string& metadata);

class FailureRules {
 public:
  void Add(FailureRule rule);
  // Counts a request to the endpoint; the rule that it triggers, if any, is used up.
  std::optional<FailureRule> Take(const std::string& endpoint);
  void Clear();

 private:
  struct Armed {
    FailureRule rule;
    int seen = 0;
  };
  std::mutex mutex_;
  std::vector<Armed> rules_;
};

}  // namespace fake_cloud

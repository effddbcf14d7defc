#pragma once

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace fake_cloud {

using Json = nlohmann::ordered_json;

// What is wrong with a path, as the service's nested error tags: {"not_found"},
// {"conflict", "folder"}. Each endpoint wraps it in its own error union.
class PathProblem : public std::runtime_error {
 public:
  PathProblem(std::initializer_list<std::string> tags)
      : std::runtime_error("path problem"), tags_(tags) {}
  const std::vector<std::string>& tags() const { return tags_; }

 private:
  std::vector<std::string> tags_;
};

// A refusal that the service answers with a JSON {"error_summary", "error"}: 409 for
// the endpoint's own errors, 401 for a bad token.
class ApiError : public std::runtime_error {
 public:
  ApiError(std::string summary, Json error, int status = 409)
      : std::runtime_error(summary), summary_(std::move(summary)), error_(std::move(error)), status_(status) {}
  const std::string& summary() const { return summary_; }
  const Json& error() const { return error_; }
  int status() const { return status_; }

 private:
  std::string summary_;
  Json error_;
  int status_;
};

// Input the service refuses with 400 and a plain-text message, which follows
// "Error in call to API function "files/...": ".
class BadInput : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A refusal of the token endpoint, answered as OAuth 2 does: 400 with
// {"error": "invalid_grant", "error_description": "..."}.
class OAuthError : public std::runtime_error {
 public:
  OAuthError(std::string error, const std::string& description)
      : std::runtime_error(description), error_(std::move(error)) {}
  const std::string& error() const { return error_; }

 private:
  std::string error_;
};

// {".tag": "conflict", "conflict": {".tag": "folder"}} from {"conflict", "folder"}.
inline Json NestedTags(const std::vector<std::string>& tags, size_t from = 0) {
  Json union_value = {{".tag", tags.at(from)}};
  if (from + 1 < tags.size()) union_value[tags[from]] = NestedTags(tags, from + 1);
  return union_value;
}

inline std::string JoinTags(const std::vector<std::string>& tags) {
  std::string joined;
  for (const auto& tag : tags) joined += tag + "/";
  return joined;
}

// An error whose union nests the tags under one more tag: "path/not_found/..".
inline ApiError NestedError(const std::string& outer, const std::vector<std::string>& tags) {
  Json error = {{".tag", outer}};
  error[outer] = NestedTags(tags);
  return ApiError(outer + "/" + JoinTags(tags) + "..", std::move(error));
}

}  // namespace fake_cloud

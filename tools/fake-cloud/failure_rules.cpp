#include "failure_rules.h"

#include <charconv>
#include <stdexcept>

namespace fake_cloud {
namespace {

void Validate(const FailureRule& rule) {
  if (rule.endpoint.empty() || rule.endpoint.front() != '/') {
    throw std::invalid_argument("endpoint must be a path such as /2/files/upload");
  }
  if (rule.nth < 1) throw std::invalid_argument("nth counts from 1");
  if (rule.stall_seconds < 0 || rule.stall_seconds > 3600) throw std::invalid_argument("stall_seconds is 0 to 3600");
  if (rule.drop_after_bytes < -1) throw std::invalid_argument("drop_after_bytes is a count of bytes");
  if (rule.body_bytes < 0 || rule.body_bytes > (1LL << 32)) throw std::invalid_argument("body_bytes is 0 to 4 GiB");
  if (rule.content_hash || rule.omit_content_hash) {
    if (rule.endpoint != "/2/files/upload" && rule.endpoint != "/2/files/upload_session/finish") {
      throw std::invalid_argument("content_hash and omit_content_hash go with /2/files/upload or "
                                  "/2/files/upload_session/finish");
    }
    if (!rule.answers_as_usual || !rule.body.empty() || rule.body_bytes > 0) {
      throw std::invalid_argument("content_hash and omit_content_hash change the usual answer: give no status, "
                                  "body or drop");
    }
    if (rule.content_hash && rule.omit_content_hash) {
      throw std::invalid_argument("content_hash and omit_content_hash exclude each other");
    }
  }
  if (!rule.drop && (rule.status < 100 || rule.status > 599)) {
    throw std::invalid_argument("status must be an HTTP status, or 0 to drop the connection");
  }
}

int ToInt(std::string_view text, const char* what) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) {
    throw std::invalid_argument(std::string(what) + " is not a number: " + std::string(text));
  }
  return value;
}

}  // namespace

FailureRule ParseFailureRule(const Json& json) {
  if (!json.is_object()) throw std::invalid_argument("a rule is a JSON object");
  FailureRule rule;
  try {
    rule.endpoint = json.at("endpoint").get<std::string>();
    rule.nth = json.value("nth", 1);
    rule.stall_seconds = json.value("stall_seconds", 0);
    rule.status = json.value("status", 500);
    rule.body = json.value("body", "");
    rule.headers = json.value("headers", std::map<std::string, std::string>{});
    rule.drop_after_bytes = json.value("drop_after_bytes", -1LL);
    rule.body_bytes = json.value("body_bytes", 0LL);
    rule.drop = json.value("drop", false) || rule.status == 0 || rule.drop_after_bytes >= 0;
    if (json.contains("content_hash")) rule.content_hash = json["content_hash"].get<std::string>();
    rule.omit_content_hash = json.value("omit_content_hash", false);
    const bool changes_hash = rule.content_hash || rule.omit_content_hash;
    rule.answers_as_usual = (rule.stall_seconds > 0 || changes_hash) && !json.contains("status") && !rule.drop;
  } catch (const Json::exception& e) {
    throw std::invalid_argument(e.what());
  }
  Validate(rule);
  return rule;
}

FailureRule ParseFailureOption(std::string_view option) {
  const size_t second = option.rfind(':');
  const size_t first = second == std::string_view::npos || second == 0 ? std::string_view::npos
                                                                        : option.rfind(':', second - 1);
  if (first == std::string_view::npos) {
    throw std::invalid_argument("--fail takes endpoint:nth:status, not " + std::string(option));
  }
  FailureRule rule;
  rule.endpoint = option.substr(0, first);
  rule.nth = ToInt(option.substr(first + 1, second - first - 1), "nth");
  rule.status = ToInt(option.substr(second + 1), "status");
  rule.drop = rule.status == 0;
  Validate(rule);
  return rule;
}

Json ToJson(const FailureRule& rule) {
  Json json = {{"endpoint", rule.endpoint}, {"nth", rule.nth},   {"status", rule.drop ? 0 : rule.status},
               {"body", rule.body},         {"headers", rule.headers}, {"drop", rule.drop},
               {"drop_after_bytes", rule.drop_after_bytes}, {"stall_seconds", rule.stall_seconds},
               {"body_bytes", rule.body_bytes}};
  if (rule.content_hash) json["content_hash"] = *rule.content_hash;
  if (rule.omit_content_hash) json["omit_content_hash"] = true;
  return json;
}

void ApplyContentHash(const FailureRule& rule, std::string& metadata) {
  if (!rule.content_hash && !rule.omit_content_hash) return;
  Json entry = Json::parse(metadata, nullptr, /*allow_exceptions=*/false);
  if (!entry.is_object() || !entry.contains("content_hash")) return;  // not a file's metadata: a refusal
  if (rule.omit_content_hash) {
    entry.erase("content_hash");
  } else {
    entry["content_hash"] = *rule.content_hash;
  }
  metadata = entry.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void FailureRules::Add(FailureRule rule) {
  std::lock_guard lock(mutex_);
  rules_.push_back(Armed{std::move(rule)});
}

std::optional<FailureRule> FailureRules::Take(const std::string& endpoint) {
  std::lock_guard lock(mutex_);
  std::optional<FailureRule> triggered;
  for (auto it = rules_.begin(); it != rules_.end();) {
    if (it->rule.endpoint == endpoint && ++it->seen == it->rule.nth) {
      if (!triggered) triggered = std::move(it->rule);
      it = rules_.erase(it);
    } else {
      ++it;
    }
  }
  return triggered;
}

void FailureRules::Clear() {
  std::lock_guard lock(mutex_);
  rules_.clear();
}

}  // namespace fake_cloud

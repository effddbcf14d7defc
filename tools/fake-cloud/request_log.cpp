#include "request_log.h"

#include <stdexcept>

namespace fake_cloud {

RequestLog::RequestLog(std::optional<std::filesystem::path> file) : file_(std::move(file)) {
  if (!file_) return;
  out_.open(*file_, std::ios::app | std::ios::binary);
  if (!out_) throw std::runtime_error("cannot open the request log " + file_->string());
}

std::string RequestLog::Text(const Json& line) {
  return line.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void RequestLog::Append(Json line) {
  std::lock_guard lock(mutex_);
  if (out_.is_open()) {
    out_ << Text(line) << '\n';
    out_.flush();
  }
  entries_.push_back(std::move(line));
}

Json RequestLog::Entries() const {
  std::lock_guard lock(mutex_);
  Json all = Json::array();
  for (const auto& line : entries_) all.push_back(line);
  return all;
}

void RequestLog::Clear() {
  std::lock_guard lock(mutex_);
  entries_.clear();
  if (out_.is_open()) {
    out_.close();
    out_.open(*file_, std::ios::trunc | std::ios::binary);
  }
}

}  // namespace fake_cloud

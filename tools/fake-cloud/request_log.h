#pragma once

#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <vector>

#include "errors.h"

namespace fake_cloud {

// Every request to the storage API, one JSON object each, in memory and, when a file
// is given, appended to it as one line. A line is flushed before the response goes
// out, so a test that has its response can read the line.
class RequestLog {
 public:
  explicit RequestLog(std::optional<std::filesystem::path> file);

  void Append(Json line);
  Json Entries() const;
  void Clear();

  // The text of one line: invalid UTF-8 (a raw byte in a header) is replaced, so
  // the line stays JSON.
  static std::string Text(const Json& line);

 private:
  std::optional<std::filesystem::path> file_;
  mutable std::mutex mutex_;
  std::ofstream out_;
  std::vector<Json> entries_;
};

}  // namespace fake_cloud

#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "platform/file_stream.h"

namespace nuvexa::backup {

// The backup file while the database server still writes it, read from its start as it
// grows. The server writes it front to back and never goes back, so every byte read is
// final; the file's end is the backup's end only once the writer says it finished.
class GrowingFile {
 public:
  explicit GrowingFile(std::string path, std::chrono::milliseconds poll = std::chrono::milliseconds(10));
  GrowingFile(const GrowingFile&) = delete;
  GrowingFile& operator=(const GrowingFile&) = delete;

  // Fills `buffer` with the file's next bytes, waiting for the writer while it may add
  // more: fewer bytes only once the writer finished and the file's end is reached. Throws
  // ZipError when the writer failed, or finished without making the file.
  std::size_t Read(std::span<char> buffer);

  // The writer's side, from another thread: the file is complete, or it is no backup. The
  // first call counts.
  void WriterFinished();
  void WriterFailed();

  const std::string& Path() const { return path_; }
  // After the reads ended: the file now at the path is the one read, and it ends where the
  // reads ended, so the reads took every byte of the finished file.
  bool ReadWhole() const;

 private:
  enum class Writer { working, finished, failed };
  Writer State();
  void Settle(Writer state);
  bool OpenWhenThere();

  std::string path_;
  std::chrono::milliseconds poll_;
  std::mutex mutex_;
  std::condition_variable changed_;
  Writer writer_ = Writer::working;
  std::optional<platform::InputFile> file_;
  std::uint64_t read_ = 0;
};

}  // namespace nuvexa::backup

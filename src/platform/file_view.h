#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/file.h"

namespace platform {

// A file opened for reading at any offset, closed when the object goes. Reads never move
// a shared position, so several ranges of one file can be streamed one after another
// without holding them in memory.
class FileView {
 public:
  // Throws FileError.
  static FileView Open(const std::string& path);

  FileView(FileView&& other) noexcept;
  FileView& operator=(FileView&& other) noexcept;
  FileView(const FileView&) = delete;
  FileView& operator=(const FileView&) = delete;
  ~FileView();

  std::uint64_t Size() const;
  // Fills `buffer` with the bytes from `offset`; fewer only at the end of the file.
  // Throws FileError.
  std::size_t ReadAt(std::uint64_t offset, std::span<char> buffer) const;

  const std::string& Path() const { return path_; }

 private:
  FileView(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  int fd_ = -1;
  std::string path_;
};

// Gives `from` the name `to` in one step, replacing a file of that name, so a reader of
// `to` sees either the old file or the whole new one. Both must be on one file system.
// Throws FileError.
void ReplaceFile(const std::string& from, const std::string& to);

}  // namespace platform

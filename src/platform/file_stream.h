#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace platform {

// A file opened for reading from its start, closed when the object goes.
class InputFile {
 public:
  // Throws FileError.
  static InputFile Open(const std::string& path);

  InputFile(InputFile&& other) noexcept;
  InputFile& operator=(InputFile&& other) noexcept;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();

  std::uint64_t Size() const;
  // Fills `buffer` with the next bytes of the file; fewer only at its end, none after it.
  std::size_t Read(std::span<char> buffer);
  // Fills `buffer` with the bytes from `offset` without moving the read position; fewer
  // only at the end of the file. Lets ranges of one file be streamed one after another.
  std::size_t ReadAt(std::uint64_t offset, std::span<char> buffer) const;
  // Whether `path` names the file this object reads, and not another one put there since.
  bool IsFileAt(const std::string& path) const;

  const std::string& Path() const { return path_; }

 private:
  InputFile(std::intptr_t fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  // the descriptor; on Windows the HANDLE's value (INVALID_HANDLE_VALUE is -1 too)
  std::intptr_t fd_ = -1;
  std::string path_;
};

// A file created, or truncated when present, for writing. It never stays readable by
// other users (mode 0640 at most, whatever the umask): it may hold the pharmacy's data.
// A symbolic link, a second hard link or anything but a regular file at the path is
// refused, not written through.
class OutputFile {
 public:
  // Throws FileError.
  static OutputFile Create(const std::string& path);

  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&& other) noexcept;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  // Closes without reporting: call Close() to learn whether the last writes reached the file.
  ~OutputFile();

  // Writes all of `bytes` at the current position, which moves past them.
  void Write(std::string_view bytes);
  // Writes all of `bytes` at `offset`; the current position stays where it was.
  void WriteAt(std::uint64_t offset, std::string_view bytes);
  std::uint64_t Position() const { return position_; }
  // Cuts or extends the file to `size` bytes and moves the current position to its end.
  void Resize(std::uint64_t size);
  // Waits until what was written is on the disk.
  void Flush();
  void Close();

  const std::string& Path() const { return path_; }

 private:
  OutputFile(std::intptr_t fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  // the descriptor; on Windows the HANDLE's value (INVALID_HANDLE_VALUE is -1 too)
  std::intptr_t fd_ = -1;
  std::uint64_t position_ = 0;
  std::string path_;
};

}  // namespace platform

#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

// A failure of the file system, carrying the message that the log and the callers show.
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

bool FileExists(const std::string& path);

// Hands `bytes` to `write_some` until all are written. `write_some` writes a leading part of
// what it is given and returns how many bytes that was, throwing FileError for the system's
// failures. Writing nothing is a failure too (FileError naming `path`): a target that takes
// no bytes would otherwise be asked for ever.
void WriteAll(const std::string& path, std::string_view bytes,
              const std::function<std::size_t(std::string_view rest)>& write_some);

// An open file, closed when the object goes. Files are created with mode 0640 at most
// (the pharmacy's data must not be readable by other users) and never opened through a
// symbolic link or a second hard link: the folder may be shared with the server's account.
class File {
 public:
  enum class Access { ReadAppend, WriteAppend };

  // Opens for appending, creating the file when missing. Throws FileError.
  static File OpenForAppend(const std::string& path, Access access);

  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  // How long LockExclusive waits by default.
  static constexpr std::chrono::milliseconds kLockPatience{10'000};

  // Waits up to `patience` for an exclusive advisory lock, released when the file is
  // closed, so two writers never interleave their entries. Throws FileError when another
  // process still holds the file locked: a stuck writer must not stop the service.
  void LockExclusive(std::chrono::milliseconds patience = kLockPatience);
  std::uint64_t Size() const;
  // Up to `count` bytes from `offset`; fewer at the end of the file.
  std::string ReadAt(std::uint64_t offset, std::size_t count) const;
  // Writes all of `bytes` at the end; on failure the file is cut back to its size before
  // the call, so a half-written entry never stays behind, and FileError is thrown.
  void Append(std::string_view bytes);

 private:
  File(std::intptr_t fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  // the descriptor; on Windows the HANDLE's value (INVALID_HANDLE_VALUE is -1 too)
  std::intptr_t fd_ = -1;
  std::string path_;
};

}  // namespace platform

#include "platform/file_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/file.h"
#include "platform/posix/private_file.h"

namespace platform {
namespace {

[[noreturn]] void ThrowFileError(const char* what, const std::string& path, int error) {
  throw FileError(std::string(what) + " \"" + path + "\". " + std::strerror(error));
}

}  // namespace

InputFile InputFile::Open(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) ThrowFileError("Cannot open file", path, errno);
  return InputFile(fd, path);
}

InputFile::InputFile(InputFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
  }
  return *this;
}

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

std::uint64_t InputFile::Size() const {
  struct stat st{};
  if (::fstat(fd_, &st) != 0) ThrowFileError("Cannot read file", path_, errno);
  return static_cast<std::uint64_t>(st.st_size);
}

std::size_t InputFile::ReadAt(std::uint64_t offset, std::span<char> buffer) const {
  std::size_t done = 0;
  while (done < buffer.size()) {
    const ssize_t n = ::pread(fd_, buffer.data() + done, buffer.size() - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowFileError("Cannot read file", path_, errno);
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

bool InputFile::IsFileAt(const std::string& path) const {
  struct stat ours{};
  struct stat there{};
  if (::fstat(fd_, &ours) != 0 || ::stat(path.c_str(), &there) != 0) return false;
  return ours.st_dev == there.st_dev && ours.st_ino == there.st_ino;
}

std::size_t InputFile::Read(std::span<char> buffer) {
  std::size_t done = 0;
  while (done < buffer.size()) {
    const ssize_t n = ::read(fd_, buffer.data() + done, buffer.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowFileError("Cannot read file", path_, errno);
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

OutputFile OutputFile::Create(const std::string& path) {
  std::string failure;
  const int fd = posix::OpenPrivateFile(path, O_WRONLY | O_TRUNC, failure);
  if (fd < 0) throw FileError("Cannot create file \"" + path + "\". " + failure);
  return OutputFile(fd, path);
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), position_(other.position_), path_(std::move(other.path_)) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    position_ = other.position_;
    path_ = std::move(other.path_);
  }
  return *this;
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) ::close(fd_);
}

void OutputFile::Write(std::string_view bytes) {
  WriteAt(position_, bytes);
  position_ += bytes.size();
}

void OutputFile::WriteAt(std::uint64_t offset, std::string_view bytes) {
  if (fd_ < 0) throw FileError("Cannot write file \"" + path_ + "\". The file is closed.");
  std::uint64_t at = offset;
  WriteAll(path_, bytes, [&](std::string_view rest) {
    for (;;) {
      const ssize_t n = ::pwrite(fd_, rest.data(), rest.size(), static_cast<off_t>(at));
      if (n >= 0) {
        at += static_cast<std::uint64_t>(n);
        return static_cast<std::size_t>(n);
      }
      if (errno != EINTR) ThrowFileError("Cannot write file", path_, errno);
    }
  });
}

void OutputFile::Resize(std::uint64_t size) {
  if (fd_ < 0) throw FileError("Cannot write file \"" + path_ + "\". The file is closed.");
  while (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
    if (errno != EINTR) ThrowFileError("Cannot write file", path_, errno);
  }
  position_ = size;
}

void OutputFile::Flush() {
  if (fd_ < 0) throw FileError("Cannot write file \"" + path_ + "\". The file is closed.");
  if (::fsync(fd_) != 0) ThrowFileError("Cannot write file", path_, errno);
}

void OutputFile::Close() {
  if (fd_ < 0) return;
  // Linux releases the descriptor even when close fails, so it is never retried.
  if (::close(std::exchange(fd_, -1)) != 0) ThrowFileError("Cannot close file", path_, errno);
}

}  // namespace platform

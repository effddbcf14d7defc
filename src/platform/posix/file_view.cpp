#include "platform/file_view.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace platform {
namespace {

[[noreturn]] void ThrowFileError(const char* what, const std::string& path, int error) {
  throw FileError(std::string(what) + " \"" + path + "\". " + std::strerror(error));
}

}  // namespace

FileView FileView::Open(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) ThrowFileError("Cannot open file", path, errno);
  return FileView(fd, path);
}

FileView::FileView(FileView&& other) noexcept : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

FileView& FileView::operator=(FileView&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
  }
  return *this;
}

FileView::~FileView() {
  if (fd_ >= 0) ::close(fd_);
}

std::uint64_t FileView::Size() const {
  struct stat st{};
  if (::fstat(fd_, &st) != 0) ThrowFileError("Cannot read file", path_, errno);
  return static_cast<std::uint64_t>(st.st_size);
}

std::size_t FileView::ReadAt(std::uint64_t offset, std::span<char> buffer) const {
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

void ReplaceFile(const std::string& from, const std::string& to) {
  if (std::rename(from.c_str(), to.c_str()) != 0) ThrowFileError("Cannot replace file", to, errno);
}

}  // namespace platform

#include "platform/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/posix/private_file.h"

namespace platform {
namespace {

std::string SystemMessage(int error) { return std::strerror(error); }

[[noreturn]] void ThrowFileError(const char* what, const std::string& path, int error) {
  throw FileError(std::string(what) + " \"" + path + "\". " + SystemMessage(error));
}

}  // namespace

bool FileExists(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

File File::OpenForAppend(const std::string& path, Access access) {
  const int mode = access == Access::ReadAppend ? O_RDWR : O_WRONLY;
  const bool existed = FileExists(path);
  std::string failure;
  const int fd = posix::OpenPrivateFile(path, mode | O_APPEND, failure);
  if (fd < 0) throw FileError(std::string(existed ? "Cannot open file" : "Cannot create file") + " \"" + path + "\". " + failure);
  return File(fd, path);
}

File::File(File&& other) noexcept : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
  }
  return *this;
}

File::~File() {
  if (fd_ >= 0) ::close(fd_);
}

void File::LockExclusive() {
  while (::flock(fd_, LOCK_EX) != 0) {
    if (errno != EINTR) ThrowFileError("Cannot lock file", path_, errno);
  }
}

std::uint64_t File::Size() const {
  struct stat st{};
  if (::fstat(fd_, &st) != 0) ThrowFileError("Cannot read file", path_, errno);
  return static_cast<std::uint64_t>(st.st_size);
}

std::string File::ReadAt(std::uint64_t offset, std::size_t count) const {
  std::string buffer(count, '\0');
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd_, buffer.data() + done, count - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowFileError("Cannot read file", path_, errno);
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  buffer.resize(done);
  return buffer;
}

void File::Append(std::string_view bytes) {
  const std::uint64_t size_before = Size();
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      if (::ftruncate(fd_, static_cast<off_t>(size_before)) != 0) {
        // nothing more can be done: the write error is the one to report
      }
      ThrowFileError("Cannot write file", path_, error);
    }
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace platform

#include "platform/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>
#include <utility>

#include "platform/posix/private_file.h"

namespace platform {
namespace {

std::string SystemMessage(int error) { return std::strerror(error); }

[[noreturn]] void ThrowFileError(const char* what, const std::string& path, int error) {
  throw FileError(std::string(what) + " \"" + path + "\". " + SystemMessage(error));
}

// One write(2) of what is left, retried when a signal interrupts it.
std::size_t WriteSome(int fd, std::string_view rest, const std::string& path) {
  for (;;) {
    const ssize_t n = ::write(fd, rest.data(), rest.size());
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) ThrowFileError("Cannot write file", path, errno);
  }
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

void File::LockExclusive(std::chrono::milliseconds patience) {
  using Clock = std::chrono::steady_clock;
  constexpr std::chrono::milliseconds kStep{20};
  const Clock::time_point deadline = Clock::now() + patience;
  while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) ThrowFileError("Cannot lock file", path_, errno);
    const Clock::time_point now = Clock::now();
    if (now >= deadline)
      throw FileError("Cannot lock file \"" + path_ + "\". Another process keeps it locked.");
    std::this_thread::sleep_for(std::min<Clock::duration>(kStep, deadline - now));
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
  try {
    WriteAll(path_, bytes, [this](std::string_view rest) { return WriteSome(fd_, rest, path_); });
  } catch (const FileError&) {
    if (::ftruncate(fd_, static_cast<off_t>(size_before)) != 0) {
      // nothing more can be done: the write error is the one to report
    }
    throw;
  }
}

}  // namespace platform

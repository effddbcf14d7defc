#include "platform/posix/private_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform::posix {
namespace {

constexpr mode_t kMostMode = 0640;

int Fail(int fd, std::string& failure, std::string reason) {
  if (fd >= 0) ::close(fd);
  failure = std::move(reason);
  return -1;
}

constexpr const char* kSymbolicLink = "It is a symbolic link, which is not followed.";
constexpr const char* kNotARegularFile = "It is not a regular file.";

}  // namespace

const char* RefusalOf(const struct stat& found) {
  if (S_ISLNK(found.st_mode)) return kSymbolicLink;
  if (!S_ISREG(found.st_mode)) return kNotARegularFile;
  // a second name elsewhere would make us write into a file that lies outside our folder
  if (found.st_nlink > 1) return "It has more than one name (a hard link), which is not followed.";
  return nullptr;
}

int OpenPrivateFile(const std::string& path, int flags, std::string& failure) {
  const bool truncate = (flags & O_TRUNC) != 0;
  const int fd = ::open(path.c_str(), (flags & ~O_TRUNC) | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, kMostMode);
  if (fd < 0) {
    const int error = errno;
    if (error == ELOOP) return Fail(-1, failure, kSymbolicLink);
    // what O_NONBLOCK gives for a FIFO without a reader
    if (error == ENXIO) return Fail(-1, failure, kNotARegularFile);
    return Fail(-1, failure, std::strerror(error));
  }
  struct stat st{};
  if (::fstat(fd, &st) != 0) return Fail(fd, failure, std::strerror(errno));
  if (const char* refusal = RefusalOf(st)) return Fail(fd, failure, refusal);
  if ((st.st_mode & 07777 & ~kMostMode) != 0 && ::fchmod(fd, st.st_mode & kMostMode) != 0)
    return Fail(fd, failure, std::strerror(errno));
  if (truncate && ::ftruncate(fd, 0) != 0) return Fail(fd, failure, std::strerror(errno));
  const int status = ::fcntl(fd, F_GETFL);
  if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) return Fail(fd, failure, std::strerror(errno));
  return fd;
}

}  // namespace platform::posix

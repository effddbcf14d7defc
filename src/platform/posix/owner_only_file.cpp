#include "platform/owner_only_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/file.h"

namespace platform {
namespace {

[[noreturn]] void Fail(const std::string& path, const std::string& reason) {
  throw FileError("Cannot write file \"" + path + "\". " + reason);
}

}  // namespace

void WriteOwnerOnlyFile(const std::string& path, std::string_view content) {
  struct stat st{};
  if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
    Fail(path, S_ISLNK(st.st_mode) ? "It is a symbolic link, which is not followed." : "It is not a regular file.");
  const std::string::size_type slash = path.rfind('/');
  const std::string::size_type name = slash == std::string::npos ? 0 : slash + 1;
  const std::string partial = path.substr(0, name) + "." + path.substr(name) + ".part";
  ::unlink(partial.c_str());
  // created 0600 from the start: the secret is never readable by others, not even for a moment
  const int fd = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) Fail(path, std::strerror(errno));
  bool open = true;
  try {
    WriteAll(partial, content, [&](std::string_view rest) {
      for (;;) {
        const ssize_t n = ::write(fd, rest.data(), rest.size());
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) Fail(path, std::strerror(errno));
      }
    });
    if (::fsync(fd) != 0) Fail(path, std::strerror(errno));
    open = false;
    if (::close(fd) != 0) Fail(path, std::strerror(errno));
  } catch (...) {
    if (open) ::close(fd);
    ::unlink(partial.c_str());
    throw;
  }
  if (std::rename(partial.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(partial.c_str());
    Fail(path, std::strerror(error));
  }
}

}  // namespace platform

#include "platform/folders.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/file.h"
#include "platform/posix/private_file.h"

namespace platform {
namespace {

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // Closes now, so that a failure to close (a full disk on some file systems) is seen.
  int Close() { return ::close(std::exchange(fd_, -1)); }

 private:
  int fd_;
};

[[noreturn]] void ThrowSystemError(int error) { throw FileError(std::strerror(error)); }

void CopyContent(int in, Descriptor& out, const std::string& target) {
  std::vector<char> buffer(1 << 20);
  for (;;) {
    const ssize_t n = ::read(in, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowSystemError(errno);
    }
    if (n == 0) break;
    WriteAll(target, std::string_view(buffer.data(), static_cast<std::size_t>(n)), [&](std::string_view rest) {
      for (;;) {
        const ssize_t w = ::write(out.get(), rest.data(), rest.size());
        if (w >= 0) return static_cast<std::size_t>(w);
        if (errno != EINTR) ThrowSystemError(errno);
      }
    });
  }
  // the copy is renamed into place next: its bytes must be on the disk before its name is
  if (::fdatasync(out.get()) != 0) ThrowSystemError(errno);
  if (out.Close() != 0) ThrowSystemError(errno);
}

// The copy replaces the target by a rename, which never writes through what is there; still,
// what OpenPrivateFile refuses to write into is refused here too, and so is the source
// itself under another path (a link, a mount, "//"): it is the only copy there is.
void CheckTarget(const std::string& target, const struct stat& source) {
  struct stat st{};
  if (::stat(target.c_str(), &st) == 0 && st.st_dev == source.st_dev && st.st_ino == source.st_ino)
    throw FileError("\"" + target + "\" is the file being copied itself.");
  if (::lstat(target.c_str(), &st) != 0) {
    if (errno == ENOENT) return;
    ThrowSystemError(errno);
  }
  if (const char* refusal = posix::RefusalOf(st)) throw FileError(refusal);
}

// Beside the target, so that the rename stays on one file system; hidden, so that no trim,
// copy or upload takes it for a backup meanwhile.
std::string PartialName(const std::string& target) {
  const std::string::size_type slash = target.rfind('/');
  const std::string::size_type name = slash == std::string::npos ? 0 : slash + 1;
  return target.substr(0, name) + "." + target.substr(name) + ".part";
}

}  // namespace

bool DirectoryExists(const std::string& folder) {
  struct stat st{};
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void ForceDirectories(const std::string& folder) {
  std::string path = folder;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path.empty() || DirectoryExists(path)) return;
  const auto slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) ForceDirectories(path.substr(0, slash));
  if (::mkdir(path.c_str(), 02770) != 0 && errno != EEXIST)
    throw FileError("Cannot create folder \"" + path + "\". " + std::strerror(errno));
  // mkdir's mode passes through the umask; the server's group needs its bits all the same
  ::chmod(path.c_str(), 02770);
}

void CreateSharedFolder(const std::string& folder, const std::string& group) {
  std::string path = folder;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (DirectoryExists(path)) return;
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
    throw FileError("Cannot create folder \"" + path + "\". " + std::strerror(errno));
  // the group first, then the bits: nobody else can enter meanwhile
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) throw FileError("Cannot create folder \"" + path + "\". " + std::strerror(errno));
  const Descriptor folder_fd(fd);
  if (const ::group* entry = ::getgrnam(group.c_str()); entry != nullptr) {
    if (::fchown(folder_fd.get(), static_cast<uid_t>(-1), entry->gr_gid) != 0)
      throw FileError("Cannot give folder \"" + path + "\" to group " + group + ". " + std::strerror(errno));
  }
  if (::fchmod(folder_fd.get(), 02770) != 0)
    throw FileError("Cannot create folder \"" + path + "\". " + std::strerror(errno));
}

void CopyFileReplacing(const std::string& source, const std::string& target) {
  Descriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) ThrowSystemError(errno);
  struct stat source_st{};
  if (::fstat(in.get(), &source_st) != 0) ThrowSystemError(errno);
  CheckTarget(target, source_st);
  // written under another name and renamed into place: a failed copy leaves the target as
  // it was, and a half-written one never passes for a backup
  const std::string partial = PartialName(target);
  std::string failure;
  Descriptor out(posix::OpenPrivateFile(partial, O_WRONLY | O_TRUNC, failure));
  if (out.get() < 0) throw FileError(failure);
  try {
    CopyContent(in.get(), out, target);
    if (std::rename(partial.c_str(), target.c_str()) != 0) ThrowSystemError(errno);
  } catch (...) {
    ::unlink(partial.c_str());
    throw;
  }
}

void ReplaceFile(const std::string& from, const std::string& to) {
  if (std::rename(from.c_str(), to.c_str()) != 0)
    throw FileError("Cannot replace file \"" + to + "\". " + std::strerror(errno));
}

}  // namespace platform

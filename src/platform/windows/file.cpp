#include "platform/file.h"

#include <algorithm>
#include <thread>
#include <utility>

#include "platform/windows/private_file.h"
#include "platform/windows/wide.h"

namespace platform {
namespace {

using windows::AsFd;
using windows::AsHandle;
using windows::At;
using windows::CloseFile;
using windows::kMostPerCall;
using windows::ThrowFileError;

// The byte that LockExclusive locks. Windows' locks are mandatory for the range they cover,
// so it lies far beyond any log: readers and writers of the file's bytes are never stopped,
// as with flock's advisory locks, while two lockers still exclude each other.
constexpr std::uint64_t kLockOffset = std::uint64_t{1} << 62;

}  // namespace

bool FileExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(windows::Widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

File File::OpenForAppend(const std::string& path, Access access) {
  // GENERIC_WRITE, not FILE_APPEND_DATA alone: a failed Append cuts the file back
  const DWORD rights = access == Access::ReadAppend ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE;
  const bool existed = FileExists(path);
  std::string failure;
  windows::Handle file = windows::OpenPrivateFile(path, rights, false, FILE_ATTRIBUTE_NORMAL, failure);
  if (!file)
    throw FileError(std::string(existed ? "Cannot open file" : "Cannot create file") + " \"" + path + "\". " + failure);
  return File(AsFd(file.release()), path);
}

File::File(File&& other) noexcept : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    CloseFile(fd_);
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
  }
  return *this;
}

File::~File() {
  if (fd_ == -1) return;
  // Windows frees the locks of a closed handle only some time later: the next writer is not
  // made to wait for that
  OVERLAPPED lock = At(kLockOffset);
  ::UnlockFileEx(AsHandle(fd_), 0, 1, 0, &lock);
  CloseFile(fd_);
}

void File::LockExclusive(std::chrono::milliseconds patience) {
  using Clock = std::chrono::steady_clock;
  constexpr std::chrono::milliseconds kStep{20};
  const Clock::time_point deadline = Clock::now() + patience;
  for (;;) {
    OVERLAPPED lock = At(kLockOffset);
    if (::LockFileEx(AsHandle(fd_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &lock)) return;
    const DWORD error = ::GetLastError();
    if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) ThrowFileError("Cannot lock file", path_, error);
    const Clock::time_point now = Clock::now();
    if (now >= deadline) throw FileError("Cannot lock file \"" + path_ + "\". Another process keeps it locked.");
    std::this_thread::sleep_for(std::min<Clock::duration>(kStep, deadline - now));
  }
}

std::uint64_t File::Size() const {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(AsHandle(fd_), &size)) ThrowFileError("Cannot read file", path_, ::GetLastError());
  return static_cast<std::uint64_t>(size.QuadPart);
}

std::string File::ReadAt(std::uint64_t offset, std::size_t count) const {
  std::string buffer(count, '\0');
  std::size_t done = 0;
  while (done < count) {
    OVERLAPPED at = At(offset + done);
    DWORD n = 0;
    if (!::ReadFile(AsHandle(fd_), buffer.data() + done, static_cast<DWORD>(std::min(count - done, kMostPerCall)), &n,
                    &at)) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_HANDLE_EOF) break;
      ThrowFileError("Cannot read file", path_, error);
    }
    if (n == 0) break;
    done += n;
  }
  buffer.resize(done);
  return buffer;
}

void File::Append(std::string_view bytes) {
  const std::uint64_t size_before = Size();
  try {
    WriteAll(path_, bytes, [this](std::string_view rest) {
      // this offset writes at the end of the file, wherever that is by then, as O_APPEND does
      OVERLAPPED end{};
      end.Offset = end.OffsetHigh = 0xFFFFFFFF;
      DWORD n = 0;
      if (!::WriteFile(AsHandle(fd_), rest.data(), static_cast<DWORD>(std::min(rest.size(), kMostPerCall)), &n, &end))
        ThrowFileError("Cannot write file", path_, ::GetLastError());
      return static_cast<std::size_t>(n);
    });
  } catch (const FileError&) {
    // nothing more can be done when this fails too: the write error is the one to report
    windows::SetSize(AsHandle(fd_), size_before);
    throw;
  }
}

}  // namespace platform

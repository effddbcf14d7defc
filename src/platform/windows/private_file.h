#pragma once

// What the Windows files, streams and folders share: opening the service's own files the
// safe way and telling files apart by identity rather than by path.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "platform/file.h"

#include "platform/windows/wide.h"

namespace platform::windows {

// Others may read, write, rename or delete a file the service holds open, as on POSIX: the
// archive is read through a second handle while it grows, the log is read while written.
inline constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

inline HANDLE AsHandle(std::intptr_t fd) { return reinterpret_cast<HANDLE>(fd); }
inline std::intptr_t AsFd(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

// No open file: INVALID_HANDLE_VALUE's value, the -1 of the POSIX side too.
inline constexpr std::intptr_t kNoFile = -1;
// One ReadFile or WriteFile takes a DWORD count.
inline constexpr std::size_t kMostPerCall = 1u << 30;

// Closes the file the value holds, when it holds one.
inline void CloseFile(std::intptr_t fd) {
  if (fd != kNoFile) ::CloseHandle(AsHandle(fd));
}

// The position of a read or write at `offset`.
inline OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED overlapped{};
  overlapped.Offset = static_cast<DWORD>(offset);
  overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return overlapped;
}

// FileError "<what> "<path>". <the system's text>", as the POSIX side words it.
[[noreturn]] inline void ThrowFileError(const char* what, const std::string& path, DWORD error) {
  throw FileError(std::string(what) + " \"" + path + "\". " + ErrorText(error));
}

// What a file is, as the checks below need it.
struct Found {
  BY_HANDLE_FILE_INFORMATION info{};
  DWORD reparse_tag = 0;  // meaningful only with FILE_ATTRIBUTE_REPARSE_POINT
  DWORD type = FILE_TYPE_UNKNOWN;
};

// The file at `path` (a folder too), through links when `follow`; none when it cannot be
// looked at.
std::optional<Found> Inspect(const std::string& path, bool follow);
// Whether two looks are of one file: the same volume and the same file index.
bool SameIdentity(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b);

// Whether it is a symbolic link, a junction or another reparse point that stands for a name.
bool IsLink(const Found& found);

// Why a file found where the service writes is refused, as the log shows it: a symbolic
// link or junction, anything but a regular file on a disk, or a file with a second name.
// Null when it is none of those.
const char* RefusalOf(const Found& found);

// Opens, creating when missing (with `attributes`), a file that the service writes for
// itself, never through a link and only when RefusalOf has nothing against it; `truncate`
// empties it once it has passed. The ACL is the one the folder passes on: the service's
// folders are what keeps the pharmacy's data from other users on Windows. Returns no handle,
// with `failure` set to the reason, when it fails.
Handle OpenPrivateFile(const std::string& path, DWORD access, bool truncate, DWORD attributes, std::string& failure);

// Clears the hidden attribute through an open handle (FILE_WRITE_ATTRIBUTES): a file written
// hidden under a temporary name must not stay hidden once it has its real one.
bool ClearHidden(HANDLE file);

// Cuts or extends the file to `size` bytes without moving its file pointer.
bool SetSize(HANDLE file, std::uint64_t size);

}  // namespace platform::windows

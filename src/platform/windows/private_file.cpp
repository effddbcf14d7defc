#include "platform/windows/private_file.h"

namespace platform::windows {
namespace {

constexpr const char* kSymbolicLink = "It is a symbolic link, which is not followed.";
constexpr const char* kNotARegularFile = "It is not a regular file.";

std::optional<Found> Describe(HANDLE file) {
  Found found;
  if (!::GetFileInformationByHandle(file, &found.info)) return std::nullopt;
  if ((found.info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    // a tag that cannot be read is taken for a link: refusing is the safe side
    found.reparse_tag = ::GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag)
                            ? tag.ReparseTag
                            : IO_REPARSE_TAG_SYMLINK;
  }
  found.type = ::GetFileType(file);
  return found;
}

}  // namespace

bool IsLink(const Found& found) {
  return (found.info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
         IsReparseTagNameSurrogate(found.reparse_tag);
}

std::optional<Found> Inspect(const std::string& path, bool follow) {
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  const Handle file(
      ::CreateFileW(Widen(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr));
  if (!file) return std::nullopt;
  return Describe(file.get());
}

bool SameIdentity(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

const char* RefusalOf(const Found& found) {
  if (IsLink(found)) return kSymbolicLink;
  if (found.type != FILE_TYPE_DISK || (found.info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return kNotARegularFile;
  // a second name elsewhere would make us write into a file that lies outside our folder
  if (found.info.nNumberOfLinks > 1) return "It has more than one name (a hard link), which is not followed.";
  return nullptr;
}

Handle OpenPrivateFile(const std::string& path, DWORD access, bool truncate, DWORD attributes, std::string& failure) {
  const std::wstring wide = Widen(path);
  const auto open = [&](DWORD flags) {
    return Handle(::CreateFileW(wide.c_str(), access | FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_ALWAYS,
                                attributes | flags, nullptr));
  };
  Handle file = open(FILE_FLAG_OPEN_REPARSE_POINT);
  if (!file) {
    const DWORD error = ::GetLastError();
    const DWORD there = ::GetFileAttributesW(wide.c_str());
    failure = there != INVALID_FILE_ATTRIBUTES && (there & FILE_ATTRIBUTE_DIRECTORY) != 0 ? kNotARegularFile
                                                                                          : ErrorText(error);
    return {};
  }
  std::optional<Found> found = Describe(file.get());
  if (found && (found->info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && !IsLink(*found)) {
    // a reparse point that is no link (a deduplicated or cloud file) is opened as the file it is
    file = open(0);
    if (!file) {
      failure = ErrorText(::GetLastError());
      return {};
    }
    found = Describe(file.get());
  }
  if (!found) {
    failure = ErrorText(::GetLastError());
    return {};
  }
  if (const char* refusal = RefusalOf(*found)) {
    failure = refusal;
    return {};
  }
  if (truncate && !SetSize(file.get(), 0)) {
    failure = ErrorText(::GetLastError());
    return {};
  }
  return file;
}

bool ClearHidden(HANDLE file) {
  FILE_BASIC_INFO basic{};
  if (!::GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) return false;
  if ((basic.FileAttributes & FILE_ATTRIBUTE_HIDDEN) == 0) return true;
  basic.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN);
  if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  // zero times are left as they are
  basic.CreationTime.QuadPart = basic.LastAccessTime.QuadPart = 0;
  basic.LastWriteTime.QuadPart = basic.ChangeTime.QuadPart = 0;
  return ::SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic) != 0;
}

bool SetSize(HANDLE file, std::uint64_t size) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  return ::SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end) != 0;
}

}  // namespace platform::windows

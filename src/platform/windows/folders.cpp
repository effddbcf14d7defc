#include "platform/folders.h"

#include <optional>
#include <vector>

#include "platform/file.h"
#include "platform/windows/private_file.h"
#include "platform/windows/wide.h"

// <windows.h> would make platform::ReplaceFile platform::ReplaceFileW
#undef ReplaceFile

// New folders take the ACL their parent passes on: on Windows that, not a mode, is what keeps
// the pharmacy's data from other users, and the service's folders are made under ones that
// Windows already keeps to the administrators and the services.
namespace platform {
namespace {

[[noreturn]] void ThrowSystemError(DWORD error) { throw FileError(windows::ErrorText(error)); }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && IsSeparator(path.back())) path.pop_back();
  return path;
}

// Creates one folder; an existing one is no failure.
void CreateFolder(const std::string& path) {
  if (!::CreateDirectoryW(windows::Widen(path).c_str(), nullptr)) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS && DirectoryExists(path)) return;
    throw FileError("Cannot create folder \"" + path + "\". " + windows::ErrorText(error));
  }
}

void CopyContent(HANDLE in, HANDLE out, const std::string& target) {
  std::vector<char> buffer(1 << 20);
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(in, buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr)) ThrowSystemError(::GetLastError());
    if (n == 0) break;
    WriteAll(target, std::string_view(buffer.data(), n), [&](std::string_view rest) {
      DWORD w = 0;
      if (!::WriteFile(out, rest.data(), static_cast<DWORD>(rest.size()), &w, nullptr)) ThrowSystemError(::GetLastError());
      return static_cast<std::size_t>(w);
    });
  }
  // the copy is renamed into place next: its bytes must be on the disk before its name is
  if (!::FlushFileBuffers(out)) ThrowSystemError(::GetLastError());
}

// The copy replaces the target by a rename, which never writes through what is there; still,
// what OpenPrivateFile refuses to write into is refused here too, and so is the source
// itself under another path (another case, "\\", "..", a link): it is the only copy there is.
void CheckTarget(const std::string& target, const BY_HANDLE_FILE_INFORMATION& source) {
  if (const std::optional<windows::Found> there = windows::Inspect(target, true);
      there && windows::SameIdentity(there->info, source))
    throw FileError("\"" + target + "\" is the file being copied itself.");
  const std::optional<windows::Found> found = windows::Inspect(target, false);
  if (!found) {
    const DWORD error = ::GetLastError();
    // a missing folder is for the copy's own opening to report
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
    ThrowSystemError(error);
  }
  if (const char* refusal = windows::RefusalOf(*found)) throw FileError(refusal);
}

// Beside the target, so that the rename stays on one volume; hidden, by its name and by its
// attribute, so that no trim, copy or upload takes it for a backup meanwhile.
std::string PartialName(const std::string& target) {
  const std::string::size_type slash = target.find_last_of("\\/");
  const std::string::size_type name = slash == std::string::npos ? 0 : slash + 1;
  return target.substr(0, name) + "." + target.substr(name) + ".part";
}

bool Rename(const std::string& from, const std::string& to) {
  return ::MoveFileExW(windows::Widen(from).c_str(), windows::Widen(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace

bool DirectoryExists(const std::string& folder) {
  const DWORD attributes = ::GetFileAttributesW(windows::Widen(folder).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void ForceDirectories(const std::string& folder) {
  const std::string path = WithoutTrailingSeparators(folder);
  if (path.empty() || DirectoryExists(path)) return;
  const auto slash = path.find_last_of("\\/");
  if (slash != std::string::npos && slash > 0) ForceDirectories(path.substr(0, slash));
  CreateFolder(path);
}

// Windows has no group owner or setgid bit to give the folder: the server, a service (the
// local system account by default), reaches it through the ACL it inherits, so it only has
// to exist.
void CreateSharedFolder(const std::string& folder, const std::string& /*group*/) {
  const std::string path = WithoutTrailingSeparators(folder);
  if (!DirectoryExists(path)) CreateFolder(path);
}

void CopyFileReplacing(const std::string& source, const std::string& target) {
  const windows::Handle in(::CreateFileW(windows::Widen(source).c_str(), GENERIC_READ, windows::kShareAll, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!in) ThrowSystemError(::GetLastError());
  BY_HANDLE_FILE_INFORMATION source_info{};
  if (!::GetFileInformationByHandle(in.get(), &source_info)) ThrowSystemError(::GetLastError());
  CheckTarget(target, source_info);
  // written under another name and renamed into place: a failed copy leaves the target as
  // it was, and a half-written one never passes for a backup
  const std::string partial = PartialName(target);
  std::string failure;
  windows::Handle out = windows::OpenPrivateFile(partial, GENERIC_WRITE | FILE_WRITE_ATTRIBUTES, true,
                                                 FILE_ATTRIBUTE_HIDDEN, failure);
  if (!out) throw FileError(failure);
  try {
    CopyContent(in.get(), out.get(), target);
    // cleared before the rename: the target must not turn up hidden, not even for a moment
    if (!windows::ClearHidden(out.get())) ThrowSystemError(::GetLastError());
    if (!::CloseHandle(out.release())) ThrowSystemError(::GetLastError());
    if (!Rename(partial, target)) ThrowSystemError(::GetLastError());
  } catch (...) {
    out.reset();
    ::DeleteFileW(windows::Widen(partial).c_str());
    throw;
  }
}

void ReplaceFile(const std::string& from, const std::string& to) {
  if (!Rename(from, to)) throw FileError("Cannot replace file \"" + to + "\". " + windows::ErrorText(::GetLastError()));
}

}  // namespace platform

#include "platform/owner_only_file.h"

#include <memory>
#include <optional>

#include "platform/file.h"
#include "platform/windows/private_file.h"
#include "platform/windows/wide.h"

// after <windows.h>, which it needs
#include <sddl.h>

namespace platform {
namespace {

// What 0600 is where the file is written by an administrator's console and read by the
// service: the owner, the local system account and the administrators, nobody else, and
// nothing inherited from the folder (the protected DACL).
constexpr const wchar_t* kOwnerOnly = L"D:P(A;;FA;;;OW)(A;;FA;;;SY)(A;;FA;;;BA)";

[[noreturn]] void Fail(const std::string& path, const std::string& reason) {
  throw FileError("Cannot write file \"" + path + "\". " + reason);
}

[[noreturn]] void FailWithSystemError(const std::string& path) { Fail(path, windows::ErrorText(::GetLastError())); }

}  // namespace

void WriteOwnerOnlyFile(const std::string& path, std::string_view content) {
  if (const std::optional<windows::Found> found = windows::Inspect(path, false)) {
    if (windows::IsLink(*found)) Fail(path, "It is a symbolic link, which is not followed.");
    if (found->type != FILE_TYPE_DISK || (found->info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      Fail(path, "It is not a regular file.");
  }
  const std::string::size_type slash = path.find_last_of("\\/");
  const std::string::size_type name = slash == std::string::npos ? 0 : slash + 1;
  const std::string partial = path.substr(0, name) + "." + path.substr(name) + ".part";
  const std::wstring wide_partial = windows::Widen(partial);
  ::DeleteFileW(wide_partial.c_str());

  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kOwnerOnly, SDDL_REVISION_1, &descriptor, nullptr))
    FailWithSystemError(path);
  const std::unique_ptr<void, decltype(&::LocalFree)> owned_descriptor(descriptor, &::LocalFree);
  SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), descriptor, FALSE};
  // the ACL from the start: the secret is never readable by others, not even for a moment;
  // CREATE_NEW writes through nothing that is there, a link included
  windows::Handle file(::CreateFileW(wide_partial.c_str(), GENERIC_WRITE, 0, &security, CREATE_NEW,
                                     FILE_ATTRIBUTE_HIDDEN, nullptr));
  if (!file) FailWithSystemError(path);
  try {
    WriteAll(partial, content, [&](std::string_view rest) {
      DWORD n = 0;
      if (!::WriteFile(file.get(), rest.data(), static_cast<DWORD>(rest.size()), &n, nullptr)) FailWithSystemError(path);
      return static_cast<std::size_t>(n);
    });
    if (!::FlushFileBuffers(file.get()) || !windows::ClearHidden(file.get())) FailWithSystemError(path);
    if (!::CloseHandle(file.release())) FailWithSystemError(path);
    if (!::MoveFileExW(wide_partial.c_str(), windows::Widen(path).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      FailWithSystemError(path);
  } catch (...) {
    file.reset();
    ::DeleteFileW(wide_partial.c_str());
    throw;
  }
}

}  // namespace platform

#include "platform/file_stream.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "platform/file.h"
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

std::uint64_t SizeOf(std::intptr_t fd, const std::string& path) {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(AsHandle(fd), &size)) ThrowFileError("Cannot read file", path, ::GetLastError());
  return static_cast<std::uint64_t>(size.QuadPart);
}

// Reads into `buffer` from `offset`, or from the file pointer when there is none; stops early
// only at the end of the file.
std::size_t ReadInto(std::intptr_t fd, const std::string& path, std::span<char> buffer,
                     std::optional<std::uint64_t> offset) {
  std::size_t done = 0;
  while (done < buffer.size()) {
    OVERLAPPED at = At(offset.value_or(0) + done);
    DWORD n = 0;
    if (!::ReadFile(AsHandle(fd), buffer.data() + done, static_cast<DWORD>(std::min(buffer.size() - done, kMostPerCall)),
                    &n, offset ? &at : nullptr)) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_HANDLE_EOF) break;
      ThrowFileError("Cannot read file", path, error);
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

}  // namespace

InputFile InputFile::Open(const std::string& path) {
  windows::Handle file(::CreateFileW(windows::Widen(path).c_str(), GENERIC_READ, windows::kShareAll, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) ThrowFileError("Cannot open file", path, ::GetLastError());
  return InputFile(AsFd(file.release()), path);
}

InputFile::InputFile(InputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, windows::kNoFile)), path_(std::move(other.path_)) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
  if (this != &other) {
    CloseFile(fd_);
    fd_ = std::exchange(other.fd_, windows::kNoFile);
    path_ = std::move(other.path_);
  }
  return *this;
}

InputFile::~InputFile() { CloseFile(fd_); }

std::uint64_t InputFile::Size() const { return SizeOf(fd_, path_); }

std::size_t InputFile::ReadAt(std::uint64_t offset, std::span<char> buffer) const {
  // a read at an offset moves the file pointer of a handle like this one: Read's position is
  // put back afterwards
  LARGE_INTEGER position{};
  const LARGE_INTEGER here{};
  if (!::SetFilePointerEx(AsHandle(fd_), here, &position, FILE_CURRENT))
    ThrowFileError("Cannot read file", path_, ::GetLastError());
  const std::size_t done = ReadInto(fd_, path_, buffer, offset);
  if (!::SetFilePointerEx(AsHandle(fd_), position, nullptr, FILE_BEGIN))
    ThrowFileError("Cannot read file", path_, ::GetLastError());
  return done;
}

bool InputFile::IsFileAt(const std::string& path) const {
  BY_HANDLE_FILE_INFORMATION ours{};
  if (!::GetFileInformationByHandle(AsHandle(fd_), &ours)) return false;
  const std::optional<windows::Found> there = windows::Inspect(path, true);
  return there && windows::SameIdentity(ours, there->info);
}

std::size_t InputFile::Read(std::span<char> buffer) { return ReadInto(fd_, path_, buffer, std::nullopt); }

OutputFile OutputFile::Create(const std::string& path) {
  std::string failure;
  windows::Handle file = windows::OpenPrivateFile(path, GENERIC_WRITE, true, FILE_ATTRIBUTE_NORMAL, failure);
  if (!file) throw FileError("Cannot create file \"" + path + "\". " + failure);
  return OutputFile(AsFd(file.release()), path);
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, windows::kNoFile)), position_(other.position_), path_(std::move(other.path_)) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    CloseFile(fd_);
    fd_ = std::exchange(other.fd_, windows::kNoFile);
    position_ = other.position_;
    path_ = std::move(other.path_);
  }
  return *this;
}

OutputFile::~OutputFile() { CloseFile(fd_); }

void OutputFile::Write(std::string_view bytes) {
  WriteAt(position_, bytes);
  position_ += bytes.size();
}

void OutputFile::WriteAt(std::uint64_t offset, std::string_view bytes) {
  if (fd_ == windows::kNoFile) throw FileError("Cannot write file \"" + path_ + "\". The file is closed.");
  std::uint64_t at = offset;
  WriteAll(path_, bytes, [&](std::string_view rest) {
    OVERLAPPED where = At(at);
    DWORD n = 0;
    if (!::WriteFile(AsHandle(fd_), rest.data(), static_cast<DWORD>(std::min(rest.size(), kMostPerCall)), &n, &where))
      ThrowFileError("Cannot write file", path_, ::GetLastError());
    at += n;
    return static_cast<std::size_t>(n);
  });
}

void OutputFile::Resize(std::uint64_t size) {
  if (fd_ == windows::kNoFile) throw FileError("Cannot write file \"" + path_ + "\". The file is closed.");
  if (!windows::SetSize(AsHandle(fd_), size)) ThrowFileError("Cannot write file", path_, ::GetLastError());
  position_ = size;
}

void OutputFile::Flush() {
  if (fd_ == windows::kNoFile) throw FileError("Cannot write file \"" + path_ + "\". The file is closed.");
  if (!::FlushFileBuffers(AsHandle(fd_))) ThrowFileError("Cannot write file", path_, ::GetLastError());
}

void OutputFile::Close() {
  if (fd_ == windows::kNoFile) return;
  // the handle is gone whatever CloseHandle says, so it is never closed twice
  if (!::CloseHandle(AsHandle(std::exchange(fd_, windows::kNoFile)))) ThrowFileError("Cannot close file", path_, ::GetLastError());
}

}  // namespace platform

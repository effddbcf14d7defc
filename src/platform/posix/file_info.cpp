#include "platform/file_info.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string_view>

namespace platform {
namespace {

std::string_view NameOf(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const std::string_view::size_type slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::optional<TDateTime> FileLastWriteTime(const std::string& path) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FromUnixTimeLocal(st.st_mtim.tv_sec, static_cast<int>(st.st_mtim.tv_nsec / 1'000'000));
}

std::optional<std::uint32_t> FileAttributes(const std::string& path) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  std::uint32_t attributes = 0;
  if (S_ISREG(st.st_mode)) {
    attributes |= kAttrArchive;
  } else if (S_ISDIR(st.st_mode)) {
    attributes |= kAttrDirectory;
  } else {
    attributes |= kAttrSystem;
  }
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attributes |= kAttrReadOnly;
  const std::string_view name = NameOf(path);
  if (name.starts_with('.') && name != "." && name != "..") attributes |= kAttrHidden;
  return attributes;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa{}, sb{};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool RemoveFile(const std::string& path) {
  const std::optional<std::uint32_t> attributes = FileAttributes(path);
  if (attributes && (*attributes & kAttrReadOnly) != 0) return false;
  return ::unlink(path.c_str()) == 0;
}

}  // namespace platform

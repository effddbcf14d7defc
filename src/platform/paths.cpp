#include "platform/paths.h"

namespace platform {
namespace {

#ifdef _WIN32
constexpr const char* kSeparators = "\\/";
#else
constexpr const char* kSeparators = "/";
#endif

}  // namespace

std::string ExtractFilePath(const std::string& path) {
  const auto slash = path.find_last_of(kSeparators);
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ExtractFileName(const std::string& path) {
  const auto slash = path.find_last_of(kSeparators);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ChangeFileExt(const std::string& path, const std::string& extension) {
  const auto slash = path.find_last_of(kSeparators);
  const auto dot = path.rfind('.');
  // only a dot in the file name starts an extension: folders may hold dots of their own
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + extension;
  return path.substr(0, dot) + extension;
}

std::string IncludeTrailingPathDelimiter(const std::string& path) {
  return !path.empty() && IsPathSeparator(path.back()) ? path : path + kPathSeparator;
}

std::string ExcludeTrailingPathDelimiter(const std::string& path) {
  return !path.empty() && IsPathSeparator(path.back()) ? path.substr(0, path.size() - 1) : path;
}

}  // namespace platform

#include "platform/file_search.h"

#include <dirent.h>

#include <memory>

#include "platform/code_page.h"
#include "platform/file_info.h"

namespace platform {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '/') return folder + name;
  return folder + '/' + name;
}

}  // namespace

std::vector<FoundFile> FindFiles(const std::string& folder, std::string_view mask) {
  std::vector<FoundFile> found;
  DirHandle dir(opendir(folder.empty() ? "." : folder.c_str()));
  if (!dir) return found;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == ".." || !MatchesMask(name, mask)) continue;
    // an entry that vanished meanwhile is no ordinary file
    found.push_back({name, FileAttributes(Join(folder, name)).value_or(kAttrSystem)});
  }
  return found;
}

std::string FindFileNoCase(const std::string& folder, const std::string& name) {
  DirHandle dir(opendir(folder.empty() ? "." : folder.c_str()));
  if (!dir) return Join(folder, name);
  std::string best;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string candidate = entry->d_name;
    if (candidate == name) return Join(folder, name);
    if (EqualsNoCase(candidate, name) && (best.empty() || candidate < best)) best = candidate;
  }
  return Join(folder, best.empty() ? name : best);
}

}  // namespace platform

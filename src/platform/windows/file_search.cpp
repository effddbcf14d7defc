#include "platform/file_search.h"

#include <memory>

#include "platform/code_page.h"
#include "platform/file_info.h"
#include "platform/paths.h"
#include "platform/windows/wide.h"

namespace platform {
namespace {

struct FindCloser {
  void operator()(HANDLE find) const { ::FindClose(find); }
};
using FindHandle = std::unique_ptr<void, FindCloser>;

bool EndsWithSeparator(const std::string& folder) {
  return !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
}

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty() || EndsWithSeparator(folder)) return folder + name;
  return folder + kPathSeparator + name;
}

// Calls `each` with the name of every entry of `folder` but "." and "..", and its find data.
// Every name is listed and the mask left to MatchesMask: Windows' own matching also takes a
// name whose 8.3 short name matches ("*.zip" finding "backup.zipx"), and the backups'
// trims must see exactly the files the mask rules name, as on every platform.
template <typename Each>
void ForEachEntry(const std::string& folder, Each each) {
  WIN32_FIND_DATAW data{};
  const std::wstring pattern = windows::Widen(Join(folder, "*"));
  HANDLE first = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                    FIND_FIRST_EX_LARGE_FETCH);
  if (first == INVALID_HANDLE_VALUE) return;  // a missing folder has no entries
  const FindHandle find(first);
  do {
    const std::wstring_view name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    if (!each(windows::Narrow(name), data)) return;
  } while (::FindNextFileW(find.get(), &data));
}

}  // namespace

std::vector<FoundFile> FindFiles(const std::string& folder, std::string_view mask) {
  std::vector<FoundFile> found;
  ForEachEntry(folder, [&](const std::string& name, const WIN32_FIND_DATAW& data) {
    if (MatchesMask(name, mask))
      found.push_back({name, data.dwFileAttributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrDirectory |
                                                      kAttrArchive)});
    return true;
  });
  return found;
}

std::string FindFileNoCase(const std::string& folder, const std::string& name) {
  std::string best;
  bool exact = false;
  ForEachEntry(folder, [&](const std::string& candidate, const WIN32_FIND_DATAW&) {
    if (candidate == name) {
      exact = true;
      return false;
    }
    if (EqualsNoCase(candidate, name) && (best.empty() || candidate < best)) best = candidate;
    return true;
  });
  return Join(folder, exact || best.empty() ? name : best);
}

}  // namespace platform

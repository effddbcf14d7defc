#include "backup/local_retention.h"

#include <algorithm>
#include <stdexcept>

#include "platform/file_info.h"
#include "platform/file_search.h"

namespace nuvexa::backup {

void TBArquivos::Append(Row row) {
  const auto after = std::upper_bound(rows_.begin(), rows_.end(), row, [](const Row& a, const Row& b) {
    return a.DATAHORAARQUIVO != b.DATAHORAARQUIVO ? a.DATAHORAARQUIVO < b.DATAHORAARQUIVO : a.ARQUIVO < b.ARQUIVO;
  });
  rows_.insert(after, std::move(row));
}

std::vector<std::string> TBArquivos::OldestBeyond(int keep) const {
  std::vector<std::string> paths;
  const auto count = static_cast<long long>(rows_.size());
  for (long long i = 0; i < count - std::max(keep, 0); ++i) paths.push_back(rows_[static_cast<std::size_t>(i)].ARQUIVO);
  return paths;
}

std::vector<std::string> GetFileList(const std::string& folder, const std::string& mask) {
  std::vector<std::string> names;
  for (const platform::FoundFile& f : platform::FindFiles(folder, mask)) {
    if ((f.attributes & (platform::kAttrDirectory | platform::kAttrHidden | platform::kAttrSystem)) == 0)
      names.push_back(f.name);
  }
  return names;
}

platform::TDateTime RetentionTime(const std::string& path) {
  const std::optional<platform::TDateTime> time = platform::FileLastWriteTime(path);
  if (!time) throw std::invalid_argument("Invalid argument to date encode");
  return platform::FromDosDateTime(platform::ToDosDateTime(*time));
}

}  // namespace nuvexa::backup

#include "cloud/cloud_retention.h"

#include <algorithm>
#include <numeric>

namespace nuvexa::cloud {

std::vector<std::size_t> RankForDeletion(const std::vector<RetentionEntry>& entries, std::int32_t QtdMinArquivos,
                                         std::int32_t QtdMaxArquivos, std::int64_t TamMaxArquivos) {
  const auto n = static_cast<std::int64_t>(entries.size());
  std::int64_t Somabytes = 0;
  for (const auto& entry : entries) Somabytes += entry.TamArquivo;
  if ((QtdMaxArquivos >= n && TamMaxArquivos >= Somabytes) || QtdMinArquivos >= n) return {};

  std::vector<std::size_t> oldest_first(entries.size());
  std::iota(oldest_first.begin(), oldest_first.end(), std::size_t{0});
  std::stable_sort(oldest_first.begin(), oldest_first.end(), [&](std::size_t a, std::size_t b) {
    return entries[a].DataArquivo < entries[b].DataArquivo;
  });

  std::vector<std::size_t> doomed;
  std::int64_t AuxSomaBytes = 0;  // the newer entries' bytes, deleted or not
  std::int64_t rank = 0;
  for (auto at = oldest_first.rbegin(); at != oldest_first.rend(); ++at) {
    ++rank;
    if (rank > QtdMinArquivos && (rank > QtdMaxArquivos || AuxSomaBytes > TamMaxArquivos)) doomed.push_back(*at);
    AuxSomaBytes += entries[*at].TamArquivo;
  }
  return doomed;
}

}  // namespace nuvexa::cloud

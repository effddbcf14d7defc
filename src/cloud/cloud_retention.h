#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/date_time.h"

namespace nuvexa::cloud {

// One entry of the folder being trimmed.
struct RetentionEntry {
  platform::TDateTime DataArquivo = 0;  // client_modified; 0 for folders
  std::int64_t TamArquivo = 0;          // bytes; 0 for folders
};

// The entries to delete, as indices into `entries`, in the order they are deleted
// (newest first). The `QtdMinArquivos` newest always remain; beyond them an entry goes
// when more than `QtdMaxArquivos` are newer-or-equal in rank, or when the entries newer
// than it total more than `TamMaxArquivos` bytes. Among equal dates the entry later in
// `entries` counts as the newer. A limit of 0 is a limit, not "no limit".
std::vector<std::size_t> RankForDeletion(const std::vector<RetentionEntry>& entries, std::int32_t QtdMinArquivos,
                                         std::int32_t QtdMaxArquivos, std::int64_t TamMaxArquivos);

}  // namespace nuvexa::cloud

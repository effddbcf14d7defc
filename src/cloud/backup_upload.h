#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nuvexa::cloud {

// Archives up to this size go in one request; larger ones in an upload session.
inline constexpr std::int64_t kSingleRequestLimit = 149'000'000;
inline constexpr std::int32_t kSessionChunkSize = 100'000'000;

// "/" + the company folder + "/" + the archive's file name.
std::string CloudArchivePath(std::string_view pasta, const std::string& arquivo);

}  // namespace nuvexa::cloud

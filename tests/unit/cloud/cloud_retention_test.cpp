#include "cloud/cloud_retention.h"

#include <gtest/gtest.h>

#include <vector>

namespace nuvexa::cloud {
namespace {

// Entries listed in an order unrelated to their age (the service lists by name): entry i
// of `sizes_newest_first` gets the i-th newest date, and the list is given rotated.
struct Listing {
  std::vector<RetentionEntry> entries;
  std::vector<std::size_t> index_of_rank;  // rank 1 (newest) at [0]
};

Listing Rotated(const std::vector<std::int64_t>& sizes_newest_first) {
  Listing listing;
  const std::size_t n = sizes_newest_first.size();
  listing.entries.resize(n);
  listing.index_of_rank.resize(n);
  for (std::size_t rank = 0; rank < n; ++rank) {
    const std::size_t index = (rank * 7 + 3) % n;  // 7 is prime to every count used here
    listing.entries[index] = {45000.0 - static_cast<double>(rank), sizes_newest_first[rank]};
    listing.index_of_rank[rank] = index;
  }
  return listing;
}

std::vector<std::int64_t> Repeat(std::size_t count, std::int64_t size) { return std::vector<std::int64_t>(count, size); }

TEST(CloudRetention, RanksTheOldestBeyondTheLimitsForDeletion) {
  struct Case {
    const char* why;
    std::vector<std::int64_t> sizes_newest_first;
    std::int32_t min, max;
    std::int64_t bytes;
    std::vector<std::size_t> deleted_ranks;  // in deletion order
  };
  const Case cases[] = {
      {"an empty folder", {}, 3, 19, 750'000'000, {}},
      {"22 of 40,000,000: the three oldest go, 760,000,000 remain", Repeat(22, 40'000'000), 3, 19, 750'000'000,
       {20, 21, 22}},
      {"10 of 100,000,000: within the count, but the size bound takes ranks 9 and 10",
       Repeat(10, 100'000'000), 3, 19, 750'000'000, {9, 10}},
      {"5 of 400,000,000: the 3 newest remain whatever their size", Repeat(5, 400'000'000), 3, 19, 750'000'000,
       {4, 5}},
      {"over the bound, but the entries newer than the oldest total 700,000,000",
       {300'000'000, 300'000'000, 100'000'000, 100'000'000}, 3, 19, 750'000'000, {}},
      {"3 entries of any size", Repeat(3, 4'000'000'000), 3, 19, 750'000'000, {}},
      {"all limits 0 delete everything", Repeat(5, 1), 0, 0, 0, {1, 2, 3, 4, 5}},
      {"the minimum wins over a smaller maximum", Repeat(6, 1), 4, 2, 750'000'000, {5, 6}},
      {"a bound exactly reached keeps the entry", {250, 250, 250, 250, 1}, 0, 19, 750, {5}},
      {"once one goes, every older one goes, even a small one", {500, 500, 1, 1}, 1, 19, 600, {3, 4}},
  };
  for (const auto& c : cases) {
    const Listing listing = Rotated(c.sizes_newest_first);
    std::vector<std::size_t> expected;
    for (const std::size_t rank : c.deleted_ranks) expected.push_back(listing.index_of_rank[rank - 1]);
    EXPECT_EQ(RankForDeletion(listing.entries, c.min, c.max, c.bytes), expected) << c.why;
  }
}

TEST(CloudRetention, AmongEqualDatesTheLaterListedIsTheNewer) {
  const std::vector<RetentionEntry> folders = {{0, 0}, {0, 0}, {0, 0}, {0, 0}};
  EXPECT_EQ(RankForDeletion(folders, 1, 2, 0), (std::vector<std::size_t>{1, 0}));
}

}  // namespace
}  // namespace nuvexa::cloud

#include "cloud/content_hash.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/sha256.h"

namespace nuvexa::cloud {
namespace {

constexpr std::size_t kBlock = 4u << 20;

// The published algorithm, written out plainly: SHA-256 of each 4 MiB block, then of the
// joined digests.
std::string Reference(const std::string& bytes) {
  std::string digests;
  for (std::size_t at = 0; at < bytes.size(); at += kBlock) {
    const platform::Sha256Digest digest = platform::Sha256Of(std::string_view(bytes).substr(at, kBlock));
    digests.append(reinterpret_cast<const char*>(digest.data()), digest.size());
  }
  const platform::Sha256Digest digest = platform::Sha256Of(digests);
  std::string hex;
  for (unsigned char b : digest) hex += "0123456789abcdef"[b >> 4], hex += "0123456789abcdef"[b & 15];
  return hex;
}

std::string Bytes(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
  return bytes;
}

TEST(ContentHash, IsThePublishedAlgorithmAtTheBlockEdges) {
  EXPECT_EQ(ContentHashOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  for (const std::size_t size : {std::size_t{1}, kBlock, kBlock + 1, std::size_t{10} << 20}) {
    const std::string bytes = Bytes(size);
    EXPECT_EQ(ContentHashOf(bytes), Reference(bytes)) << size;
  }
}

TEST(ContentHash, BytesSentAgainCountOnceAndAGapSpoilsTheHash) {
  const std::string bytes = Bytes(kBlock + 300);
  ContentHasher resent;
  resent.Feed(0, std::string_view(bytes).substr(0, 1000));
  resent.Feed(0, std::string_view(bytes).substr(0, 1500));  // a body sent again from its start
  resent.Feed(1500, std::string_view(bytes).substr(1500));
  resent.Feed(kBlock, std::string_view(bytes).substr(kBlock));  // a chunk repeated
  EXPECT_TRUE(resent.Complete(bytes.size()));
  EXPECT_EQ(resent.Final(), Reference(bytes));

  ContentHasher gap;
  gap.Feed(0, std::string_view(bytes).substr(0, 100));
  gap.Feed(200, std::string_view(bytes).substr(200));
  EXPECT_FALSE(gap.Complete(bytes.size()));
  EXPECT_THROW(gap.Final(), std::logic_error);
}

}  // namespace
}  // namespace nuvexa::cloud

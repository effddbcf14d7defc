// SHA-256 and random bytes from CNG.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "platform/sha256.h"

namespace {

std::string Hex(const platform::Sha256Digest& digest) {
  std::string hex;
  char byte[3];
  for (const unsigned char value : digest) {
    std::snprintf(byte, sizeof byte, "%02x", value);
    hex += byte;
  }
  return hex;
}

// The test vectors of FIPS 180-2.
struct Vector {
  std::string message;
  const char* digest;
};
const Vector kVectors[] = {
    {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {std::string(1'000'000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};

TEST(Sha256, KnownVectorsWholeAndInPieces) {
  for (const Vector& vector : kVectors) {
    SCOPED_TRACE(vector.message.substr(0, 20));
    EXPECT_EQ(Hex(platform::Sha256Of(vector.message)), vector.digest);
    platform::Sha256 running;
    for (std::size_t at = 0; at < vector.message.size(); at += 4099)
      running.Update(std::string_view(vector.message).substr(at, 4099));
    EXPECT_EQ(Hex(running.Finish()), vector.digest);
  }
}

TEST(Sha256, FinishStartsAfresh) {
  platform::Sha256 running;
  running.Update("something else first");
  running.Finish();
  running.Update("abc");
  EXPECT_EQ(Hex(running.Finish()), kVectors[1].digest);
  EXPECT_EQ(Hex(running.Finish()), kVectors[0].digest) << "nothing fed since the last Finish";
}

TEST(FillRandom, TwoDrawsDiffer) {
  std::array<unsigned char, 32> first{}, second{};
  platform::FillRandom(first);
  platform::FillRandom(second);
  EXPECT_NE(first, second);
  EXPECT_FALSE(std::all_of(first.begin(), first.end(), [](unsigned char b) { return b == 0; }));
}

}  // namespace

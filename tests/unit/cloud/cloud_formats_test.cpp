#include "cloud/cloud_formats.h"

#include <gtest/gtest.h>

#include <clocale>

#include "cloud/cloud_error.h"

namespace nuvexa::cloud {
namespace {

using F = TByteStringFormat;

TEST(CloudByteString, FormatsWithTheGivenSeparators) {
  const platform::NumberSeparators comma{",", "."};  // as pt_BR
  const platform::NumberSeparators point{".", ","};  // as en_US
  struct Case {
    const char* why;
    std::uint64_t bytes;
    F format;
    const char* with_comma;
    const char* with_point;
  };
  const Case cases[] = {
      {"below 1 KB counts bytes", 1023, F::bsfDefault, "1023 bytes", "1023 bytes"},
      {"a byte count is never grouped", 5'000'000, F::bsfBytes, "5000000 bytes", "5000000 bytes"},
      {"1 KB", 1024, F::bsfDefault, "1,0 KB", "1.0 KB"},
      {"one below 1 MB is still KB and rounds up", 1'048'575, F::bsfDefault, "1.024,0 KB", "1,024.0 KB"},
      {"1 MB", 1'048'576, F::bsfDefault, "1,0 MB", "1.0 MB"},
      {"1 GB", 1'073'741'824, F::bsfDefault, "1,0 GB", "1.0 GB"},
      {"1 TB", 1'099'511'627'776, F::bsfDefault, "1,0 TB", "1.0 TB"},
      {"a listing's small file is zero megabytes, not KB", 1536, F::bsfMB, "0,0 MB", "0.0 MB"},
      {"one decimal, rounded", 1'572'864 + 52'429, F::bsfMB, "1,6 MB", "1.6 MB"},
      {"thousands grouped", 750'000'000ull * 1000, F::bsfMB, "715.255,7 MB", "715,255.7 MB"},
      {"the largest count", UINT64_MAX, F::bsfDefault, "16.777.216,0 TB", "16,777,216.0 TB"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatByteString(c.bytes, c.format, comma), c.with_comma) << c.why;
    EXPECT_EQ(FormatByteString(c.bytes, c.format, point), c.with_point) << c.why;
  }
}

TEST(CloudByteString, FollowsTheProcessLocale) {
  // The "C" locale: a point and no grouping.
  ASSERT_NE(std::setlocale(LC_NUMERIC, "C"), nullptr);
  EXPECT_EQ(FormatByteString(1536, F::bsfMB), "0.0 MB");
  EXPECT_EQ(FormatByteString(1'000'000'000'000ull, F::bsfMB), "953674.3 MB");
}

TEST(CloudFormatDataHora, ReadsTheFieldsByPositionWithoutZoneShift) {
  struct Case {
    const char* text;
    platform::DateParts date;
    platform::TimeParts time;
  };
  const Case cases[] = {
      {"2015-05-12T15:50:38Z", {2015, 5, 12}, {15, 50, 38, 0}},
      {"2024-02-29T00:00:00Z", {2024, 2, 29}, {0, 0, 0, 0}},
      {"1999-12-31T23:59:59+03:00", {1999, 12, 31}, {23, 59, 59, 0}},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(FormatDataHora(c.text), platform::EncodeDateTime(c.date, c.time)) << c.text;
  }
  for (const char* bad : {"2023-02-29T10:00:00Z", "2015-05-12T24:00:00Z", "2015-05-12", "", "2015-O5-12T15:50:38Z"}) {
    EXPECT_THROW(FormatDataHora(bad), CloudError) << bad;
  }
}

}  // namespace
}  // namespace nuvexa::cloud

#include "platform/date_time.h"

#include <gtest/gtest.h>

#include <ctime>

namespace platform {
namespace {

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return EncodeDateTime({y, mo, d}, {h, mi, s, ms});
}

TEST(DateTime, EncodesDaysSince30December1899) {
  struct Case { const char* why; TDateTime value; double expected; };
  const Case kCases[] = {
      {"the epoch is zero", At(1899, 12, 30), 0.0},
      {"1 January 1900", At(1900, 1, 1), 2.0},
      {"the Unix epoch", At(1970, 1, 1), 25569.0},
      {"a leap day", At(2000, 2, 29), 36585.0},
      {"noon is half a day", At(2026, 12, 10, 12), 46366.5},
      {"before the epoch the time counts away from zero", At(1899, 12, 29, 6), -1.25},
  };
  for (const auto& c : kCases) EXPECT_DOUBLE_EQ(c.value, c.expected) << c.why;
}

TEST(DateTime, DecodesWhatItEncodes) {
  const TDateTime kValues[] = {At(1899, 12, 29, 6, 30, 15, 250), At(1980, 1, 1), At(2000, 2, 29, 23, 59, 59, 999),
                               At(2026, 12, 10, 4, 8, 16, 1), At(2107, 12, 31, 12)};
  for (TDateTime v : kValues) {
    const DateParts d = DecodeDate(v);
    const TimeParts t = DecodeTime(v);
    EXPECT_DOUBLE_EQ(EncodeDateTime(d, t), v) << d.year << "-" << d.month << "-" << d.day;
  }
  EXPECT_THROW(EncodeDate(2026, 2, 29), std::invalid_argument);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), std::invalid_argument);
}

TEST(DateTime, DayPartTruncatesTowardZero) {
  EXPECT_EQ(DayPart(-1.25), -1.0);
  EXPECT_EQ(TimeOfDay(-1.25), 0.25);
  EXPECT_EQ(DayPart(46366.75), 46366.0);
  EXPECT_EQ(TimeOfDay(46366.75), 0.75);
}

TEST(DateTime, WholeMinutesBetweenTwoValuesInEitherOrder) {
  struct Case { const char* why; TDateTime a, b; int minutes; };
  const Case kCases[] = {
      {"359 min 59 s is 359", At(2026, 12, 10, 10, 0, 1), At(2026, 12, 10, 16, 0, 0), 359},
      {"exactly 360 min", At(2026, 12, 10, 10, 0, 0), At(2026, 12, 10, 16, 0, 0), 360},
      {"across midnight", At(2026, 12, 9, 23, 30), At(2026, 12, 10, 0, 29, 59, 999), 59},
      {"a NULL date counts from 1899", 0.0, At(1899, 12, 31, 1, 0), 1500},
      {"same moment", At(2026, 1, 1, 8), At(2026, 1, 1, 8), 0},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(MinutesBetween(c.a, c.b), c.minutes) << c.why;
    EXPECT_EQ(MinutesBetween(c.b, c.a), c.minutes) << c.why << " (reversed)";
  }
}

TEST(DateTime, DosDateTimeKeepsEvenSeconds) {
  EXPECT_EQ(ToDosDateTime(At(2026, 12, 10, 13, 45, 31)), ToDosDateTime(At(2026, 12, 10, 13, 45, 30)));
  EXPECT_DOUBLE_EQ(FromDosDateTime(ToDosDateTime(At(2026, 12, 10, 13, 45, 31))), At(2026, 12, 10, 13, 45, 30));
  // 2026-12-10 13:45:30: year 46, month 12, day 10; hour 13, minute 45, second 15 (x2)
  EXPECT_EQ(ToDosDateTime(At(2026, 12, 10, 13, 45, 30)), (((46u << 9) | (12u << 5) | 10u) << 16) |
                                                            ((13u << 11) | (45u << 5) | 15u));
  EXPECT_EQ(ToDosDateTime(At(1979, 12, 31, 23, 59, 59)), ToDosDateTime(At(1980, 1, 1)))
      << "before 1980 MS-DOS has no date; the earliest one stands in";
}

TEST(DateTime, NowIsLocalTime) {
  const TDateTime before = Now();
  const TDateTime unix_now = FromUnixTimeLocal(static_cast<std::int64_t>(std::time(nullptr)));
  EXPECT_LE(MinutesBetween(before, unix_now), 1);
  EXPECT_GT(before, At(2020, 1, 1));
}

}  // namespace
}  // namespace platform

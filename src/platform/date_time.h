#pragma once

#include <cstdint>

// The system's date-time: days since 30 December 1899 as a double, the fraction being the
// time of day, in local time; 0 stands for a NULL date. Values before that day carry a
// negative day part and a time of day that counts away from zero, so the day part is always
// the value truncated toward zero.
namespace platform {

using TDateTime = double;

inline constexpr std::int64_t kMSecsPerDay = 86'400'000;

struct DateParts {
  int year = 1899, month = 12, day = 30;
};

struct TimeParts {
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// Throws std::invalid_argument for a date or time that does not exist.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);
TDateTime EncodeDateTime(const DateParts& date, const TimeParts& time);

DateParts DecodeDate(TDateTime value);
TimeParts DecodeTime(TDateTime value);

// The day part: the value truncated toward zero.
double DayPart(TDateTime value);
// The time of day as a non-negative fraction of a day.
double TimeOfDay(TDateTime value);

// Whole days times 86,400,000 plus the milliseconds of the time of day.
std::int64_t ToMilliseconds(TDateTime value);
// Whole minutes between two values, in either order: the remainder is dropped.
std::int32_t MinutesBetween(TDateTime a, TDateTime b);

// Current local date and time, to the millisecond.
TDateTime Now();

// Local time of a moment given as seconds since the Unix epoch.
TDateTime FromUnixTimeLocal(std::int64_t seconds, int milliseconds = 0);

// MS-DOS date and time (date in the upper 16 bits): 2-second steps, years 1980 to 2107.
// A value outside that range gives the DOS value of 1 January 1980, 00:00:00.
std::uint32_t ToDosDateTime(TDateTime value);
TDateTime FromDosDateTime(std::uint32_t dos);

}  // namespace platform

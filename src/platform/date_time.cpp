#include "platform/date_time.h"

#include <cmath>
#include <stdexcept>

namespace platform {
namespace {

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1 January of year 1 (proleptic Gregorian) to the given date, that day excluded.
std::int64_t DaysFromCivilStart(int year, int month, int day) {
  const std::int64_t y = year - 1;
  std::int64_t days = y * 365 + y / 4 - y / 100 + y / 400;
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  return days + day - 1;
}

const std::int64_t kDaysTo18991230 = DaysFromCivilStart(1899, 12, 30);

// Inverse of DaysFromCivilStart (Howard Hinnant's algorithm, shifted to the 1 March era).
DateParts CivilFromDays(std::int64_t days_since_1899) {
  // days relative to 1970-01-01
  std::int64_t z = days_since_1899 - 25569 + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  std::int64_t y = yoe + era * 400;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  if (m <= 2) ++y;
  return {static_cast<int>(y), m, d};
}

std::int64_t TimeOfDayMilliseconds(TDateTime value) {
  return std::llround(TimeOfDay(value) * static_cast<double>(kMSecsPerDay));
}

}  // namespace

TDateTime EncodeDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    throw std::invalid_argument("Invalid argument to date encode");
  return static_cast<double>(DaysFromCivilStart(year, month, day) - kDaysTo18991230);
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
      millisecond < 0 || millisecond > 999)
    throw std::invalid_argument("Invalid argument to time encode");
  const std::int64_t ms = ((hour * 60LL + minute) * 60 + second) * 1000 + millisecond;
  return static_cast<double>(ms) / static_cast<double>(kMSecsPerDay);
}

TDateTime EncodeDateTime(const DateParts& date, const TimeParts& time) {
  const double day = EncodeDate(date.year, date.month, date.day);
  const double fraction = EncodeTime(time.hour, time.minute, time.second, time.millisecond);
  return day < 0 ? day - fraction : day + fraction;
}

DateParts DecodeDate(TDateTime value) {
  std::int64_t days = static_cast<std::int64_t>(DayPart(value));
  // a time of day that rounds up to midnight belongs to the next day
  if (TimeOfDayMilliseconds(value) >= kMSecsPerDay) days += value < 0 ? -1 : 1;
  return CivilFromDays(days);
}

TimeParts DecodeTime(TDateTime value) {
  std::int64_t ms = TimeOfDayMilliseconds(value) % kMSecsPerDay;
  TimeParts t;
  t.millisecond = static_cast<int>(ms % 1000);
  ms /= 1000;
  t.second = static_cast<int>(ms % 60);
  ms /= 60;
  t.minute = static_cast<int>(ms % 60);
  t.hour = static_cast<int>(ms / 60);
  return t;
}

double DayPart(TDateTime value) { return std::trunc(value); }

double TimeOfDay(TDateTime value) { return std::fabs(value - std::trunc(value)); }

std::int64_t ToMilliseconds(TDateTime value) {
  return static_cast<std::int64_t>(DayPart(value)) * kMSecsPerDay + TimeOfDayMilliseconds(value);
}

std::int32_t MinutesBetween(TDateTime a, TDateTime b) {
  const std::int64_t diff = ToMilliseconds(a) - ToMilliseconds(b);
  return static_cast<std::int32_t>((diff < 0 ? -diff : diff) / 60'000);
}

std::uint32_t ToDosDateTime(TDateTime value) {
  const DateParts d = DecodeDate(value);
  const TimeParts t = DecodeTime(value);
  if (d.year < 1980 || d.year > 2107) return (1u << 21) | (1u << 16);
  const std::uint32_t date = (static_cast<std::uint32_t>(d.year - 1980) << 9) |
                             (static_cast<std::uint32_t>(d.month) << 5) | static_cast<std::uint32_t>(d.day);
  const std::uint32_t time = (static_cast<std::uint32_t>(t.hour) << 11) |
                             (static_cast<std::uint32_t>(t.minute) << 5) |
                             static_cast<std::uint32_t>(t.second / 2);
  return (date << 16) | time;
}

TDateTime FromDosDateTime(std::uint32_t dos) {
  const int year = static_cast<int>((dos >> 25) & 0x7F) + 1980;
  const int month = static_cast<int>((dos >> 21) & 0x0F);
  const int day = static_cast<int>((dos >> 16) & 0x1F);
  const int hour = static_cast<int>((dos >> 11) & 0x1F);
  const int minute = static_cast<int>((dos >> 5) & 0x3F);
  const int second = static_cast<int>(dos & 0x1F) * 2;
  return EncodeDateTime({year, month, day}, {hour, minute, second, 0});
}

}  // namespace platform

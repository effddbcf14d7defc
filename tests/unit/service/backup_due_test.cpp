#include "service/backup_due.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace nuvexa {
namespace {

using platform::EncodeDateTime;
using platform::EncodeTime;
using platform::MinutesBetween;
using platform::TDateTime;

enum Mode { Interval, FixedHour };

TDateTime Day(int day, int h, int m = 0, int s = 0) { return EncodeDateTime({2026, 12, day}, {h, m, s, 0}); }
constexpr TDateTime kNull = 0;

struct DueCase {
  const char* why;
  Mode mode;
  TDateTime last;  // kNull: never backed up
  TDateTime now;
  TDateTime hour;
  int interval;
  bool due;
};

const DueCase kCases[] = {
    {"first run in interval mode", Interval, kNull, Day(10, 8), 0, 360, true},
    {"first run in fixed-hour mode, before the hour", FixedHour, kNull, Day(10, 8), EncodeTime(22, 0, 0, 0), 360, true},
    {"359:59 since the last backup is not yet due", Interval, Day(10, 10, 0, 1), Day(10, 16), 0, 360, false},
    {"exactly the interval is due", Interval, Day(10, 10), Day(10, 16), 0, 360, true},
    {"a last backup 360 min in the future (clock set back) is due", Interval, Day(10, 22), Day(10, 16), 0, 360, true},
    {"a last backup 359 min in the future is not", Interval, Day(10, 21, 59), Day(10, 16), 0, 360, false},
    {"a negative interval makes every cycle due", Interval, Day(10, 15, 59, 59), Day(10, 16), 0, -1, true},
    {"fixed hour: 21:59 today, now 22:00", FixedHour, Day(10, 21, 59), Day(10, 22), EncodeTime(22, 0, 0, 0), 360, true},
    {"fixed hour: 22:05 today, now 23:00", FixedHour, Day(10, 22, 5), Day(10, 23), EncodeTime(22, 0, 0, 0), 360, false},
    {"fixed hour: yesterday 23:00, now 21:59", FixedHour, Day(9, 23), Day(10, 21, 59), EncodeTime(22, 0, 0, 0), 360, false},
    {"fixed hour: yesterday 23:00, now 22:00", FixedHour, Day(9, 23), Day(10, 22), EncodeTime(22, 0, 0, 0), 360, true},
    {"fixed hour: two days ago, due at once at 08:00", FixedHour, Day(8, 23), Day(10, 8), EncodeTime(22, 0, 0, 0), 360, true},
    {"fixed hour: last backup tomorrow, before the hour", FixedHour, Day(11, 9), Day(10, 21), EncodeTime(22, 0, 0, 0), 360, false},
    {"fixed hour: last backup tomorrow, hour reached", FixedHour, Day(11, 9), Day(10, 22, 30), EncodeTime(22, 0, 0, 0), 360, true},
    {"fixed hour: today before the hour, hour not reached", FixedHour, Day(10, 7), Day(10, 21), EncodeTime(22, 0, 0, 0), 360, false},
    {"fixed hour: NULL hour is midnight, reached at once the next day", FixedHour, Day(9, 23), Day(10, 0, 0, 1), 0, 360, true},
    {"fixed-hour mode ignores the interval", FixedHour, Day(10, 22, 5), Day(10, 23, 59), EncodeTime(22, 0, 0, 0), 1, false},
};

TEST(BackupDue, EveryScheduleCase) {
  for (const auto& c : kCases) {
    BackupSchedule s;
    s.fixed_hour = c.mode == FixedHour;
    s.never_backed_up = c.last == kNull;
    s.last_backup = c.last;
    s.hour = c.hour;
    s.interval_minutes = c.interval;
    s.minutes_since_last = MinutesBetween(c.last, c.now);
    EXPECT_EQ(IsBackupDue(s, c.now), c.due) << c.why;
  }
}

TEST(BackupDue, PadraoSelectsTheModeAndTheInterval) {
  EXPECT_TRUE(IsFixedHourMode("Y"));
  for (const char* other : {"y", "", "N", "Y ", "S"}) EXPECT_FALSE(IsFixedHourMode(other)) << '"' << other << '"';

  EXPECT_EQ(IntervalFromPadrao(360, 0), 360) << "0 or NULL keeps the module's interval";
  EXPECT_EQ(IntervalFromPadrao(90, 0), 90) << "also one the central settings set";
  EXPECT_EQ(IntervalFromPadrao(360, 120), 120);
  EXPECT_EQ(IntervalFromPadrao(360, -5), -5) << "a negative value is taken unchanged";
}

TEST(BackupDue, ScheduledHourIsATimeOfDayOrAnError) {
  using firebird::Value;
  struct Case { const char* why; Value column; TDateTime hour; };
  const Case kCases[] = {
      {"a TIME column", Value::DateTime(EncodeTime(22, 30, 0, 0), Value::Moment::Time), EncodeTime(22, 30, 0, 0)},
      {"NULL is midnight", Value::Null(), 0},
      {"a text holding hours and minutes", Value::Text("22:30"), EncodeTime(22, 30, 0, 0)},
      {"a text holding seconds too, padded", Value::Text(" 7:05:09 "), EncodeTime(7, 5, 9, 0)},
  };
  for (const auto& c : kCases) EXPECT_EQ(ScheduledHour(c.column), c.hour) << c.why;

  for (const char* text : {"xx", "", "22", "24:00", "22:60", "22:00:00:00", "22h30", "-1:30", "022:30"}) {
    try {
      ScheduledHour(Value::Text(text));
      ADD_FAILURE() << '"' << text << "\" was taken as a time of day";
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(std::string(e.what()), std::string("NUVEXA_HORABACKUPAGENDADO: '") + text + "' is not a time of day");
    }
  }
  EXPECT_THROW(ScheduledHour(Value::Integer(2200)), std::invalid_argument) << "a number is no time of day";
}

}  // namespace
}  // namespace nuvexa

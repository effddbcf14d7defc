#include "service/backup_due.h"

#include <cmath>

namespace nuvexa {
namespace {

std::int64_t MillisecondsOfDay(platform::TDateTime value) {
  return std::llround(platform::TimeOfDay(value) * static_cast<double>(platform::kMSecsPerDay));
}

bool IntervalDue(const BackupSchedule& s) {
  return s.never_backed_up || s.minutes_since_last >= s.interval_minutes;
}

bool FixedHourDue(const BackupSchedule& s, platform::TDateTime now) {
  if (s.never_backed_up) return true;
  const auto days_since = static_cast<std::int64_t>(platform::DayPart(now)) -
                          static_cast<std::int64_t>(platform::DayPart(s.last_backup));
  const std::int64_t hour = MillisecondsOfDay(s.hour);
  const bool hour_reached = MillisecondsOfDay(now) >= hour;
  if (days_since >= 2) return true;
  if (days_since != 0) return hour_reached;
  if (MillisecondsOfDay(s.last_backup) >= hour) return false;
  return hour_reached;
}

}  // namespace

bool IsBackupDue(const BackupSchedule& schedule, platform::TDateTime now) {
  return schedule.fixed_hour ? FixedHourDue(schedule, now) : IntervalDue(schedule);
}

bool IsFixedHourMode(std::string_view nuvexa_backupagendado) { return nuvexa_backupagendado == "Y"; }

std::int32_t IntervalFromPadrao(std::int32_t current, std::int32_t nuvexa_intervalo) {
  return nuvexa_intervalo != 0 ? nuvexa_intervalo : current;
}

std::int32_t NextTimerInterval(std::int32_t current, std::int32_t intervalo_thread) {
  return intervalo_thread > 0 ? intervalo_thread : current;
}

bool CloudCopyOn(std::string_view nuvexa_desativar, bool desativar_nuvexa) {
  return nuvexa_desativar != "Y" && !desativar_nuvexa;
}

}  // namespace nuvexa

#pragma once

#include <cstdint>
#include <string_view>

#include "firebird/sql_value.h"
#include "platform/date_time.h"

namespace nuvexa {

// What the schedule in PADRAO and the clock say, for one cycle's decision.
struct BackupSchedule {
  bool fixed_hour = false;               // NUVEXA_BACKUPAGENDADO is exactly "Y"
  bool never_backed_up = false;          // NUVEXAULTIMOBACKUP is NULL
  platform::TDateTime last_backup = 0;   // NUVEXAULTIMOBACKUP (0 when NULL)
  platform::TDateTime hour = 0;          // NUVEXA_HORABACKUPAGENDADO, a time of day; fixed-hour mode only
  std::int32_t interval_minutes = 0;     // BackupIntervalo
  std::int32_t minutes_since_last = 0;   // whole minutes between the last backup and the cycle's start
};

// Whether a backup is due now.
//
// Interval mode: when the interval has passed (in either direction: a clock set back counts
// too) or there never was a backup. Fixed-hour mode: a backup missed for two calendar days or
// more at once; one missed since yesterday (or dated on a later day) at the first cycle at or
// after the hour; otherwise at most one a day, at or after the hour. Times of day are compared
// to the millisecond, so an hour given as 22:00 is reached at 22:00:00.000.
bool IsBackupDue(const BackupSchedule& schedule, platform::TDateTime now);

// NUVEXA_BACKUPAGENDADO: exactly "Y" selects fixed-hour mode; anything else, "y" included, interval mode.
bool IsFixedHourMode(std::string_view nuvexa_backupagendado);
// NUVEXA_HORABACKUPAGENDADO, read only in fixed-hour mode: a date-time value as it is (its
// time of day counts), NULL as midnight, a text "H:MM" or "H:MM:SS" as that time. Throws
// std::invalid_argument, naming the column and the value, for anything else.
platform::TDateTime ScheduledHour(const firebird::Value& nuvexa_horabackupagendado);
// NUVEXAINTERVALO: 0 (or NULL) means not set and keeps the current interval; any other
// value, a negative one included, replaces it.
std::int32_t IntervalFromPadrao(std::int32_t current, std::int32_t nuvexa_intervalo);
// The cycle timer's next period: IntervaloThread, unless it is zero or less, which would stop
// the cycles (a timer never fires at 0) or make them wait for weeks; then the period stays.
std::int32_t NextTimerInterval(std::int32_t current, std::int32_t intervalo_thread);
// The cloud copy is on unless PADRAO.NUVEXADESATIVAR is exactly "Y" or the settings file's
// DesativarNuvexa flag is set.
bool CloudCopyOn(std::string_view nuvexa_desativar, bool desativar_nuvexa);

}  // namespace nuvexa

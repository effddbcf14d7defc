#include "service/backup_due.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <string>

namespace nuvexa {
namespace {

std::int64_t MillisecondsOfDay(platform::TDateTime value) {
  return std::llround(platform::TimeOfDay(value) * static_cast<double>(platform::kMSecsPerDay));
}

// "H:MM" or "H:MM:SS" (one or two digits each, in range); nothing else.
std::optional<platform::TDateTime> TimeOfDayFromText(std::string_view text) {
  constexpr unsigned kLimits[] = {23, 59, 59};
  unsigned parts[] = {0, 0, 0};
  std::size_t count = 0;
  for (;;) {
    const auto [next, error] = std::from_chars(text.data(), text.data() + text.size(), parts[count]);
    const auto digits = static_cast<std::size_t>(next - text.data());
    if (error != std::errc() || digits == 0 || digits > 2 || parts[count] > kLimits[count]) return std::nullopt;
    text.remove_prefix(digits);
    ++count;
    if (text.empty()) break;
    if (count == 3 || text.front() != ':') return std::nullopt;
    text.remove_prefix(1);
  }
  if (count < 2) return std::nullopt;
  return platform::EncodeTime(static_cast<int>(parts[0]), static_cast<int>(parts[1]), static_cast<int>(parts[2]), 0);
}

std::string_view TrimSpaces(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
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

platform::TDateTime ScheduledHour(const firebird::Value& nuvexa_horabackupagendado) {
  const std::string text = nuvexa_horabackupagendado.AsString();
  if (nuvexa_horabackupagendado.IsText()) {
    if (const auto hour = TimeOfDayFromText(TrimSpaces(text))) return *hour;
  } else {
    try {
      return nuvexa_horabackupagendado.AsDateTime();
    } catch (const std::invalid_argument&) {
      // a number that is no date-time: the same message as a text that is no time
    }
  }
  throw std::invalid_argument("NUVEXA_HORABACKUPAGENDADO: '" + text + "' is not a time of day");
}

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

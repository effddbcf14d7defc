#include "central/central_settings.h"

#include <algorithm>
#include <limits>

namespace nuvexa::central {

BackupSettings ApplyCentralSettings(const BackupSettings& current, const CentralConfiguration& central,
                                    std::int32_t local_intervalo) {
  BackupSettings next = current;
  if (local_intervalo != 0) {
    next.BackupIntervalo = local_intervalo;
  } else if (central.NUVEXAINTERVALO > 0) {
    next.BackupIntervalo = central.NUVEXAINTERVALO;
  }
  if (central.NUVEXAMINIMOBACKUP > 0) next.MinimoBackup = central.NUVEXAMINIMOBACKUP;
  if (central.NUVEXAMAXIMOBACKUP > 0) next.MaximoBackup = central.NUVEXAMAXIMOBACKUP - 1;
  if (central.NUVEXATAMANHOMAXIMO > 0) next.MaximoTamanho = std::int64_t{central.NUVEXATAMANHOMAXIMO} * 1'000'000;
  if (central.NUVEXAINTERVALOTHREAD > 0) {
    // beyond 24.8 days the period no longer fits the timer: it stays at the longest one
    const std::int64_t milliseconds = std::int64_t{central.NUVEXAINTERVALOTHREAD} * 60'000;
    next.IntervaloThread =
        static_cast<std::int32_t>(std::min<std::int64_t>(milliseconds, std::numeric_limits<std::int32_t>::max()));
  }
  return next;
}

}  // namespace nuvexa::central

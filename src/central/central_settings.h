#pragma once

#include <cstdint>

namespace nuvexa::central {

// The service's settings that the central database decides.
struct BackupSettings {
  std::int32_t BackupIntervalo = 0;   // minutes
  std::int32_t MinimoBackup = 0;      // files
  std::int32_t MaximoBackup = 0;      // files
  std::int64_t MaximoTamanho = 0;     // bytes
  std::int32_t IntervaloThread = 0;   // milliseconds
  bool operator==(const BackupSettings&) const = default;
};

// CONFIGURACOES as read: NULL reads as 0.
struct CentralConfiguration {
  std::int32_t NUVEXAINTERVALO = 0;        // minutes
  std::int32_t NUVEXAMINIMOBACKUP = 0;     // files
  std::int32_t NUVEXAMAXIMOBACKUP = 0;     // files; the service keeps one less
  std::int32_t NUVEXATAMANHOMAXIMO = 0;    // megabytes of 1,000,000 bytes
  std::int32_t NUVEXAINTERVALOTHREAD = 0;  // minutes
};

// The settings after a synchronisation. The local interval wins when it is set (not 0);
// a central value of 0 or less (NULL, a table without rows) leaves its setting as it is,
// since applied it would empty the company's cloud folder or stop the cycle timer.
BackupSettings ApplyCentralSettings(const BackupSettings& current, const CentralConfiguration& central,
                                    std::int32_t local_intervalo);

}  // namespace nuvexa::central

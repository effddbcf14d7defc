#include "service/backup_due.h"
#include "service/srv_nuvexa.h"

namespace nuvexa {
namespace {

constexpr const char* kConnectionFailed = "Falha na conexão com o banco de dados!!!";

// The cycle's clean-up, whatever way the cycle ends: close what it opened and let the
// timer start the next period.
class CycleCleanUp {
 public:
  explicit CycleCleanUp(TSrvNuvexa& module) : module_(module) {}
  CycleCleanUp(const CycleCleanUp&) = delete;
  CycleCleanUp& operator=(const CycleCleanUp&) = delete;
  ~CycleCleanUp() {
    module_.TBPadrao.Close();
    module_.Conndrovana.Close();
    module_.Timer1.SetEnabled(true);
  }

 private:
  TSrvNuvexa& module_;
};

}  // namespace

void TSrvNuvexa::RunBackupCycle() {
  Timer1.SetEnabled(false);
  CycleCleanUp clean_up(*this);

  const bool DesativarNuvexa = SettingsFile().ReadFlag("Quorvo", "DesativarNuvexa", false);

  Conndrovana.Close();
  CarregarParametrosConexao("SYSDBA", "cobweb");
  try {
    Conndrovana.Open();
  } catch (...) {
    // the installation may use the other local password; only both failing is news
    Conndrovana.Close();
    CarregarParametrosConexao("SYSDBA", "quindowel");
    try {
      Conndrovana.Open();
    } catch (...) {
      DoSaveLog(kConnectionFailed);
    }
  }
  if (!Conndrovana.Connected()) return;

  TBPadrao.Open();
  BackupIntervalo = IntervalFromPadrao(BackupIntervalo, TBPadrao.FieldByName("NUVEXAINTERVALO").AsInteger());

  const platform::TDateTime DataHoraAtual = platform::Now();
  const platform::TDateTime DataHoraUltimoBackup = TBPadrao.FieldByName("NUVEXAULTIMOBACKUP").AsDateTime();
  const std::int32_t MinutosUltimoBackup = platform::MinutesBetween(DataHoraUltimoBackup, DataHoraAtual);

  try {
    SincronizarCentral();
  } catch (const std::exception& e) {
    DoSaveLog(e.what());
  }

  // the timer is off now: the new period counts from the clean-up
  Timer1.SetInterval(NextTimerInterval(Timer1.Interval(), IntervaloThread));

  BackupSchedule schedule;
  schedule.fixed_hour = IsFixedHourMode(TBPadrao.FieldByName("NUVEXA_BACKUPAGENDADO").AsString());
  schedule.never_backed_up = TBPadrao.FieldByName("NUVEXAULTIMOBACKUP").AsString().empty();
  schedule.last_backup = DataHoraUltimoBackup;
  // the column means something in fixed-hour mode only, and may hold anything meanwhile
  if (schedule.fixed_hour) schedule.hour = ScheduledHour(TBPadrao.FieldByName("NUVEXA_HORABACKUPAGENDADO").GetValue());
  schedule.interval_minutes = BackupIntervalo;
  schedule.minutes_since_last = MinutosUltimoBackup;
  if (!IsBackupDue(schedule, platform::Now())) return;

  DataHoraAtualBackup = platform::Now();
  const bool RealizouBackupDrovana = BackupDrovana();
  main_loop_.ProcessMessages();
  const bool RealizouBackupReceitaDigital = BackupReceitaDigital();
  main_loop_.ProcessMessages();

  if (CloudCopyOn(TBPadrao.FieldByName("NUVEXADESATIVAR").AsString(), DesativarNuvexa)) {
    // Only this cycle's complete archive may be uploaded and recorded as the last backup:
    // after a failed job the field still names an earlier cycle's archive.
    if (RealizouBackupDrovana) CloudStep();
  } else if (RealizouBackupDrovana && RealizouBackupReceitaDigital) {
    RecordLastBackup();
  }
}

}  // namespace nuvexa

#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "backup/local_retention.h"
#include "backup/service_request.h"
#include "cloud/dt_dropbox.h"
#include "firebird/connection.h"
#include "firebird/statement.h"
#include "platform/date_time.h"
#include "platform/event_loop.h"
#include "platform/ini.h"
#include "service/activity_log.h"
#include "service/progress_display.h"
#include "service/service_base.h"

namespace nuvexa {

// What the module needs from the process that hosts it.
struct ModuleEnvironment {
  platform::EventLoop& main_loop;    // the main thread's loop: timer events and the exception hook
  StatusReporter& status_reporter;
  EventLogger& event_logger;
  std::string executable_folder;     // ends with the path separator
};

// The service module: the one long-lived object of the process. It owns the cycle timer
// and the settings that outlive a cycle; every cycle runs on the main thread.
class TSrvNuvexa : public TService {
 public:
  static constexpr const char* kServiceName = "SrvNuvexa";
  static constexpr const char* kDisplayName = "Nuvexa";
  static constexpr std::int32_t kInitialTimerInterval = 5000;

  explicit TSrvNuvexa(ModuleEnvironment environment);
  ~TSrvNuvexa() override;

  // Appends one line to the activity log beside the executable; throws when it cannot be written.
  void DoSaveLog(std::string_view Msg);
  // The application exception hook: the message of an exception that escaped a cycle.
  void ManipulaExcecoes(const void* Sender, const std::exception& E);

  // Replaces what one timer event runs (the backup cycle); for tests of the module's lifecycle.
  void SetCycle(std::function<void()> cycle) { cycle_ = std::move(cycle); }
  // Receives every entry written to the log (the foreground hosts echo them).
  void SetLogEcho(std::function<void(const std::string& entry)> echo) { log_echo_ = std::move(echo); }
  // Shows the long steps' progress (the foreground hosts on a terminal); null for nobody.
  void SetProgress(std::shared_ptr<ProgressDisplay> progress) { progress_ = std::move(progress); }
  ProgressDisplay* Progress() const { return progress_.get(); }
  // Entries written since the module was created.
  int LogEntriesWritten() const { return log_entries_written_; }
  // One timer event at once, outside the timer, with the timer's exception handling:
  // an escaping error goes to the exception hook.
  void RunCycleNow();

  const std::string& ExecutableFolder() const { return executable_folder_; }
  platform::EventLoop& MainLoop() { return main_loop_; }

  // The shared settings file beside the executable (its name's case does not matter).
  platform::Ini SettingsFile() const;
  // Replaces the local connection's parameters with the twelve entries for this user; does
  // not connect.
  void CarregarParametrosConexao(const std::string& Usuario, const std::string& Senha);
  // Records DataHoraAtualBackup as the last backup, in every row of PADRAO.
  void RecordLastBackup();

  // The cloud copy.
  // Sends the archive to "/" + Pasta + "/" + its file name, in one request or in an upload
  // session by its size, and records the last backup when that succeeded. Failures are
  // logged; true when the archive is in the cloud and the last backup recorded.
  bool Upload(const std::string& Pasta, const std::string& Arquivo);
  // The digits of the text, in order: the company folder's name from its CNPJ.
  static std::string ExtraiNumero(std::string_view texto);
  // The file's size; throws the error of opening it.
  static std::int64_t TamanhoArquivo(const std::string& Arquivo);

  // The inventory's IPv4 address of this machine; empty when it cannot be found.
  std::string CapturarIP();

  // The backup cycle: one timer event.
  void Timer1Timer(const void* Sender);

  // Backup production.
  // Archives the backup file into ArquivoDestino and removes the backup file, whatever
  // happens; failures are logged. True when the archive is complete; an incomplete one is
  // removed.
  virtual bool CompactarArquivo(const std::string& Arquivo, const std::string& ArquivoDestino);
  // Trims a folder to the NumeroMaximoArquivos newest files matching the mask.
  void LimpaPastaLocal(const std::string& Pasta, int NumeroMaximoArquivos, const std::string& Mascara);
  // The pause after archiving, before the backup file is removed.
  int ArchivePauseMilliseconds = 5000;
  // Called with the archive's path after it was written and before it is read back; lets a
  // test damage it on the disk. Empty in the service.
  std::function<void(const std::string& archive)> BeforeArchiveCheck;

  platform::Timer Timer1;

  // The local pharmacy database and its statements.
  firebird::Connection Conndrovana;
  firebird::Query TBPadrao;
  firebird::Query TBVersoes;
  firebird::Command QAtualizaUltimoBackup;
  // The maker's central database and its statements; opened only for each use.
  firebird::Connection ConnTarvioSystem;
  firebird::Transaction& TRLeitura() { return ConnTarvioSystem.TransReadOnly(); }
  firebird::Transaction& TREscrita() { return ConnTarvioSystem.TransReadWrite(); }
  firebird::Query TBConfiguracoes;
  firebird::Query TBDadosClientes;
  firebird::Query TBLogExclusao;
  // Sets SEQUENCIAL of a new deletion-log row from the generator.
  void TBLogExclusaoBeforePost(std::vector<firebird::ColumnValue>& row, bool new_row);

  // The cloud storage client.
  cloud::TDTDropBox DTDropBox1;

  // The client library that the connections and the backup requests load.
  std::string FDPhysFBDriverLink1VendorLib = "fbclient.dll";
  // The files of the folder being trimmed, oldest first.
  backup::TBArquivos TBArquivos;

  // Settings that outlive a cycle.
  std::int32_t BackupIntervalo = 0;       // minutes
  std::int32_t MinimoBackup = 0;          // files
  std::int32_t MaximoBackup = 0;          // files
  std::int32_t IntervaloThread = 0;       // milliseconds
  std::int64_t MaximoTamanho = 0;         // bytes
  platform::TDateTime DataHoraAtualBackup = 0;
  std::string ArquivoCompactadoDrovana;
  std::string ArquivoCompactadoReceitaDigital;
  // The size budget less this cycle's archive; kept for the operator, the trim uses the
  // cloud client's own limit.
  std::int64_t MaximoTamanhoAtual = 0;

 protected:
  void ServiceExecute(TService& Sender) override;

  // The work the cycle hands out. Each has its own home; tests replace them to follow
  // the cycle's sequencing.
  // Central synchronisation: may change the settings that outlive a cycle; may raise.
  virtual bool SincronizarCentral();
  // The two backup jobs: true when the backup was made; they log and absorb their errors.
  virtual bool BackupDrovana();
  virtual bool BackupReceitaDigital();
  // The cloud copy of the pharmacy archive; records the last backup on success; may raise.
  virtual void CloudStep();

 private:
  void ServiceCreate();
  void ServiceDestroy();
  void RunBackupCycle();

  struct BackupJob;
  bool RunBackupJob(const BackupJob& job);
  // The pharmacy's backup with the cloud copy on: the archive is written while the server
  // writes the backup file, so that the backup's time hides behind the compression. True
  // when the backup was made; `archived` when the archive is complete, which it is only
  // after the request succeeded with every byte of the finished file in it.
  bool BackupWhileArchiving(backup::TFDIBBackup& request, const std::string& arquivo, const std::string& destino,
                            bool& archived);
  // PADRAO.NUVEXADESATIVAR is not exactly "Y".
  bool CloudBackupActive();
  // Connects the central database unless it is connected; a failure is logged and false.
  bool ConnectCentral();
  // CONFIGURACOES.NUVEXAATIVARLOGEXCLUSAO is exactly "Y"; on the connected central database.
  bool DeletionLogEnabled();
  // Records one deleted cloud archive in LOG_EXCLUSAO_NUVEXA; a failure is logged only.
  void RecordDeletion(const std::string& cnpj, const std::string& ArquivoExcluido);
  void TrimGuarded(const std::string& folder, const std::vector<std::pair<int, std::string>>& keep_by_mask);

  platform::EventLoop& main_loop_;
  std::string executable_folder_;
  ActivityLog log_;
  std::function<void()> cycle_;
  std::function<void(const std::string&)> log_echo_;
  std::shared_ptr<ProgressDisplay> progress_;
  int log_entries_written_ = 0;
};

}  // namespace nuvexa

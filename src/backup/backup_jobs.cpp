// The two backup jobs of a cycle and the archive and trim steps they run.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <future>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "backup/backup_naming.h"
#include "backup/growing_file.h"
#include "backup/local_retention.h"
#include "backup/parallel_deflate.h"
#include "backup/service_request.h"
#include "backup/zip_verify.h"
#include "backup/zip_writer.h"
#include "platform/file.h"
#include "platform/file_info.h"
#include "platform/folders.h"
#include "platform/paths.h"
#include "service/srv_nuvexa.h"

namespace nuvexa {

// What distinguishes the two jobs.
struct TSrvNuvexa::BackupJob {
  const char* folder;            // beside the executable
  const char* file_prefix;
  const char* external_folder_key;
  bool pharmacy;                 // the pharmacy database: archived while the cloud backup is active
};

namespace {

std::string MessageOf(const std::exception& e) { return e.what(); }

// The database server's group, which writes the backup files into the backup folders.
std::string ServerGroup() {
  const char* group = std::getenv("NUVEXA_SERVER_GROUP");
  return group != nullptr && *group != '\0' ? group : "firebird";
}

// Runs one step of a job; an error it raises is logged, after `prefix`, and the step counts
// as failed, so that the job goes on with its other steps or returns.
template <typename Step>
bool LoggedStep(TSrvNuvexa& module, std::string_view prefix, Step&& step) {
  try {
    step();
    return true;
  } catch (const std::exception& e) {
    module.DoSaveLog(std::string(prefix) + MessageOf(e));
    return false;
  }
}

// Which files a folder keeps: (count, mask) pairs, trimmed in this order.
std::vector<std::pair<int, std::string>> KeptFiles(bool pharmacy, bool cloud_active) {
  if (!pharmacy) return {{3, "*.fbk"}, {0, "*.zip"}};
  if (cloud_active) return {{20, "*.zip"}, {0, "*.fbk"}};
  return {{0, "*.zip"}, {5, "*.fbk"}};
}

// The backup request, its failure logged; the operator's line for it ends with it.
bool RunRequest(TSrvNuvexa& module, backup::TFDIBBackup& request) {
  const bool made = LoggedStep(module, "", [&] { request.Backup(); });
  if (module.Progress() != nullptr) module.Progress()->EndStep();
  return made;
}

// After the archive was written (`written`) or failed (`failure`): the archive must read back
// as written before the backup file goes, and one that does not is removed. The backup file
// goes after the pause whatever happened. True when the archive is complete.
bool CheckArchiveAndDropBackup(TSrvNuvexa& module, const std::string& arquivo, const std::string& destino,
                               const std::optional<std::vector<backup::ZipEntry>>& written, std::string failure) {
  bool complete = false;
  if (written) {
    try {
      if (module.BeforeArchiveCheck) module.BeforeArchiveCheck(destino);
      backup::VerifyArchive(destino, *written);
      complete = true;
    } catch (const std::exception& e) {
      // removed before the log, which may fail too
      platform::RemoveFile(destino);
      failure = MessageOf(e);
    }
  }
  if (!complete) module.DoSaveLog("Falha ao compactar o arquivo: " + failure);
  std::this_thread::sleep_for(std::chrono::milliseconds(module.ArchivePauseMilliseconds));
  platform::RemoveFile(arquivo);
  return complete;
}

// Raises the writer's failure in the archive's reads when the request ends by an error that
// escapes the job (the log failing), so the archive never waits for a file that is done.
class WriterOutcome {
 public:
  explicit WriterOutcome(backup::GrowingFile& file) : file_(file) {}
  WriterOutcome(const WriterOutcome&) = delete;
  WriterOutcome& operator=(const WriterOutcome&) = delete;
  ~WriterOutcome() { file_.WriterFailed(); }
  void Settle(bool made) { made ? file_.WriterFinished() : file_.WriterFailed(); }

 private:
  backup::GrowingFile& file_;
};

}  // namespace

bool TSrvNuvexa::BackupWhileArchiving(backup::TFDIBBackup& request, const std::string& arquivo,
                                      const std::string& destino, bool& archived) {
  archived = false;
  const auto backup = [&] { return RunRequest(*this, request); };
  // The archive reads the server's new file from its first byte: a file left at its path (a
  // cycle in the same minute) must go first, or the archive waits for the finished file.
  if (platform::FileExists(arquivo) && !platform::RemoveFile(arquivo)) {
    const bool made = backup();
    if (made) archived = CompactarArquivo(arquivo, destino);
    return made;
  }
  if (platform::FileExists(destino)) platform::RemoveFile(destino);

  backup::GrowingFile source(arquivo);
  backup::ZipOptions options;
  options.threads = backup::ArchiveThreads();
  // the file's size is the archive's total once the server is done
  std::atomic<std::uint64_t> total = 0;
  if (progress_) {
    options.on_progress = [this, &total](std::uint64_t bytes) { progress_->Archived(bytes, total.load()); };
  }
  // the archive removes itself when it fails, also when the backup does
  std::future<std::vector<backup::ZipEntry>> archiving = std::async(
      std::launch::async, [&source, &destino, &options] { return backup::WriteGrowingFileArchive(source, destino, options); });
  WriterOutcome outcome(source);
  const bool made = backup();
  // The total goes in before the archive may learn that the server is done: its last reads,
  // and so its last line, then carry it.
  if (made && progress_) {
    try {
      total = static_cast<std::uint64_t>(TamanhoArquivo(arquivo));
    } catch (const std::exception&) {
      // the operator's line goes on without a total; the archive reports what is wrong
    }
  }
  outcome.Settle(made);

  std::optional<std::vector<backup::ZipEntry>> written;
  std::string failure;
  try {
    written = archiving.get();
  } catch (const std::exception& e) {
    failure = MessageOf(e);
  }
  if (progress_) progress_->EndStep();
  if (!made) return false;
  if (written && !source.ReadWhole()) {
    // the file at the path is not the one read to its end: archive the finished file instead
    platform::RemoveFile(destino);
    archived = CompactarArquivo(arquivo, destino);
    return true;
  }
  archived = CheckArchiveAndDropBackup(*this, arquivo, destino, written, failure);
  return true;
}

bool TSrvNuvexa::CloudBackupActive() { return TBPadrao.FieldByName("NUVEXADESATIVAR").AsString() != "Y"; }

bool TSrvNuvexa::BackupDrovana() {
  static const BackupJob kJob{"BACKUP DROVANA/", "NuvexaDrovana_", "PastaExternaBackupDrovana", true};
  return RunBackupJob(kJob);
}

bool TSrvNuvexa::BackupReceitaDigital() {
  static const BackupJob kJob{"BACKUP RECEITA DIGITAL/", "NuvexaRecDigital_", "PastaExternaBackupReceitaDigital",
                              false};
  return RunBackupJob(kJob);
}

bool TSrvNuvexa::RunBackupJob(const BackupJob& job) {
  const std::string pasta = executable_folder_ + job.folder;
  try {
    platform::CreateSharedFolder(pasta, ServerGroup());
  } catch (const std::exception&) {
    // not reported here: the server then fails to write the backup, and that error is logged
  }

  const platform::Ini settings = SettingsFile();
  const std::string servidor = settings.ReadString("Quorvo", "Servidor", "");
  const std::string caminho =
      settings.ReadString("Quorvo", "Caminho", executable_folder_ + (job.pharmacy ? "quorvo.fdb" : "RECEITADIGITAL.FDB"));
  const std::string database = job.pharmacy ? caminho : backup::DatabaseFolderPart(caminho) + "RECEITADIGITAL.FDB";
  std::string externa = settings.ReadString("Quorvo", job.external_folder_key, "");
  const std::string arquivo = pasta + job.file_prefix + backup::BackupStamp(DataHoraAtualBackup) + ".fbk";

  backup::TFDIBBackup request;
  request.VendorLib = FDPhysFBDriverLink1VendorLib;
  request.UserName = Conndrovana.ParamValue("User_Name");
  request.Password = Conndrovana.ParamValue("Password");
  request.Host = servidor;
  request.Database = database;
  request.Protocol = backup::TIBProtocol::ipTCPIP;
  request.BackupFiles = {arquivo};
  if (progress_) {
    // the server reports its lines only when asked to be verbose
    request.Verbose = true;
    request.OnProgress = [this, lines = 0](const std::string&) mutable { progress_->BackupLines(++lines); };
    progress_->BackupLines(0);
  }

  // The pharmacy's folders keep archives or backup files by the cloud switch, read before
  // the backup so that the archive is written while the server writes. Unread, no rule is
  // safe (each deletes the other kind of backup): the backup is made, the job stops after
  // it, and the backup file stays for the next cycle's trim.
  bool cloud_active = false;
  std::optional<std::string> switch_unread;
  if (job.pharmacy) {
    try {
      cloud_active = CloudBackupActive();
    } catch (const std::exception& e) {
      switch_unread = MessageOf(e);
    }
  }

  bool made = false;
  bool result = false;
  if (job.pharmacy && cloud_active) {
    // only a complete archive may be uploaded and recorded as the last backup
    bool archived = false;
    LoggedStep(*this, "", [&] {
      made = BackupWhileArchiving(request, arquivo, platform::ChangeFileExt(arquivo, ".zip"), archived);
    });
    if (archived) ArquivoCompactadoDrovana = platform::ChangeFileExt(arquivo, ".zip");
    result = archived;
  } else {
    made = RunRequest(*this, request);
    if (switch_unread) {
      DoSaveLog(*switch_unread);
      return false;
    }
    result = made;
    if (made && !job.pharmacy) ArquivoCompactadoReceitaDigital = arquivo;
  }

  const auto trims = KeptFiles(job.pharmacy, cloud_active);
  TrimGuarded(pasta, trims);

  if (externa.empty()) return result;
  externa = platform::IncludeTrailingPathDelimiter(externa);
  LoggedStep(*this, "Falha ao copiar Backup para pasta externa: ", [&] {
    const std::string origem = !job.pharmacy ? ArquivoCompactadoReceitaDigital
                               : cloud_active ? ArquivoCompactadoDrovana
                                              : arquivo;
    platform::CopyFileReplacing(origem, externa + platform::ExtractFileName(origem));
  });
  TrimGuarded(externa, trims);
  return result;
}

void TSrvNuvexa::TrimGuarded(const std::string& folder, const std::vector<std::pair<int, std::string>>& keep_by_mask) {
  try {
    for (const auto& [keep, mask] : keep_by_mask) LimpaPastaLocal(folder, keep, mask);
  } catch (const std::exception& e) {
    DoSaveLog("Falha ao limpar a pasta " + folder + ": " + MessageOf(e));
  }
}

bool TSrvNuvexa::CompactarArquivo(const std::string& Arquivo, const std::string& ArquivoDestino) {
  if (platform::FileExists(ArquivoDestino)) platform::RemoveFile(ArquivoDestino);
  // An archive without the backup in it would be uploaded and recorded as the backup.
  if (!platform::FileExists(Arquivo)) {
    DoSaveLog("Falha ao compactar o arquivo: o arquivo de backup " + Arquivo + " não foi encontrado");
    return false;
  }
  std::optional<std::vector<backup::ZipEntry>> written;
  std::string failure;
  try {
    backup::ZipOptions options;
    options.threads = backup::ArchiveThreads();
    if (progress_) {
      const auto size = static_cast<std::uint64_t>(TamanhoArquivo(Arquivo));
      options.on_progress = [this, size](std::uint64_t bytes) { progress_->Archived(bytes, size); };
    }
    // the writer removes its own incomplete archive
    written = backup::WriteSingleFileArchive(Arquivo, ArquivoDestino, options);
  } catch (const std::exception& e) {
    failure = MessageOf(e);
  }
  if (progress_) progress_->EndStep();
  return CheckArchiveAndDropBackup(*this, Arquivo, ArquivoDestino, written, failure);
}

void TSrvNuvexa::LimpaPastaLocal(const std::string& Pasta, int NumeroMaximoArquivos, const std::string& Mascara) {
  const std::string pasta = platform::IncludeTrailingPathDelimiter(Pasta);
  const std::vector<std::string> names = backup::GetFileList(pasta, Mascara);
  TBArquivos.Clear();
  for (const std::string& name : names) TBArquivos.Append({pasta + name, backup::RetentionTime(pasta + name)});
  // a file that cannot be deleted stays; the next trim sees it again
  for (const std::string& path : TBArquivos.OldestBeyond(NumeroMaximoArquivos)) platform::RemoveFile(path);
}

}  // namespace nuvexa

// The two backup jobs of a cycle and the archive and trim steps they run.
#include <chrono>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "backup/backup_naming.h"
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

}  // namespace

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

  const bool made = LoggedStep(*this, "", [&] {
    backup::TFDIBBackup request;
    request.VendorLib = FDPhysFBDriverLink1VendorLib;
    request.UserName = Conndrovana.ParamValue("User_Name");
    request.Password = Conndrovana.ParamValue("Password");
    request.Host = servidor;
    request.Database = database;
    request.Protocol = backup::TIBProtocol::ipTCPIP;
    request.BackupFiles = {arquivo};
    request.Backup();
  });

  // The pharmacy's folders keep archives or backup files by the cloud switch. Unread, no
  // rule is safe (each deletes the other kind of backup), so the job stops here, and the
  // backup file stays for the next cycle's trim.
  bool cloud_active = false;
  if (job.pharmacy && !LoggedStep(*this, "", [&] { cloud_active = CloudBackupActive(); })) return false;

  bool result = made;
  if (made && !job.pharmacy) {
    ArquivoCompactadoReceitaDigital = arquivo;
  } else if (made && cloud_active) {
    result = false;
    LoggedStep(*this, "", [&] {
      const std::string destino = platform::ChangeFileExt(arquivo, ".zip");
      // only a complete archive may be uploaded and recorded as the last backup
      result = CompactarArquivo(arquivo, destino);
      if (result) ArquivoCompactadoDrovana = destino;
    });
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
  bool complete = false;
  bool written = false;
  try {
    backup::ZipOptions options;
    options.threads = backup::ArchiveThreads();
    const std::vector<backup::ZipEntry> entries = backup::WriteSingleFileArchive(Arquivo, ArquivoDestino, options);
    written = true;
    // The backup file goes below: the archive must first read back as it was written.
    if (BeforeArchiveCheck) BeforeArchiveCheck(ArquivoDestino);
    backup::VerifyArchive(ArquivoDestino, entries);
    complete = true;
  } catch (const std::exception& e) {
    // the writer removes its own incomplete archive; one that does not read back goes here,
    // before the log, which may fail too
    if (written) platform::RemoveFile(ArquivoDestino);
    DoSaveLog("Falha ao compactar o arquivo: " + MessageOf(e));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(ArchivePauseMilliseconds));
  platform::RemoveFile(Arquivo);
  return complete;
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

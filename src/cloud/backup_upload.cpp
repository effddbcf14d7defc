// The module's side of the cloud copy: the cycle's cloud step and the upload that records
// the last backup.
#include "cloud/backup_upload.h"

#include <exception>
#include <stdexcept>

#include "central/auto_incremento.h"
#include "central/central_connection.h"
#include "central/central_statements.h"
#include "platform/file_stream.h"
#include "platform/paths.h"
#include "service/srv_nuvexa.h"

namespace nuvexa {
namespace cloud {

std::string CloudArchivePath(std::string_view pasta, const std::string& arquivo) {
  return "/" + std::string(pasta) + "/" + platform::ExtractFileName(arquivo);
}

}  // namespace cloud

namespace {

constexpr const char* kDeletionLogUnreadable = "Falha ao ler a configuração do registro de exclusões da central: ";
constexpr const char* kNoCompanyFolder =
    "CNPJ da empresa sem dígitos (PADRAO.CGC): o backup não foi enviado para a nuvem";

// Watches the retention's deletions for as long as the trim runs.
// Shows the upload's progress on the operator's line while it runs, and ends the line.
class UploadProgressWatch {
 public:
  UploadProgressWatch(cloud::TDTDropBox& cloud, ProgressDisplay* display) : cloud_(cloud), display_(display) {
    if (display_ != nullptr) {
      cloud_.SetUploadProgress([display](std::uint64_t sent, std::uint64_t size) { display->Uploaded(sent, size); });
    }
  }
  UploadProgressWatch(const UploadProgressWatch&) = delete;
  UploadProgressWatch& operator=(const UploadProgressWatch&) = delete;
  ~UploadProgressWatch() {
    if (display_ == nullptr) return;
    cloud_.SetUploadProgress(nullptr);
    display_->EndStep();
  }

 private:
  cloud::TDTDropBox& cloud_;
  ProgressDisplay* display_;
};

class DeletionWatch {
 public:
  DeletionWatch(cloud::TDTDropBox& client, std::function<void(const std::string&)> observer) : client_(client) {
    client_.SetDeletionObserver(std::move(observer));
  }
  DeletionWatch(const DeletionWatch&) = delete;
  DeletionWatch& operator=(const DeletionWatch&) = delete;
  ~DeletionWatch() { client_.SetDeletionObserver(nullptr); }

 private:
  cloud::TDTDropBox& client_;
};

}  // namespace

std::string TSrvNuvexa::ExtraiNumero(std::string_view texto) {
  std::string digits;
  for (const char c : texto) {
    if (c >= '0' && c <= '9') digits += c;
  }
  return digits;
}

std::int64_t TSrvNuvexa::TamanhoArquivo(const std::string& Arquivo) {
  return static_cast<std::int64_t>(platform::InputFile::Open(Arquivo).Size());
}

void TSrvNuvexa::CloudStep() {
  const std::string pasta = ExtraiNumero(TBPadrao.FieldByName("CGC").AsString());
  MaximoTamanhoAtual = MaximoTamanho - TamanhoArquivo(ArquivoCompactadoDrovana);
  // Without digits there is no company folder, and the storage's root holds every company's
  // folder: nothing of this installation is created, trimmed or uploaded there.
  if (pasta.empty()) throw std::runtime_error(kNoCompanyFolder);

  const central::ClosesOnExit close_central(ConnTarvioSystem);
  const bool record_deletions = ConnectCentral() && DeletionLogEnabled();
  const std::string cnpj = TBPadrao.FieldByName("CGC").AsString();

  if (DTDropBox1.LocalizarPastaArquivo("", pasta).StatusCode == 300) DTDropBox1.CriarPasta("/" + pasta);
  {
    const DeletionWatch watch(DTDropBox1, [&](const std::string& path) {
      if (record_deletions) RecordDeletion(cnpj, path);
    });
    DTDropBox1.ClearFolder(pasta);
  }
  Upload(pasta, ArquivoCompactadoDrovana);
}

bool TSrvNuvexa::Upload(const std::string& Pasta, const std::string& Arquivo) {
  bool result = false;
  try {
    const std::int64_t TamArq = TamanhoArquivo(Arquivo);
    main_loop_.ProcessMessages();
    const std::string destino = cloud::CloudArchivePath(Pasta, Arquivo);
    const UploadProgressWatch progress(DTDropBox1, progress_.get());
    if (TamArq <= cloud::kSingleRequestLimit) {
      DTDropBox1.Upload(Arquivo, destino);
    } else {
      DTDropBox1.UploadInSession(Arquivo, destino, cloud::kSessionChunkSize);
    }
    result = DTDropBox1.Retorno.StatusCode == 200;
    if (result) RecordLastBackup();
  } catch (const std::exception& e) {
    result = false;
    DoSaveLog(e.what());
  }
  main_loop_.ProcessMessages();
  return result;
}

bool TSrvNuvexa::DeletionLogEnabled() {
  try {
    if (!TBConfiguracoes.Active()) TBConfiguracoes.Open();
    return TBConfiguracoes.FieldByName("NUVEXAATIVARLOGEXCLUSAO").AsString() == "Y";
  } catch (const std::exception& e) {
    DoSaveLog(kDeletionLogUnreadable + std::string(e.what()));
    return false;
  }
}

void TSrvNuvexa::TBLogExclusaoBeforePost(std::vector<firebird::ColumnValue>& row, bool new_row) {
  if (!new_row) return;
  row.insert(row.begin(), {"SEQUENCIAL", firebird::Value::Integer(central::AutoIncremento(
                                             ConnTarvioSystem, central::kLogExclusaoGenerator))});
}

void TSrvNuvexa::RecordDeletion(const std::string& cnpj, const std::string& ArquivoExcluido) {
  try {
    std::vector<firebird::ColumnValue> row = {{"CNPJ", firebird::Value::Text(cnpj)},
                                              {"ARQUIVOEXCLUIDO", firebird::Value::Text(ArquivoExcluido)}};
    TBLogExclusaoBeforePost(row, true);
    firebird::InsertRow(ConnTarvioSystem, "LOG_EXCLUSAO_NUVEXA", row);
  } catch (const std::exception& e) {
    // the archive is gone either way: the retention and the upload go on
    DoSaveLog("Falha ao registrar a exclusão de " + ArquivoExcluido + " no servidor da central: " + e.what());
  }
}

}  // namespace nuvexa

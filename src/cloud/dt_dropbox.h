#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cloud/access_token.h"
#include "cloud/cloud_settings.h"
#include "cloud/http_transport.h"
#include "platform/date_time.h"

namespace nuvexa::cloud {

// The outcome of the client's last operation.
struct TRetorno {
  std::int32_t StatusCode = 0;  // 200 success, 300 not found by the lookup, 400 failure
  std::string Mensagem;
};

// One entry of a folder listing, or the error entry that ends a failed listing.
struct TListaArquivos {
  std::int32_t StatusCode = 0;
  std::string Mensagem;
  std::string id;
  std::string Nome;
  std::string Tipo;
  std::string Size;
  std::int64_t bytes = 0;
  platform::TDateTime client_modified = 0;
  platform::TDateTime server_modified = 0;
};

// Counts and byte totals of one cloud folder before and after its retention.
struct TClearFolder {
  std::int32_t StatusCode = 0;
  std::string Mensagem;
  std::int32_t QtdAnterior = 0;
  std::int32_t QtdAtual = 0;
  std::int64_t TamanhoAnterior = 0;
  std::int64_t TamanhoAtual = 0;
};

// The client of the storage service (Dropbox API v2). Every request stands alone; an
// operation that fails records 400 and the message in `Retorno` (the listing in an error
// entry of `ListaArquivos`) and throws CloudError with that message. Not re-entrant: one
// operation at a time.
class TDTDropBox {
 public:
  // libcurl, with the hosts from the environment.
  TDTDropBox();
  TDTDropBox(std::unique_ptr<HttpTransport> transport, CloudHosts hosts);

  const std::string& ClientID() const { return FClientID; }
  const std::string& ClientSecret() const { return FClientSecret; }
  const std::string& AccessToken() const { return FAccessToken; }
  std::int32_t QtdMinArquivos() const { return FQtdMinArquivos; }
  std::int32_t QtdMaxArquivos() const { return FQtdMaxArquivos; }
  std::int64_t TamMaxArquivos() const { return FTamMaxArquivos; }
  std::int32_t Timeout() const { return FTimeout; }
  void SetClientID(std::string value) { FClientID = std::move(value); }
  void SetClientSecret(std::string value) { FClientSecret = std::move(value); }
  void SetAccessToken(std::string value) { FAccessToken = std::move(value); }
  // With a refresh token, every request carries a short-lived access token that the client
  // asks the token endpoint for (with ClientID and ClientSecret), keeps in memory, renews
  // before it expires and, when a request is refused as expired, renews once and sends the
  // request again. Without one, AccessToken goes as it is.
  void SetRefreshToken(std::string value) {
    FRefreshToken = std::move(value);
    access_token_.clear();
  }
  // Exchanges an authorization code (with the PKCE verifier it was asked with) at the token
  // endpoint for a refresh token and a first access token. A refused code throws CloudError
  // saying so.
  GrantedToken ExchangeAuthorizationCode(std::string_view code, std::string_view code_verifier);
  // The clock that times the access tokens; tests give their own.
  void SetClock(std::function<std::chrono::steady_clock::time_point()> now) { now_ = std::move(now); }
  void SetQtdMinArquivos(std::int32_t value) { FQtdMinArquivos = value; }
  void SetQtdMaxArquivos(std::int32_t value) { FQtdMaxArquivos = value; }
  void SetTamMaxArquivos(std::int64_t value) { FTamMaxArquivos = value; }
  void SetTimeout(std::int32_t value) { FTimeout = value; }

  // Replaces ListaArquivos by the folder's entries, page after page ("" is the root).
  void ListarArquivosDaPasta(std::string_view Pasta);
  // StatusCode 200 when the folder holds an entry of that name (ASCII letters compared
  // without case), 300 when not; Mensagem stays as it was.
  TRetorno& LocalizarPastaArquivo(std::string_view DiretorioPastaArquivo, std::string_view NomePastaArquivo);
  // The whole file in one request, streamed from the disk.
  TRetorno& Upload(const std::string& CaminhoArquivo, std::string_view PastaDestino);
  // In an upload session of `Chunksize`-byte requests, each streamed from the file; a file
  // not larger than `Chunksize` goes in one Upload.
  TRetorno& UploadInSession(const std::string& CaminhoArquivo, std::string_view PastaDestino,
                            std::int32_t Chunksize);
  // Deletes the oldest entries of the folder beyond the limits (see RankForDeletion).
  TClearFolder ClearFolder(std::string Folder);
  // Told the cloud path of each entry that ClearFolder has deleted, right after it went;
  // null for nobody. What it throws ends the retention like a failed deletion.
  void SetDeletionObserver(std::function<void(const std::string& path)> observer) {
    deletion_observer_ = std::move(observer);
  }
  // Told, as an upload's bytes are read for sending, how far into the file they reach and
  // the file's size; null for nobody. A body sent again reports its bytes again.
  void SetUploadProgress(std::function<void(std::uint64_t sent, std::uint64_t size)> observer) {
    upload_progress_ = std::move(observer);
  }
  TRetorno& CriarPasta(std::string_view Pasta);
  TRetorno& DeletarPasta(std::string_view Pasta);
  // `Destino` is replaced only once the whole file has arrived.
  TRetorno& Download(std::string_view ArquivoDownload, const std::string& Destino);

  TRetorno Retorno;
  std::vector<TListaArquivos> ListaArquivos;

 private:
  HttpRequest NewRequest(const std::string& url, const char* content_type) const;
  // Sends and returns a 2xx response; throws CloudError with the status line otherwise.
  HttpResponse Perform(const HttpRequest& request);
  template <typename Steps>
  TRetorno& Recorded(Steps&& steps);

  void UploadSessionStart(const FileRange& ContentStream, bool Close);
  void UploadSessionAppend(const std::string& SessionID, std::int64_t Offset, const FileRange& ContentStream,
                           bool Close);
  void UploadSessionFinish(const std::string& SessionID, std::int64_t Offset, const FileRange& ContentStream,
                           std::string_view Path);

  // The short-lived token of the refresh flow, renewed when missing or due.
  const std::string& CurrentAccessToken();
  void RenewAccessToken();
  // Sends a grant's form to the token endpoint and returns the answer, whatever its status.
  HttpResponse PostToTokenEndpoint(std::string form);

  std::unique_ptr<HttpTransport> transport_;
  CloudHosts hosts_;
  std::function<void(const std::string&)> deletion_observer_;
  std::function<void(std::uint64_t, std::uint64_t)> upload_progress_;
  std::string FClientID;
  std::string FClientSecret;
  std::string FAccessToken;
  std::string FRefreshToken;
  std::string access_token_;
  std::chrono::steady_clock::time_point access_renew_at_{};
  std::function<std::chrono::steady_clock::time_point()> now_ = [] { return std::chrono::steady_clock::now(); };
  std::int32_t FQtdMinArquivos = 0;
  std::int32_t FQtdMaxArquivos = 0;
  std::int64_t FTamMaxArquivos = 0;
  std::int32_t FTimeout = 0;
};

}  // namespace nuvexa::cloud

#include "cloud/dt_dropbox.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <functional>

#include <nlohmann/json.hpp>

#include "cloud/access_token.h"
#include "cloud/cloud_error.h"
#include "cloud/cloud_formats.h"
#include "cloud/cloud_retention.h"
#include "cloud/content_hash.h"
#include "cloud/dropbox_arguments.h"
#include "cloud/system_transport.h"
#include "platform/file_info.h"
#include "platform/file_stream.h"
#include "platform/folders.h"

namespace nuvexa::cloud {
namespace {

constexpr const char* URL_ListarPasta = "/2/files/list_folder";
constexpr const char* URL_ListarPastaContinua = "/2/files/list_folder/continue";
constexpr const char* URL_CriaPasta = "/2/files/create_folder_v2";
constexpr const char* URL_DeletaPasta = "/2/files/delete_v2";
constexpr const char* URL_Download = "/2/files/download";
constexpr const char* URL_Upload = "/2/files/upload";
constexpr const char* URL_Upload_Start = "/2/files/upload_session/start";
constexpr const char* URL_Upload_Append = "/2/files/upload_session/append_v2";
constexpr const char* URL_Upload_Finish = "/2/files/upload_session/finish";
// Bounds of one listing: far above what a company folder holds, far below what would
// exhaust the machine.
constexpr std::size_t kMaxListingPages = 10'000;
constexpr std::size_t kMaxListedEntries = 200'000;

constexpr const char* kOctetStream = "application/octet-stream";
constexpr const char* kJsonUtf8 = "application/json; charset=utf-8";

using nlohmann::json;

const json& Member(const json& object, const char* name) {
  if (!object.is_object() || !object.contains(name))
    throw CloudError(std::string("The response has no member \"") + name + "\"");
  return object[name];
}

// Members are read as text: a number's digits, a boolean's word. An array or an object is no
// text, and writing one out would recurse as deep as the page nests it.
std::string MemberText(const json& object, const char* name) {
  const json& value = Member(object, name);
  if (value.is_string()) return value.get<std::string>();
  if (value.is_structured())
    throw CloudError(std::string("The member \"") + name + "\" is not a text, a number or a boolean");
  return value.dump();
}

// A 2xx response as it is; any other is the failure its status line names.
HttpResponse Checked(HttpResponse response) {
  if (response.status < 200 || response.status > 299) {
    throw CloudError(response.status_line.empty() ? "HTTP " + std::to_string(response.status)
                                                  : response.status_line);
  }
  return response;
}

// Hands what is read of the file for sending to the content hash, and tells the progress
// observer how far into the file the sending is.
std::function<void(std::uint64_t, std::string_view)> Feeding(
    ContentHasher& hasher, const std::function<void(std::uint64_t, std::uint64_t)>& progress, std::uint64_t size) {
  return [&hasher, &progress, size](std::uint64_t offset, std::string_view bytes) {
    hasher.Feed(offset, bytes);
    if (progress) progress(offset + bytes.size(), size);
  };
}

// The service answers an upload with the metadata of what it stored: its content hash must
// be that of the bytes sent, or the cloud does not hold the archive.
void CheckStoredCopy(const std::string& metadata, ContentHasher& hasher, std::uint64_t size, std::string_view path) {
  const json answer = json::parse(metadata, nullptr, /*allow_exceptions=*/false);
  const std::string where = "A cópia na nuvem de " + std::string(path);
  if (!answer.is_object() || !answer.contains("content_hash") || !answer["content_hash"].is_string())
    throw CloudError(where + " não pôde ser conferida com o arquivo: a resposta não traz o content_hash");
  if (!hasher.Complete(size))
    throw CloudError(where + " não pôde ser conferida com o arquivo: nem todos os seus bytes foram lidos");
  const std::string local = hasher.Final();
  const std::string remote = answer["content_hash"].get<std::string>();
  if (remote != local)
    throw CloudError(where + " não confere com o arquivo: content_hash " + remote + " na nuvem, " + local + " no arquivo");
}

std::int64_t MemberInteger(const json& object, const char* name) {
  const std::string text = MemberText(object, name);
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size())
    throw CloudError(std::string("The member \"") + name + "\" is not an integer: " + text);
  return value;
}

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

TListaArquivos EntryOf(const json& element) {
  TListaArquivos entry;
  entry.StatusCode = 200;
  entry.id = MemberText(element, "id");
  entry.Nome = MemberText(element, "name");
  entry.Tipo = MemberText(element, ".tag");
  if (entry.Tipo == "file") {
    entry.bytes = MemberInteger(element, "size");
    entry.Size = FormatByteString(static_cast<std::uint64_t>(entry.bytes), TByteStringFormat::bsfMB);
    entry.client_modified = FormatDataHora(MemberText(element, "client_modified"));
    entry.server_modified = FormatDataHora(MemberText(element, "server_modified"));
  } else {
    entry.Size = "0 MB";
  }
  return entry;
}

// The download's bytes land here first, so a failed download never touches the target.
class PartialFile {
 public:
  explicit PartialFile(std::string path) : path_(std::move(path)) {}
  ~PartialFile() {
    if (!kept_) platform::RemoveFile(path_);
  }
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;
  const std::string& Path() const { return path_; }
  void MoveTo(const std::string& target) {
    platform::ReplaceFile(path_, target);
    kept_ = true;
  }

 private:
  std::string path_;
  bool kept_ = false;
};

}  // namespace

TDTDropBox::TDTDropBox() : TDTDropBox(SystemHttpTransport(), CloudHostsFromEnvironment()) {}

TDTDropBox::TDTDropBox(std::unique_ptr<HttpTransport> transport, CloudHosts hosts)
    : transport_(std::move(transport)), hosts_(std::move(hosts)) {}

HttpRequest TDTDropBox::NewRequest(const std::string& url, const char* content_type) const {
  // the token goes into a header line: a line break in it would add headers of its own
  if (FAccessToken.find_first_of("\r\n") != std::string::npos)
    throw CloudError("O token de acesso contém uma quebra de linha (CR ou LF); nenhum pedido foi enviado");
  HttpRequest request;
  request.method = "POST";
  request.url = url;
  request.headers = {{"Authorization", "Bearer " + FAccessToken}, {"Content-Type", content_type}};
  if (FTimeout > 0) request.timeout = std::chrono::milliseconds(std::int64_t{FTimeout} * 1000);
  return request;
}

const std::string& TDTDropBox::CurrentAccessToken() {
  if (access_token_.empty() || now_() >= access_renew_at_) RenewAccessToken();
  return access_token_;
}

HttpResponse TDTDropBox::PostToTokenEndpoint(std::string form) {
  HttpRequest request;
  request.url = hosts_.api + kTokenEndpoint;
  request.headers = {{"Content-Type", "application/x-www-form-urlencoded"}};
  request.body = std::move(form);
  request.follow_redirects = false;
  if (FTimeout > 0) request.timeout = std::chrono::milliseconds(std::int64_t{FTimeout} * 1000);
  return transport_->Send(request);
}

void TDTDropBox::RenewAccessToken() {
  access_token_.clear();
  const auto asked_at = now_();
  const HttpResponse response = PostToTokenEndpoint(RefreshGrantForm(FRefreshToken, FClientID, FClientSecret));
  if (response.status == 400 || response.status == 401) {
    const std::string refusal = GrantError(response.body);
    if (refusal == "invalid_grant" || refusal == "invalid_client")
      throw CloudError(std::string(kAuthoriseAgain) + refusal + ")");
  }
  const GrantedToken granted = ParseGrantedToken(Checked(response).body);
  // timed from the request: the answer may have taken a while to come
  access_renew_at_ = asked_at + granted.expires_in - RenewalMargin(granted.expires_in);
  access_token_ = granted.access_token;
}

GrantedToken TDTDropBox::ExchangeAuthorizationCode(std::string_view code, std::string_view code_verifier) {
  const HttpResponse response = PostToTokenEndpoint(CodeGrantForm(code, FClientID, code_verifier));
  if (response.status == 400 || response.status == 401) {
    if (const std::string refusal = GrantError(response.body); !refusal.empty())
      throw CloudError("A nuvem recusou o código de autorização (" + refusal + ")");
  }
  GrantedToken granted = ParseGrantedToken(Checked(response).body);
  if (granted.refresh_token.empty())
    throw CloudError("A resposta do servidor de tokens não traz o refresh_token: o acesso não seria duradouro");
  return granted;
}

HttpResponse TDTDropBox::Perform(const HttpRequest& request) {
  HttpResponse response;
  if (FRefreshToken.empty()) {
    response = transport_->Send(request);
  } else {
    HttpRequest authorised = request;
    const auto bearer = [&](const std::string& token) {
      for (auto& [name, value] : authorised.headers) {
        if (name == "Authorization") value = "Bearer " + token;
      }
    };
    bearer(CurrentAccessToken());
    response = transport_->Send(authorised);
    // once: a token refused again right after its renewal is not a matter of time
    if (IsExpiredAccessToken(response)) {
      RenewAccessToken();
      bearer(access_token_);
      response = transport_->Send(authorised);
    }
  }
  return Checked(std::move(response));
}

template <typename Steps>
TRetorno& TDTDropBox::Recorded(Steps&& steps) {
  try {
    steps();
  } catch (const std::exception& failure) {
    Retorno.StatusCode = 400;
    Retorno.Mensagem = failure.what();
    throw CloudError(Retorno.Mensagem);
  }
  return Retorno;
}

void TDTDropBox::ListarArquivosDaPasta(std::string_view Pasta) {
  ListaArquivos.clear();
  try {
    std::string cursor;
    bool has_more = true;
    std::size_t pages = 0;
    while (has_more) {
      HttpRequest request =
          NewRequest(hosts_.api + (cursor.empty() ? URL_ListarPasta : URL_ListarPastaContinua), "application/json");
      request.follow_redirects = false;
      request.body = cursor.empty() ? PathBody(Pasta) : ListFolderContinueBody(cursor);
      const json page = json::parse(Perform(request).body);
      const json& entries = Member(page, "entries");
      if (!entries.is_array()) throw CloudError("The response's member \"entries\" is not an array");
      for (const json& element : entries) ListaArquivos.push_back(EntryOf(element));
      has_more = MemberText(page, "has_more") == "true";
      std::string next = MemberText(page, "cursor");
      // a page that promises more under the cursor it was asked with would be asked for ever
      if (has_more && (next.empty() || next == cursor))
        throw CloudError("The listing does not advance: \"has_more\" is true without a new cursor");
      cursor = std::move(next);
      // a company folder holds tens of archives: a listing without end is the server's fault
      if (has_more && (++pages >= kMaxListingPages || ListaArquivos.size() >= kMaxListedEntries))
        throw CloudError("The listing does not end: more than " + std::to_string(ListaArquivos.size()) +
                         " entries in " + std::to_string(pages) + " pages");
    }
  } catch (const std::exception& failure) {
    TListaArquivos error;
    error.StatusCode = 400;
    error.Mensagem = failure.what();
    error.Size = "0";
    ListaArquivos.push_back(error);
    throw CloudError(error.Mensagem);
  }
}

TRetorno& TDTDropBox::LocalizarPastaArquivo(std::string_view DiretorioPastaArquivo,
                                            std::string_view NomePastaArquivo) {
  Recorded([&] { ListarArquivosDaPasta(DiretorioPastaArquivo); });
  Retorno.StatusCode = 300;
  const std::string sought = UpperAscii(NomePastaArquivo);
  for (const auto& entry : ListaArquivos) {
    if (UpperAscii(entry.Nome) == sought) {
      Retorno.StatusCode = 200;
      break;
    }
  }
  return Retorno;
}

TRetorno& TDTDropBox::Upload(const std::string& CaminhoArquivo, std::string_view PastaDestino) {
  return Recorded([&] {
    const auto file = platform::InputFile::Open(CaminhoArquivo);
    ContentHasher hasher;
    HttpRequest request = NewRequest(hosts_.content + URL_Upload, kOctetStream);
    request.headers.emplace_back("Dropbox-API-Arg", PathArgument(PastaDestino));
    request.body_file = FileRange{&file, 0, file.Size(), Feeding(hasher, upload_progress_, file.Size())};
    std::string body = Perform(request).body;
    CheckStoredCopy(body, hasher, file.Size(), PastaDestino);
    Retorno.StatusCode = 200;
    Retorno.Mensagem = std::move(body);
  });
}

void TDTDropBox::UploadSessionStart(const FileRange& ContentStream, bool Close) {
  Recorded([&] {
    HttpRequest request = NewRequest(hosts_.content + URL_Upload_Start, kOctetStream);
    request.headers.emplace_back("Dropbox-API-Arg", SessionStartArgument(Close));
    request.body_file = ContentStream;
    const json answer = json::parse(Perform(request).body);
    std::string session_id = MemberText(answer, "session_id");
    // every later request of the session names it: without it they could only fail
    if (session_id.empty()) throw CloudError("The member \"session_id\" is empty");
    Retorno.StatusCode = 200;
    Retorno.Mensagem = std::move(session_id);
  });
}

void TDTDropBox::UploadSessionAppend(const std::string& SessionID, std::int64_t Offset,
                                     const FileRange& ContentStream, bool Close) {
  Recorded([&] {
    HttpRequest request = NewRequest(hosts_.content + URL_Upload_Append, kOctetStream);
    request.headers.emplace_back("Dropbox-API-Arg", SessionAppendArgument(SessionID, Offset, Close));
    request.body_file = ContentStream;
    std::string body = Perform(request).body;
    Retorno.StatusCode = 200;
    Retorno.Mensagem = std::move(body);
  });
}

void TDTDropBox::UploadSessionFinish(const std::string& SessionID, std::int64_t Offset,
                                     const FileRange& ContentStream, std::string_view Path) {
  Recorded([&] {
    HttpRequest request = NewRequest(hosts_.content + URL_Upload_Finish, kOctetStream);
    request.headers.emplace_back("Dropbox-API-Arg", SessionFinishArgument(SessionID, Offset, Path));
    request.body_file = ContentStream;
    std::string body = Perform(request).body;
    Retorno.StatusCode = 200;
    Retorno.Mensagem = std::move(body);
  });
}

TRetorno& TDTDropBox::UploadInSession(const std::string& CaminhoArquivo, std::string_view PastaDestino,
                                      std::int32_t Chunksize) {
  // the commit path goes out last: a bad one must stop the session before it starts
  Recorded([&] { CheckedPath(PastaDestino); });
  const auto file = platform::InputFile::Open(CaminhoArquivo);
  const auto size = static_cast<std::int64_t>(file.Size());
  if (Chunksize >= size) return Upload(CaminhoArquivo, PastaDestino);
  // A session of empty chunks would never end.
  if (Chunksize <= 0) {
    throw CloudError("Tamanho de bloco inválido para o upload em sessão: " + std::to_string(Chunksize) +
                     " (deve ser maior que zero)");
  }

  ContentHasher hasher;
  std::string session_id;
  std::int64_t offset = 0;
  bool more = true;
  while (more) {
    // Each chunk is read from the file while its request goes out, not held in memory.
    FileRange chunk{&file, static_cast<std::uint64_t>(offset), 0,
                    Feeding(hasher, upload_progress_, static_cast<std::uint64_t>(size))};
    if (size > offset && (session_id.empty() || offset > 0))
      chunk.length = static_cast<std::uint64_t>(std::min<std::int64_t>(Chunksize, size - offset));
    if (offset == 0 && session_id.empty()) {
      UploadSessionStart(chunk, false);
      session_id = Retorno.Mensagem;
    } else if (size > offset) {
      UploadSessionAppend(session_id, offset, chunk, false);
    } else {
      UploadSessionFinish(session_id, offset, chunk, PastaDestino);
    }
    if (Retorno.StatusCode == 200) {
      if (offset == 0) {
        offset = static_cast<std::int64_t>(chunk.length);
      } else if (size > offset) {
        offset += static_cast<std::int64_t>(chunk.length);
      } else {
        more = false;
      }
    }
  }
  return Recorded([&] { CheckStoredCopy(Retorno.Mensagem, hasher, static_cast<std::uint64_t>(size), PastaDestino); });
}

TClearFolder TDTDropBox::ClearFolder(std::string Folder) {
  if (Folder.empty() || Folder == "/") throw CloudError("Não foi informada nenhuma pasta ou informada a pasta raiz");
  if (Folder.front() != '/') Folder.insert(0, "/");
  ListarArquivosDaPasta(Folder);

  struct Row {
    std::string NomeArquivo;
    std::int64_t TamArquivo;
  };
  std::vector<Row> rows;
  std::vector<RetentionEntry> entries;
  std::int64_t Somabytes = 0;
  for (const auto& item : ListaArquivos) {
    rows.push_back({item.Nome, item.bytes});
    entries.push_back({item.client_modified, item.bytes});
    Somabytes += item.bytes;
  }

  std::int64_t BytesApagados = 0;
  std::int32_t ArquivosApagados = 0;
  for (const std::size_t index : RankForDeletion(entries, FQtdMinArquivos, FQtdMaxArquivos, FTamMaxArquivos)) {
    const std::string path = Folder + "/" + rows[index].NomeArquivo;
    DeletarPasta(path);
    BytesApagados += rows[index].TamArquivo;
    ++ArquivosApagados;
    if (deletion_observer_) deletion_observer_(path);
  }

  TClearFolder result;
  result.StatusCode = 200;
  result.QtdAnterior = static_cast<std::int32_t>(rows.size());
  result.QtdAtual = result.QtdAnterior - ArquivosApagados;
  result.TamanhoAnterior = Somabytes;
  result.TamanhoAtual = Somabytes - BytesApagados;
  return result;
}

TRetorno& TDTDropBox::CriarPasta(std::string_view Pasta) {
  return Recorded([&] {
    HttpRequest request = NewRequest(hosts_.api + URL_CriaPasta, kJsonUtf8);
    request.body = CreateFolderBody(Pasta);
    std::string body = Perform(request).body;
    Retorno.StatusCode = 200;
    Retorno.Mensagem = std::move(body);
  });
}

TRetorno& TDTDropBox::DeletarPasta(std::string_view Pasta) {
  return Recorded([&] {
    HttpRequest request = NewRequest(hosts_.api + URL_DeletaPasta, kJsonUtf8);
    request.body = PathBody(Pasta);
    std::string body = Perform(request).body;
    Retorno.StatusCode = 200;
    Retorno.Mensagem = std::move(body);
  });
}

TRetorno& TDTDropBox::Download(std::string_view ArquivoDownload, const std::string& Destino) {
  return Recorded([&] {
    HttpRequest request = NewRequest(hosts_.content + URL_Download, kOctetStream);
    request.headers.emplace_back("Dropbox-API-Arg", PathArgument(ArquivoDownload));
    PartialFile partial(Destino + ".part");
    auto out = platform::OutputFile::Create(partial.Path());
    request.body_sink = [&out](std::string_view bytes) { out.Write(bytes); };
    Perform(request);
    out.Close();
    partial.MoveTo(Destino);
    Retorno.StatusCode = 200;
    Retorno.Mensagem.clear();
  });
}

}  // namespace nuvexa::cloud

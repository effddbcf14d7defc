#include "service/authorize_command.h"

#include <cstdlib>
#include <exception>
#include <istream>
#include <ostream>
#include <string>

#include "cloud/cloud_authorization.h"
#include "cloud/cloud_settings.h"
#include "cloud/dt_dropbox.h"
#include "platform/file.h"
#include "platform/file_stream.h"
#include "platform/owner_only_file.h"

namespace nuvexa {
namespace {

constexpr const char* kNotAuthorised = "O acesso à nuvem não foi autorizado: ";

std::string EnvironmentFile() {
  const char* file = std::getenv("NUVEXA_ENV_FILE");
  return file != nullptr && *file != '\0' ? file : "/etc/default/nuvexa";
}

std::string Trimmed(std::string text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The file's text; empty when there is none yet.
std::string ReadIfThere(const std::string& path) {
  if (!platform::FileExists(path)) return "";
  const platform::InputFile file = platform::InputFile::Open(path);
  std::string text(static_cast<std::size_t>(file.Size()), '\0');
  text.resize(file.ReadAt(0, text));
  return text;
}

}  // namespace

int RunAuthorize(std::istream& in, std::ostream& out, std::ostream& err) {
  try {
    const cloud::TDTDropBoxCredentials credentials = cloud::DTDropBoxCredentials();
    const std::string verifier = cloud::NewCodeVerifier();
    out << "Abra este endereço no navegador, entre na conta da nuvem e permita o acesso:\n\n  "
        << cloud::AuthorizationAddress(credentials.ClientID, cloud::CodeChallenge(verifier))
        << "\n\nCole aqui o código que a página mostrar e tecle Enter: " << std::flush;
    std::string code;
    std::getline(in, code);
    code = Trimmed(code);
    if (code.empty()) {
      err << kNotAuthorised << "nenhum código foi informado.\n";
      return 1;
    }

    cloud::TDTDropBox client;
    client.SetClientID(credentials.ClientID);
    client.SetClientSecret(credentials.ClientSecret);
    client.SetTimeout(cloud::kDTDropBoxTimeout);
    const cloud::GrantedToken granted = client.ExchangeAuthorizationCode(code, verifier);

    const std::string path = EnvironmentFile();
    platform::WriteOwnerOnlyFile(
        path, cloud::WithEnvironmentVariable(ReadIfThere(path), "NUVEXA_CLOUD_REFRESH_TOKEN", granted.refresh_token));
    out << "\nO acesso à nuvem foi autorizado e gravado em " << path
        << ". Reinicie o serviço para que ele o use: systemctl restart SrvNuvexa\n";
    return 0;
  } catch (const std::exception& e) {
    err << kNotAuthorised << e.what() << '\n';
    return 1;
  }
}

}  // namespace nuvexa

#include "deploy/runtime_deployment.h"

#include <cstdint>
#include <span>
#include <stdexcept>

#include "deploy/deployment_table.h"
#include "platform/file_version.h"
#include "platform/executable_resources.h"
#include "platform/file.h"
#include "platform/file_info.h"
#include "platform/file_stream.h"
#include "platform/folders.h"
#include "platform/paths.h"

namespace nuvexa::deploy {
namespace {

std::string_view CarriedBytes(std::string_view resource) {
  const auto bytes = platform::FindExecutableResource(resource);
  if (!bytes) throw std::runtime_error("The executable carries no resource " + std::string(resource));
  return *bytes;
}

// Written beside the target and renamed into place: a write cut short must not leave a
// partial library that, present, would never be written again.
void WriteWholeFile(const std::string& path, std::string_view bytes) {
  const std::string partial = path + ".part";
  try {
    platform::OutputFile file = platform::OutputFile::Create(partial);
    file.Write(bytes);
    file.Close();
    platform::ReplaceFile(partial, path);
  } catch (...) {
    platform::RemoveFile(partial);
    throw;
  }
}

}  // namespace

void DeployRuntimeFiles(const std::string& executable_folder) { WriteRuntimeFiles(executable_folder); }

std::vector<std::string> WriteRuntimeFiles(const std::string& executable_folder) {
  std::vector<std::string> written;
  for (const RuntimeFile& entry : kDeploymentTable) {
    if (ExtrairRessource(executable_folder, entry.file_name, entry.resource_name, entry.version))
      written.emplace_back(entry.file_name);
  }
  return written;
}

bool ExtrairRessource(const std::string& executable_folder, std::string_view NomeArquivo,
                      std::string_view NomeRessource, std::string_view VersaoAtual) {
  const std::string target = platform::IncludeTrailingPathDelimiter(executable_folder) + std::string(NomeArquivo);
  bool written = false;
  if (!ArquivoExiste(target) || AtualizarVersao(target, VersaoAtual)) {
    try {
      WriteWholeFile(target, CarriedBytes(NomeRessource));
      written = true;
    } catch (...) {
      // A runtime file that cannot be written must not keep the service from starting.
    }
  }
  // Windows lets the process handle its pending window messages here. On Linux nothing can
  // be queued yet: this runs before the main loop exists.
  return written;
}

bool ArquivoExiste(const std::string& Arquivo) { return platform::FileExists(Arquivo); }

bool AtualizarVersao(const std::string& Arquivo, std::string_view VersaoAtual) {
  if (VersaoAtual.empty() || !ArquivoExiste(Arquivo)) return false;
  return VersaoPrograma(Arquivo) != VersaoAtual;
}

std::string VersaoPrograma(const std::string& Programa) { return platform::FileVersionText(Programa); }

}  // namespace nuvexa::deploy

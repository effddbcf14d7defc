#pragma once

#include <string>
#include <string_view>
#include <vector>

// UCarregaRessources: the runtime files that the executable carries as raw-data resources
// (kDeploymentTable), written into its folder at start-up where they are missing or, for
// the versioned ones, of another file version.
namespace nuvexa::deploy {

// Writes the missing or outdated runtime files into the executable's folder, in table
// order. Runs first at start-up and never stops it: an entry that cannot be written is
// skipped.
void DeployRuntimeFiles(const std::string& executable_folder);

// DeployRuntimeFiles, returning the names of the files it wrote, in the order written.
std::vector<std::string> WriteRuntimeFiles(const std::string& executable_folder);

// One entry: writes the resource NomeRessource to the folder as NomeArquivo when that file
// is missing, or when VersaoAtual is not empty and the file's version is another. A write
// that fails is ignored. True when the file was written whole.
bool ExtrairRessource(const std::string& executable_folder, std::string_view NomeArquivo,
                      std::string_view NomeRessource, std::string_view VersaoAtual);

// Whether a regular file is at the path; a symbolic link counts by its target.
bool ArquivoExiste(const std::string& Arquivo);

// Whether the file must be replaced for its version: never when VersaoAtual is empty or
// the file is missing; otherwise when its version, as text, is not VersaoAtual (older and
// newer alike, and a file whose version cannot be read).
bool AtualizarVersao(const std::string& Arquivo, std::string_view VersaoAtual);

// The file version of a PE file ("1.0.2.21"); empty when it has none or cannot be read.
std::string VersaoPrograma(const std::string& Programa);

}  // namespace nuvexa::deploy

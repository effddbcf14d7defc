#pragma once

#include <string>
#include <string_view>

namespace nuvexa::central {

// The texts of the statements on the central database, line for line as the maker's
// database expects them.
inline constexpr const char* kConfiguracoesSql =
    "SELECT NUVEXAINTERVALO\n"
    "     , NUVEXAMINIMOBACKUP\n"
    "     , NUVEXAMAXIMOBACKUP\n"
    "     , NUVEXATAMANHOMAXIMO\n"
    "     , NUVEXAINTERVALOTHREAD\n"
    "     , NUVEXAATIVARLOGEXCLUSAO\n"
    "     , PASTASCHEMAS\n"
    "     , VERSAOACBRSERVICOS\n"
    "FROM CONFIGURACOES";

inline constexpr const char* kDadosClientesSql =
    "SELECT C.CNPJ\n"
    "     , C.IPSERVIDOR \n"
    "     , C.SUPORTEATIVO\n"
    "     , C.BANCODEDADOS\n"
    "     , C.RETAGUARDA\n"
    "     , C.PDV\n"
    "     , COALESCE(R.PREENCHERCAMPO, 'N') AS PREENCHERCAMPO\n"
    "     , COALESCE(R.PREENCHERCSRT, 'N') AS PREENCHERCSRT\n"
    "     , R.IDCRST\n"
    "     , R.CRST\n"
    "FROM CLIENTES C\n"
    "LEFT JOIN CRST R ON C.ESTADO = R.UF\n"
    "WHERE CNPJ = :CNPJ";

inline constexpr const char* kLogExclusaoSql =
    "SELECT SEQUENCIAL\n"
    "     , CNPJ\n"
    "     , ARQUIVOEXCLUIDO\n"
    "FROM LOG_EXCLUSAO_NUVEXA";

inline constexpr const char* kLogExclusaoGenerator = "GEN_LOG_EXCLUSAO_NUVEXA_ID";

// The statement that draws the next number of a generator.
inline std::string GeneratorSql(std::string_view generator) {
  return "SELECT GEN_ID(" + std::string(generator) + ",1) NUMERO FROM RDB$DATABASE";
}

}  // namespace nuvexa::central

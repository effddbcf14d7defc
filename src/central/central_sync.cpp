// The per-cycle synchronisation with the maker's central database.
#include <exception>
#include <string>
#include <vector>

#include "central/central_connection.h"
#include "central/central_settings.h"
#include "central/crst_conversion.h"
#include "central/machine_address.h"
#include "platform/network.h"
#include "service/srv_nuvexa.h"

namespace nuvexa {
namespace {

using firebird::Value;

constexpr const char* kCentralConnectionFailed = "Falha na conexão com o servidor da central: ";

}  // namespace

bool TSrvNuvexa::ConnectCentral() {
  if (ConnTarvioSystem.Connected()) return true;
  try {
    ConnTarvioSystem.Open();
    return true;
  } catch (const std::exception& e) {
    ConnTarvioSystem.Close();
    DoSaveLog(kCentralConnectionFailed + std::string(e.what()));
    return false;
  }
}

bool TSrvNuvexa::SincronizarCentral() {
  if (!ConnectCentral()) return false;
  const central::ClosesOnExit close_central(ConnTarvioSystem);

  if (TBVersoes.Active()) {
    TBVersoes.Refresh();
  } else {
    TBVersoes.Open();
  }
  const std::int32_t bancodedados = TBVersoes.FieldByName("BANCODEDADOS").AsInteger();
  const std::int32_t retaguarda = TBVersoes.FieldByName("RETAGUARDA4").AsInteger();
  const std::int32_t pdv = TBVersoes.FieldByName("PDV4").AsInteger();

  TBDadosClientes.Close();
  TBDadosClientes.ParamByName("CNPJ") = Value::Text(TBPadrao.FieldByName("CGC").AsString());
  TBDadosClientes.Open();

  bool suporte_ativo = false;
  if (!TBDadosClientes.Eof()) {
    const std::string ip = CapturarIP();
    if (TBDadosClientes.FieldByName("IPSERVIDOR").AsString() != ip ||
        TBDadosClientes.FieldByName("BANCODEDADOS").AsInteger() != bancodedados ||
        TBDadosClientes.FieldByName("RETAGUARDA").AsInteger() != retaguarda ||
        TBDadosClientes.FieldByName("PDV").AsInteger() != pdv) {
      TBDadosClientes.Post("CLIENTES", "CNPJ",
                           {{"IPSERVIDOR", Value::Text(ip)},
                            {"BANCODEDADOS", Value::Integer(bancodedados)},
                            {"RETAGUARDA", Value::Integer(retaguarda)},
                            {"PDV", Value::Integer(pdv)}});
    }

    const std::string preenchercampo = TBDadosClientes.FieldByName("PREENCHERCAMPO").AsString();
    const std::string preenchercsrt = TBDadosClientes.FieldByName("PREENCHERCSRT").AsString();
    const std::string idcrst = TBDadosClientes.FieldByName("IDCRST").AsString();
    const std::string crst_central = TBDadosClientes.FieldByName("CRST").AsString();
    // the conversion is made only when the cheaper comparisons leave it to decide
    const bool differs = TBPadrao.FieldByName("INFORMARRESPTECNICA").AsString() != preenchercampo ||
                         TBPadrao.FieldByName("INFORMARHASHCSRT").AsString() != preenchercsrt ||
                         TBPadrao.FieldByName("IDCRST").AsString() != idcrst ||
                         TBPadrao.FieldByName("CRST").AsString() != central::ConverterCRST(crst_central);
    if (differs) {
      TBPadrao.Post("PADRAO", "CODIGO",
                    {{"INFORMARRESPTECNICA", Value::Text(preenchercampo)},
                     {"INFORMARHASHCSRT", Value::Text(preenchercsrt)},
                     {"IDCRST", Value::Text(idcrst)},
                     {"CRST", Value::Text(central::ConverterCRST(crst_central))}});
    }
    suporte_ativo = TBDadosClientes.FieldByName("SUPORTEATIVO").AsString() == "Y";
  }

  if (!TBConfiguracoes.Active()) TBConfiguracoes.Open();
  const std::string pastaschemas = TBConfiguracoes.FieldByName("PASTASCHEMAS").AsString();
  const std::int32_t versaoacbr = TBConfiguracoes.FieldByName("VERSAOACBRSERVICOS").AsInteger();
  if (TBPadrao.FieldByName("PASTASCHEMAS").AsString() != pastaschemas ||
      TBPadrao.FieldByName("VERSAOACBRSERVICOS").AsInteger() != versaoacbr) {
    TBPadrao.Post("PADRAO", "CODIGO",
                  {{"PASTASCHEMAS", Value::Text(pastaschemas)}, {"VERSAOACBRSERVICOS", Value::Integer(versaoacbr)}});
  }

  central::CentralConfiguration configuracao;
  configuracao.NUVEXAINTERVALO = TBConfiguracoes.FieldByName("NUVEXAINTERVALO").AsInteger();
  configuracao.NUVEXAMINIMOBACKUP = TBConfiguracoes.FieldByName("NUVEXAMINIMOBACKUP").AsInteger();
  configuracao.NUVEXAMAXIMOBACKUP = TBConfiguracoes.FieldByName("NUVEXAMAXIMOBACKUP").AsInteger();
  configuracao.NUVEXATAMANHOMAXIMO = TBConfiguracoes.FieldByName("NUVEXATAMANHOMAXIMO").AsInteger();
  configuracao.NUVEXAINTERVALOTHREAD = TBConfiguracoes.FieldByName("NUVEXAINTERVALOTHREAD").AsInteger();
  const central::BackupSettings next = central::ApplyCentralSettings(
      {BackupIntervalo, MinimoBackup, MaximoBackup, MaximoTamanho, IntervaloThread}, configuracao,
      TBPadrao.FieldByName("NUVEXAINTERVALO").AsInteger());
  BackupIntervalo = next.BackupIntervalo;
  MinimoBackup = next.MinimoBackup;
  MaximoBackup = next.MaximoBackup;
  MaximoTamanho = next.MaximoTamanho;
  IntervaloThread = next.IntervaloThread;

  DTDropBox1.SetQtdMinArquivos(MinimoBackup);
  DTDropBox1.SetQtdMaxArquivos(MaximoBackup);
  DTDropBox1.SetTamMaxArquivos(MaximoTamanho);
  return suporte_ativo;
}

std::string TSrvNuvexa::CapturarIP() {
  try {
    return central::MachineAddress(platform::ComputerName(), platform::ResolveIPv4, platform::InterfaceIPv4Addresses);
  } catch (const std::exception&) {
    return "";
  }
}

}  // namespace nuvexa

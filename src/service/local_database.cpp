#include "service/srv_nuvexa.h"

namespace nuvexa {

platform::Ini TSrvNuvexa::SettingsFile() const { return platform::Ini(executable_folder_ + "quorvo.ini"); }

void TSrvNuvexa::CarregarParametrosConexao(const std::string& Usuario, const std::string& Senha) {
  const platform::Ini settings = SettingsFile();
  const std::string servidor = settings.ReadString("Quorvo", "Servidor", "localhost");
  const std::string caminho = settings.ReadString("Quorvo", "Caminho", executable_folder_ + "QUORVO.FDB");

  Conndrovana.SetLoginPrompt(false);
  Conndrovana.SetVendorLib(FDPhysFBDriverLink1VendorLib);
  std::vector<std::string>& params = Conndrovana.Params();
  params.clear();
  params.push_back("DriverID=FB");
  params.push_back("Pooled=false");
  params.push_back("Database=" + caminho);
  params.push_back("User_Name=" + Usuario);
  params.push_back("Password=" + Senha);
  params.push_back("Protocol=TCPIP");
  params.push_back("Server=" + servidor);
  params.push_back("Port=3050");
  params.push_back("SQLDialect=3");
  params.push_back("CharacterSet=ISO8859_1");
  params.push_back("ExtendedMetaData=False");
  params.push_back("OpenMode=Open");
}

void TSrvNuvexa::RecordLastBackup() {
  if (!QAtualizaUltimoBackup.Prepared()) QAtualizaUltimoBackup.Prepare();
  QAtualizaUltimoBackup.ParamByName("DATAHORA") = firebird::Value::DateTime(DataHoraAtualBackup);
  QAtualizaUltimoBackup.Execute();
}

}  // namespace nuvexa

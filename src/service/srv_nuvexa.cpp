#include "service/srv_nuvexa.h"

#include "central/central_connection.h"
#include "central/central_statements.h"

namespace nuvexa {

TSrvNuvexa::TSrvNuvexa(ModuleEnvironment environment)
    : TService(kServiceName, kDisplayName, environment.status_reporter, environment.event_logger),
      // the stored definition: disabled, 10 s, bound to the cycle
      Timer1(environment.main_loop, false, 10000, [this] { Timer1Timer(&Timer1); }),
      TBPadrao(Conndrovana,
               "SELECT CODIGO, CGC, NUVEXADESATIVAR, NUVEXAINTERVALO, NUVEXAULTIMOBACKUP, INFORMARRESPTECNICA, "
               "INFORMARHASHCSRT, IDCRST, CRST, NUVEXA_BACKUPAGENDADO, NUVEXA_HORABACKUPAGENDADO, PASTASCHEMAS, "
               "VERSAOACBRSERVICOS FROM PADRAO"),
      TBVersoes(Conndrovana, "SELECT BANCODEDADOS, RETAGUARDA4, PDV4 FROM VERSOES"),
      QAtualizaUltimoBackup(Conndrovana, "UPDATE PADRAO SET NUVEXAULTIMOBACKUP = :DATAHORA"),
      TBConfiguracoes(ConnTarvioSystem, central::kConfiguracoesSql),
      TBDadosClientes(ConnTarvioSystem, central::kDadosClientesSql),
      TBLogExclusao(ConnTarvioSystem, central::kLogExclusaoSql),
      main_loop_(environment.main_loop),
      executable_folder_(std::move(environment.executable_folder)),
      log_(executable_folder_ + "Nuvexa.log") {
  ServiceCreate();
}

TSrvNuvexa::~TSrvNuvexa() { ServiceDestroy(); }

void TSrvNuvexa::ServiceCreate() {
  const cloud::TDTDropBoxCredentials credentials = cloud::DTDropBoxCredentials();
  DTDropBox1.SetClientID(credentials.ClientID);
  DTDropBox1.SetClientSecret(credentials.ClientSecret);
  DTDropBox1.SetAccessToken(credentials.AccessToken);
  DTDropBox1.SetRefreshToken(credentials.RefreshToken);

  BackupIntervalo = 360;
  MinimoBackup = 3;
  MaximoBackup = 19;
  MaximoTamanho = 750000000;
  IntervaloThread = 3600000;

  DTDropBox1.SetQtdMinArquivos(3);
  DTDropBox1.SetQtdMaxArquivos(MaximoBackup);
  DTDropBox1.SetTamMaxArquivos(MaximoTamanho);
  DTDropBox1.SetTimeout(cloud::kDTDropBoxTimeout);

  ConnTarvioSystem.SetLoginPrompt(false);
  ConnTarvioSystem.SetVendorLib(FDPhysFBDriverLink1VendorLib);
  ConnTarvioSystem.Params() = central::CentralConnectionParams(central::CentralServerFromEnvironment());

  Timer1.SetEnabled(false);
  Timer1.SetInterval(kInitialTimerInterval);

  main_loop_.SetExceptionHook([this](const void* sender, const std::exception& error) {
    ManipulaExcecoes(sender, error);
  });
}

void TSrvNuvexa::ServiceDestroy() {
  Timer1.SetEnabled(false);
  // the hook must not outlive the module it calls into
  main_loop_.SetExceptionHook(nullptr);
}

void TSrvNuvexa::ServiceExecute(TService& /*Sender*/) {
  Timer1.SetEnabled(true);
  while (!Terminated()) {
    // ProcessRequests waits for each request and returns once the thread is told to end
    ProcessServiceRequests();
  }
  Timer1.SetEnabled(false);
}

void TSrvNuvexa::DoSaveLog(std::string_view Msg) {
  const std::string entry = log_.Write(Msg);
  ++log_entries_written_;
  if (log_echo_) log_echo_(entry);
}

void TSrvNuvexa::RunCycleNow() {
  try {
    Timer1Timer(&Timer1);
  } catch (const platform::SilentAbort&) {
  } catch (const std::exception& e) {
    ManipulaExcecoes(&Timer1, e);
  }
}

void TSrvNuvexa::ManipulaExcecoes(const void* /*Sender*/, const std::exception& E) { DoSaveLog(E.what()); }

void TSrvNuvexa::Timer1Timer(const void* /*Sender*/) {
  if (cycle_) {
    cycle_();
  } else {
    RunBackupCycle();
  }
}

}  // namespace nuvexa

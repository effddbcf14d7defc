// Runs the pharmacy job of a cycle (backup, archive, read-back, local trims) as the service
// does, with the cloud copy on and without the pause after archiving, so that a benchmark can
// time it beside a gbak | pigz pipeline. The cloud step is left out. The job is whatever
// BackupDrovana does; this tool only gives it what a cycle gives it first.
//
//   nuvexa_backup_job <folder with quorvo.ini>
//
// Prints the archive's path. Exits 1 when the job failed or logged anything.

#include <cstdio>
#include <exception>
#include <iostream>
#include <stdexcept>
#include <string>

#include "platform/date_time.h"
#include "platform/event_loop.h"
#include "platform/paths.h"
#include "service/service_status.h"
#include "service/srv_nuvexa.h"

namespace nuvexa {
namespace {

// The module with its pharmacy job callable from outside a cycle.
class PharmacyJob : public TSrvNuvexa {
 public:
  using TSrvNuvexa::TSrvNuvexa;

  // As the cycle: the local connection and PADRAO open, this cycle's time, then the job.
  std::string Run() {
    CarregarParametrosConexao("SYSDBA", "cobweb");
    Conndrovana.Open();
    TBPadrao.Open();
    // with the switch off the job keeps the backup file and makes no archive
    if (TBPadrao.FieldByName("NUVEXADESATIVAR").AsString() == "Y")
      throw std::runtime_error("PADRAO.NUVEXADESATIVAR is 'Y': the job would not archive");
    ArchivePauseMilliseconds = 0;
    DataHoraAtualBackup = platform::Now();
    const bool made = BackupDrovana();
    TBPadrao.Close();
    Conndrovana.Close();
    if (!made || LogEntriesWritten() > 0) throw std::runtime_error("the pharmacy job failed (see the log above)");
    return ArquivoCompactadoDrovana;
  }
};

int Run(const std::string& folder) {
  platform::EventLoop loop;
  MemoryStatusReporter status;
  MemoryEventLogger event_log;
  PharmacyJob job({loop, status, event_log, platform::IncludeTrailingPathDelimiter(folder)});
  job.SetLogEcho([](const std::string& entry) { std::cerr << entry << std::flush; });
  std::cout << job.Run() << '\n';
  return 0;
}

}  // namespace
}  // namespace nuvexa

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: nuvexa_backup_job <folder with quorvo.ini>\n");
    return 2;
  }
  try {
    return nuvexa::Run(argv[1]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "nuvexa_backup_job: %s\n", e.what());
    return 1;
  }
}

// nuvexa-soak [cycles]: backup cycles back to back in one process, against the local
// Firebird server and nuvexa-fake-cloud over HTTPS on two hosts, every tenth one under a
// cloud fault. Meant for the sanitizer build (scripts/soak.sh): LeakSanitizer judges the
// leaks at exit, this program judges the growth of open descriptors, resident memory and,
// under ASan, the live heap.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "backup/backup_naming.h"
#include "platform/date_time.h"
#include "platform/event_loop.h"
#include "service/service_status.h"
#include "service/srv_nuvexa.h"
#include "support/fake_cloud_server.h"
#include "support/firebird_database.h"
#include "support/firebird_server.h"
#include "support/installation.h"
#include "support/service_environment.h"
#include "support/test_files.h"

#if defined(__SANITIZE_ADDRESS__)
extern "C" {
std::size_t __sanitizer_get_current_allocated_bytes();
// Each cycle frees some 8 MiB; with ASan's default 256 MiB
// quarantine the resident size would climb for some 30 cycles before it levels off, and
// hide any real growth behind it. 16 MiB fills within the first cycles and still holds
// a cycle's worth of freed blocks for use-after-free reports. ASAN_OPTIONS can override it.
__attribute__((used, visibility("default"))) const char* __asan_default_options() { return "quarantine_size_mb=16"; }
}
#endif

namespace nuvexa {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr const char* kCompanyFolder = "12345678000195";  // PADRAO.CGC of the sample database
constexpr int kFaultEvery = 10;
// The growth judged is the end against cycle 10: by then the client libraries (Firebird,
// libcurl, OpenSSL) have loaded and made their caches and pools, and the first fault has
// run.
constexpr int kBaselineCycle = 10;
// Under ASan the resident size swings by about 2 MiB between cycles (large blocks mapped
// and unmapped) and creeps up, ever more slowly, while the live heap stays flat: the
// allocator's and the stack depot's bookkeeping, and what libraries map outside malloc.
// A clean 300-cycle run grew 7 MiB after cycle 10; 16 MiB leaves room for that and the
// swing, and the live heap below is the sharp measure.
constexpr double kRssToleranceMib = 16.0;
// The live heap (without ASan's quarantine and caches) between cycles is steady to the
// KiB; this allows a few KiB a cycle, which catches growth LeakSanitizer cannot: memory
// still reachable at exit, such as a list that gains an entry each cycle.
constexpr double kHeapToleranceMib = 1.0;
// The central's sample limits: at most 3 archives in the company folder, so the cloud
// folder stays bounded over the run; every deletion of the trim is logged in the central.
constexpr const char* kCentralSetup =
    "INSERT INTO CONFIGURACOES VALUES (1, 360, 1, 3, 750, 60, 'Y', '', 0);\n"
    "INSERT INTO CLIENTES (CODIGO, CNPJ, ESTADO, SUPORTEATIVO) VALUES (1, '12.345.678/0001-95', 'SP', 'Y');\n"
    "COMMIT;\n";
constexpr std::size_t kCloudArchivesAtMost = 3;

class Failure : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A cloud fault: the admin rule, and the request of the cycle that must show it.
struct Fault {
  const char* name;
  json rule;
  const char* endpoint;
  int logged_status;  // 0: the connection was closed unanswered
};

std::vector<Fault> Faults() {
  return {
      {"500 on upload", {{"endpoint", "/2/files/upload"}, {"status", 500}}, "/2/files/upload", 500},
      {"401 on list_folder",
       {{"endpoint", "/2/files/list_folder"},
        {"status", 401},
        {"body", R"({"error_summary": "invalid_access_token/..", "error": {".tag": "invalid_access_token"}})"}},
       "/2/files/list_folder",
       401},
      {"dropped upload", {{"endpoint", "/2/files/upload"}, {"drop", true}}, "/2/files/upload", 0},
      {"503 on list_folder, Retry-After",
       {{"endpoint", "/2/files/list_folder"}, {"status", 503}, {"headers", {{"Retry-After", "1"}}}},
       "/2/files/list_folder",
       503},
  };
}

int OpenDescriptors() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
  return count - 1;  // the iterator's own
}

// The heap bytes in use, without what ASan holds in quarantine; negative without ASan.
double LiveHeapMib() {
#if defined(__SANITIZE_ADDRESS__)
  return static_cast<double>(__sanitizer_get_current_allocated_bytes()) / (1024.0 * 1024.0);
#else
  return -1;
#endif
}

double ResidentMib() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmRSS:")) return std::stod(line.substr(6)) / 1024.0;  // in kB
  }
  throw Failure("no VmRSS in /proc/self/status");
}

// "YYYY-MM-DD HH:MM:SS", as isql prints a timestamp, to the second.
std::string IsqlTimestamp(platform::TDateTime moment) {
  const platform::DateParts d = platform::DecodeDate(moment);
  const platform::TimeParts t = platform::DecodeTime(moment);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day, t.hour, t.minute, t.second);
  return text;
}

struct Sample {
  int cycle;
  int descriptors;
  double rss_mib;
  double heap_mib;
};

class Soak {
 public:
  Soak() {
    pharmacy_ = std::make_unique<test::FirebirdDatabase>(test::ReadSourceFile("scripts/sql/pharmacy.sql"));
    test::TempFolder scratch;
    test::RunIsql(scratch, "CREATE DATABASE 'localhost:" + pharmacy_->Folder() +
                               "RECEITADIGITAL.FDB' USER 'SYSDBA' PASSWORD 'cobweb' DEFAULT CHARACTER SET ISO8859_1;\n" +
                               test::ReadSourceFile("scripts/sql/prescription.sql"));
    central_ = std::make_unique<test::FirebirdDatabase>(test::ReadSourceFile("scripts/sql/central.sql") + kCentralSetup);
    installation_.WriteSettings({"Servidor=localhost", "Caminho=" + pharmacy_->Path()});
    environment_.PointCentralAt(*central_);
    environment_.PointCloudAt(cloud_, certificates_.CaFile());
    module_ = std::make_unique<TSrvNuvexa>(ModuleEnvironment{loop_, status_, event_log_, installation_.Folder()});
    module_->ArchivePauseMilliseconds = 0;
  }

  // One due cycle, checked; `fault` null for a normal one.
  void RunCycle(int cycle, const Fault* fault) {
    const std::string where = "cycle " + std::to_string(cycle) + (fault ? std::string(" (") + fault->name + ")" : "");
    pharmacy_->RunSql("UPDATE PADRAO SET NUVEXAULTIMOBACKUP = NULL;");
    ClearThisMinutesArchive();
    if (fault) {
      // a fresh request log, so the fault's request is found among this cycle's only
      Admin("/__admin/reset", json::object());
      Admin("/__admin/fail", fault->rule);
    }
    const std::size_t lines_before = installation_.LogMessages().size();
    requests_before_ = cloud_.LogLines().size();

    module_->RunCycleNow();

    const std::vector<std::string> lines = installation_.LogMessages();
    const std::string last_backup = LastBackup();
    if (fault) {
      Require(lines.size() > lines_before, where + ": no new line in Nuvexa.log");
      Require(last_backup == "<null>", where + ": the last backup was recorded as " + last_backup);
      Require(CloudAnswered(fault->endpoint, fault->logged_status),
              where + ": the cloud's log holds no " + fault->endpoint + " answered " +
                  std::to_string(fault->logged_status));
    } else {
      Require(lines.size() == lines_before,
              where + ": Nuvexa.log got \"" + (lines.empty() ? std::string() : lines.back()) + "\"");
      Require(last_backup == IsqlTimestamp(module_->DataHoraAtualBackup),
              where + ": the last backup is " + last_backup + ", not this cycle's");
    }
    Require(CloudArchives() <= kCloudArchivesAtMost, where + ": the company folder holds " +
                                                          std::to_string(CloudArchives()) + " archives");
  }

 private:
  // A failed check, with the storage calls of the cycle that it judged.
  void Require(bool condition, const std::string& what) const {
    if (condition) return;
    std::string message = what + "; the cycle's requests:";
    const std::vector<json> lines = cloud_.LogLines();
    for (std::size_t i = requests_before_; i < lines.size(); ++i) {
      message += "\n  " + lines[i].value("host", "?") + " " + lines[i]["path"].get<std::string>() + " " +
                 std::to_string(lines[i]["status"].get<int>()) + " " + lines[i].value("body", "");
    }
    throw Failure(message);
  }

  // Archives are named to the minute and uploaded with mode add, without autorename: a
  // cycle meeting a different archive of its own minute gets 409, which in service (hours
  // between cycles) never happens. So the archive this minute's cycle would meet goes
  // first, through the storage API; a later minute's name is free anyway.
  void ClearThisMinutesArchive() const {
    const std::string name = "NuvexaDrovana_" + backup::BackupStamp(platform::Now()) + ".zip";
    if (!fs::exists(cloud_.root() / kCompanyFolder / name)) return;
    const test::CommandResult result = test::RunCommand(
        "curl -sS -f --cacert '" + certificates_.CaFile() +
        "' -X POST -H 'Authorization: Bearer test-token' -H 'Content-Type: application/json' -d '" +
        json{{"path", "/" + std::string(kCompanyFolder) + "/" + name}}.dump() + "' https://127.0.0.1:" +
        std::to_string(cloud_.port()) + "/2/files/delete_v2");
    Require(result.status == 0, "deleting " + name + " from the cloud: " + result.output);
  }

  std::string LastBackup() const {
    std::istringstream words(pharmacy_->RunSql(
        "SET HEADING OFF; SELECT SUBSTRING(CAST(NUVEXAULTIMOBACKUP AS VARCHAR(30)) FROM 1 FOR 19) FROM PADRAO;"));
    std::string value, word;
    while (words >> word) value += (value.empty() ? "" : " ") + word;
    return value;
  }

  void Admin(const std::string& path, const json& body) const {
    const test::CommandResult result = test::RunCommand(
        "curl -sS -f --cacert '" + certificates_.CaFile() + "' -X POST -H 'Content-Type: application/json' -d '" +
        body.dump() + "' https://127.0.0.1:" + std::to_string(cloud_.port()) + path);
    Require(result.status == 0, "POST " + path + " " + body.dump() + ": " + result.output);
  }

  bool CloudAnswered(const std::string& endpoint, int status) const {
    for (const json& line : cloud_.LogLines()) {
      if (line["path"] == endpoint && line["status"] == status) return true;
    }
    return false;
  }

  std::size_t CloudArchives() const {
    const fs::path folder = cloud_.root() / kCompanyFolder;
    if (!fs::exists(folder)) return 0;
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++count;
    return count;
  }

  test::TestCertificates certificates_;
  test::FakeCloudServer cloud_{[&] {
    std::vector<std::string> arguments = certificates_.ServerArguments();
    arguments.insert(arguments.end(), {"--content-port", "0"});
    return arguments;
  }()};
  test::Installation installation_;
  test::ScopedEnvironment environment_;
  std::unique_ptr<test::FirebirdDatabase> pharmacy_;
  std::unique_ptr<test::FirebirdDatabase> central_;
  platform::EventLoop loop_;
  MemoryStatusReporter status_;
  MemoryEventLogger event_log_;
  std::unique_ptr<TSrvNuvexa> module_;
  std::size_t requests_before_ = 0;
};

bool Reported(int cycle, int cycles) {
  return cycle == 1 || cycle == 10 || cycle == 50 || cycle == 100 || cycle == 200 || cycle == 300 || cycle == cycles;
}

int Run(int cycles) {
  if (!test::FirebirdAnswers()) {
    std::fprintf(stderr, "soak: the Firebird server does not answer on 127.0.0.1:3050 (scripts/firebird.sh start)\n");
    return 1;
  }
  const std::vector<Fault> faults = Faults();
  std::vector<Sample> samples;
  Sample baseline{};
  int faulted = 0;
  {
    Soak soak;
    std::printf("%7s %12s %10s %10s\n", "cycle", "descriptors", "RSS MiB", "heap MiB");
    for (int cycle = 1; cycle <= cycles; ++cycle) {
      const Fault* fault = cycle % kFaultEvery == 0 ? &faults[(faulted++) % faults.size()] : nullptr;
      soak.RunCycle(cycle, fault);
      const Sample sample{cycle, OpenDescriptors(), ResidentMib(), LiveHeapMib()};
      if (cycle == std::min(kBaselineCycle, cycles)) baseline = sample;
      if (Reported(cycle, cycles)) {
        samples.push_back(sample);
        std::printf("%7d %12d %10.1f %10.2f\n", sample.cycle, sample.descriptors, sample.rss_mib, sample.heap_mib);
        std::fflush(stdout);
      }
    }
  }
  const Sample& end = samples.back();
  const bool descriptors_ok = end.descriptors <= baseline.descriptors;
  const bool rss_ok = end.rss_mib <= baseline.rss_mib + kRssToleranceMib;
  const bool heap_ok = end.heap_mib <= baseline.heap_mib + kHeapToleranceMib;
  const bool ok = descriptors_ok && rss_ok && heap_ok;
  if (!descriptors_ok) std::printf("soak: descriptors grew after cycle %d\n", baseline.cycle);
  if (!rss_ok) std::printf("soak: RSS grew by more than %.0f MiB after cycle %d\n", kRssToleranceMib, baseline.cycle);
  if (!heap_ok)
    std::printf("soak: the live heap grew by more than %.0f MiB after cycle %d\n", kHeapToleranceMib, baseline.cycle);
  std::printf("soak: %d cycles, %d with a fault, descriptors %d -> %d, RSS %.1f -> %.1f MiB, %s\n", cycles, faulted,
              baseline.descriptors, end.descriptors, baseline.rss_mib, end.rss_mib, ok ? "ok" : "FAILED");
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace nuvexa

int main(int argc, char** argv) {
  int cycles = 300;
  if (argc > 2 || (argc == 2 && (cycles = std::atoi(argv[1])) <= 0)) {
    std::fprintf(stderr, "usage: nuvexa-soak [cycles]   (default 300)\n");
    return 2;
  }
  try {
    return nuvexa::Run(cycles);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "soak: %s\n", e.what());
    return 1;
  }
}

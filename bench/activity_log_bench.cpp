// The cost of one entry of the activity log, appended to an empty log and to one that
// years of failures have grown to about 100 MB, so that a benchmark can tell whether the
// cost grows with the log. The entries alternate between the two logs, so that whatever
// else the machine does meanwhile falls on both alike.
//
//   nuvexa_activity_log <scratch folder> [entries per log, default 2000] [megabytes, default 100]
//
// Prints, one "name value" a line: the median microseconds per entry for each log and the
// large log's size before the timed entries.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/date_time.h"
#include "platform/locale.h"
#include "service/activity_log.h"

namespace {

namespace fs = std::filesystem;

// What the service writes when something goes wrong, in the lengths it writes them.
const char* const kMessages[] = {
    "Falha na conexão com o banco de dados!!!",
    "Falha ao compactar o arquivo: o arquivo de backup /opt/nuvexa/BACKUP DROVANA/NuvexaDrovana_01122026_1000.fbk "
    "não foi encontrado",
    "Falha na conexão com o servidor da central: Unable to complete network request to host \"central\".\n"
    "Failed to establish a connection.",
    "Falha ao copiar Backup para pasta externa: Cannot open file \"/mnt/copias/NuvexaDrovana_01122026_1000.zip\". "
    "No space left on device",
    "HTTP/1.1 503 Service Unavailable",
    "Falha ao limpar a pasta /opt/nuvexa/BACKUP DROVANA/: Cannot delete file \"NuvexaDrovana_21112026_0400.zip\".",
};

// Fills the log with whole entries, one a minute from two years ago, until it holds at least
// `bytes`, in the encoding the service creates it in (Windows-1252, no mark).
void Prefill(const std::string& path, std::uint64_t bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const platform::DateTimeSeparators separators = platform::LocaleDateTimeSeparators();
  const platform::TDateTime start = platform::Now() - 2 * 365.0;
  std::string block;
  std::uint64_t written = 0;
  for (std::uint64_t i = 0; written < bytes; ++i) {
    const std::string timestamp = nuvexa::FormatLogTimestamp(start + static_cast<double>(i) / (24.0 * 60), separators);
    block += nuvexa::EncodeLogText(nuvexa::BuildLogEntry(timestamp, kMessages[i % std::size(kMessages)]),
                                   nuvexa::LogEncoding::Ansi);
    if (block.size() >= (1u << 20)) {
      written += block.size();
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
      block.clear();
    }
  }
  out.write(block.data(), static_cast<std::streamsize>(block.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

double MicrosecondsOf(const nuvexa::ActivityLog& log, const char* message) {
  const auto start = std::chrono::steady_clock::now();
  log.Write(message);
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string FreshFolder(const fs::path& path) {
  fs::remove_all(path);
  fs::create_directories(path);
  return (path / "Nuvexa.log").string();
}

int Run(const fs::path& scratch, int entries, std::uint64_t megabytes) {
  const nuvexa::ActivityLog empty(FreshFolder(scratch / "empty"));
  const nuvexa::ActivityLog full(FreshFolder(scratch / "full"));
  Prefill(full.Path(), megabytes * 1000 * 1000);
  const std::uintmax_t full_bytes = fs::file_size(full.Path());

  std::vector<double> empty_us, full_us;
  for (int i = 0; i < entries; ++i) {
    const char* message = kMessages[i % std::size(kMessages)];
    // which log goes first alternates too
    if (i % 2 == 0) {
      empty_us.push_back(MicrosecondsOf(empty, message));
      full_us.push_back(MicrosecondsOf(full, message));
    } else {
      full_us.push_back(MicrosecondsOf(full, message));
      empty_us.push_back(MicrosecondsOf(empty, message));
    }
  }
  std::printf("empty_log_us %.2f\nfull_log_us %.2f\nfull_log_bytes %ju\nentries %d\n", Median(empty_us),
              Median(full_us), full_bytes, entries);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4) {
    std::fprintf(stderr, "usage: nuvexa_activity_log <scratch folder> [entries per log] [megabytes]\n");
    return 2;
  }
  try {
    const int entries = argc > 2 ? std::atoi(argv[2]) : 2000;
    const std::uint64_t megabytes = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 100;
    if (entries <= 0) throw std::invalid_argument("the entries per log must be a positive number");
    return Run(argv[1], entries, megabytes);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "nuvexa_activity_log: %s\n", e.what());
    return 1;
  }
}

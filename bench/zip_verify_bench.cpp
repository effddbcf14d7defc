// Times the reading back of the archive against its writing, both as CompactarArquivo runs
// them, for a backup file given on the command line: a gbak backup of a database of real
// size is the honest input (docs/performance.md says how one was made).
//
//   nuvexa_zip_verify_bench <backup file> [runs, default 3] [folder for the archive, default /tmp]
//
// The archive is read back straight after it was written, as in the service, so it comes
// from the page cache there too.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "backup/zip_verify.h"
#include "backup/zip_writer.h"

namespace {

double SecondsOf(const auto& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The process's peak resident memory in KiB, from the kernel's own account.
long PeakResidentKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <backup file> [runs] [folder]\n", argv[0]);
    return 2;
  }
  const std::string source = argv[1];
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const std::string folder = argc > 3 ? argv[3] : "/tmp";
  const std::string archive = folder + "/nuvexa_zip_verify_bench.zip";

  std::vector<double> writes;
  std::vector<double> checks;
  long peak_after_write = 0;
  try {
    for (int run = 0; run < runs; ++run) {
      std::vector<nuvexa::backup::ZipEntry> entries;
      writes.push_back(SecondsOf(
          [&] { entries = nuvexa::backup::WriteSingleFileArchive(source, archive, nuvexa::backup::ZipOptions{}); }));
      peak_after_write = PeakResidentKiB();
      checks.push_back(SecondsOf([&] { nuvexa::backup::VerifyArchive(archive, entries); }));
      std::printf("run %d:       write %.2f s, check %.2f s\n", run + 1, writes.back(), checks.back());
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Falha ao compactar o arquivo: %s\n", e.what());
    return 1;
  }
  const double input_mib = static_cast<double>(std::filesystem::file_size(source)) / 1048576.0;
  const double archive_mib = static_cast<double>(std::filesystem::file_size(archive)) / 1048576.0;
  const double write = Median(writes);
  const double check = Median(checks);
  std::printf("input:        %.1f MiB\n", input_mib);
  std::printf("archive:      %.1f MiB (%.1f%% of the input)\n", archive_mib, 100.0 * archive_mib / input_mib);
  std::printf("write:        %.2f s median (%.1f MiB/s of input)\n", write, input_mib / write);
  std::printf("check:        %.2f s median (%.1f MiB/s of input)\n", check, input_mib / check);
  std::printf("check/write:  %.1f%%\n", 100.0 * check / write);
  std::printf("peak memory:  %ld KiB resident after writing, %ld KiB after checking\n", peak_after_write,
              PeakResidentKiB());
  std::filesystem::remove(archive);
  return 0;
}

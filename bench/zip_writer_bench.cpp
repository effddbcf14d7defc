// Archives a large generated backup-like file the way the backup does and reports the
// throughput and the peak memory of the process.
//
//   nuvexa_zip_bench [size in MiB, default 1024] [folder, default /tmp]
//
// Peak memory should not grow with the size: run it at two sizes and compare.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "backup/zip_writer.h"

namespace {

// Database-like pages: runs of records made of words and numbers, some pages random
// (already compressed blobs), some empty, so the ratio is near that of a real backup.
void WriteSource(const std::string& path, std::uint64_t size) {
  static const char* const kWords[] = {"CLIENTE ", "PRODUTO ", "ESTOQUE ", "0001 ", "FARMACIA ", "VENDA ",
                                       "receita ", "dipirona ", "\n", "2025-12-08 ", "R$ 12,50 ", "\x01\x02"};
  constexpr std::size_t kPage = 8192;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::string page;
  std::uint32_t state = 1;
  for (std::uint64_t written = 0; written < size; written += kPage) {
    page.clear();
    state = state * 1'103'515'245u + 12'345u;
    const unsigned kind = (state >> 16) % 10;
    while (page.size() < kPage) {
      state = state * 1'103'515'245u + 12'345u;
      if (kind == 0) {
        page += static_cast<char>(state >> 24);
      } else if (kind == 1) {
        page += '\0';
      } else {
        page += kWords[(state >> 16) % std::size(kWords)];
        if ((state >> 8) % 7 == 0) page += std::to_string(state % 100'000);
      }
    }
    out.write(page.data(), static_cast<std::streamsize>(std::min<std::uint64_t>(kPage, size - written)));
  }
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
  const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
  const std::string folder = argc > 2 ? argv[2] : "/tmp";
  const std::string source = folder + "/nuvexa_zip_bench.fbk";
  const std::string archive = folder + "/nuvexa_zip_bench.zip";

  WriteSource(source, mib << 20);
  const long peak_before = PeakResidentKiB();
  const auto start = std::chrono::steady_clock::now();
  try {
    nuvexa::backup::WriteSingleFileArchive(source, archive, nuvexa::backup::ZipOptions{});
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Falha ao compactar o arquivo: %s\n", e.what());
    return 1;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const auto archive_size = std::filesystem::file_size(archive);
  std::printf("input:        %llu MiB\n", static_cast<unsigned long long>(mib));
  std::printf("archive:      %.1f MiB (%.1f%% of the input)\n", archive_size / 1048576.0,
              100.0 * archive_size / static_cast<double>(mib << 20));
  std::printf("time:         %.2f s\n", seconds);
  std::printf("throughput:   %.1f MiB/s of input\n", static_cast<double>(mib) / seconds);
  std::printf("peak memory:  %ld KiB resident (%ld KiB before archiving)\n", PeakResidentKiB(), peak_before);
  std::filesystem::remove(source);
  std::filesystem::remove(archive);
  return 0;
}

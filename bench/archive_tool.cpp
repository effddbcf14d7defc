// Archives one file the way the backup does, with the threads given, so that a benchmark can
// time it beside other tools on the same input.
//
//   nuvexa_archive <source> <archive> [threads, default the cores] [write-only]
//
// Without "write-only" the archive is also read back, as CompactarArquivo does.

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "backup/parallel_deflate.h"
#include "backup/zip_verify.h"
#include "backup/zip_writer.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: nuvexa_archive <source> <archive> [threads] [write-only]\n");
    return 2;
  }
  try {
    nuvexa::backup::ZipOptions options;
    options.threads = argc > 3 ? static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)) : nuvexa::backup::ArchiveThreads();
    const auto entries = nuvexa::backup::WriteSingleFileArchive(argv[1], argv[2], options);
    if (argc <= 4 || std::string(argv[4]) != "write-only") nuvexa::backup::VerifyArchive(argv[2], entries);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "nuvexa_archive: %s\n", e.what());
    return 1;
  }
}

// A CPU-bound program of the pharmacy's, as the archive's neighbour: busy threads at normal
// priority that count the work they get done in the given time, so that a benchmark can
// compare what they do alone with what they do beside the archive.
//
//   nuvexa_cpu_neighbour <seconds> [threads, default 1]   prints the rounds done

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

// One round: work that stays in the core's registers and cache, as a busy program's would.
std::uint64_t Round(std::uint64_t state) {
  for (int i = 0; i < 4096; ++i) state = state * 6364136223846793005ull + 1442695040888963407ull ^ (state >> 29);
  return state;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: nuvexa_cpu_neighbour <seconds> [threads]\n");
    return 2;
  }
  const auto seconds = std::chrono::duration<double>(std::strtod(argv[1], nullptr));
  const unsigned threads = argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : 1;
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(seconds);
  std::atomic<std::uint64_t> rounds = 0;
  std::atomic<std::uint64_t> sink = 0;
  std::vector<std::thread> workers;
  for (unsigned t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      std::uint64_t state = t + 1;
      std::uint64_t mine = 0;
      while (std::chrono::steady_clock::now() < end) {
        state = Round(state);
        ++mine;
      }
      rounds += mine;
      sink += state;  // keeps the work from being optimised away
    });
  }
  for (std::thread& worker : workers) worker.join();
  std::printf("%llu %llu\n", static_cast<unsigned long long>(rounds.load()), static_cast<unsigned long long>(sink.load() & 1));
  return 0;
}

#include "backup/parallel_deflate.h"

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/thread_priority.h"

namespace nuvexa::backup {
namespace {

// Worker threads that run tasks in the order given, until the pool goes.
class WorkerPool {
 public:
  explicit WorkerPool(unsigned threads) {
    for (unsigned i = 0; i < threads; ++i) {
      workers_.emplace_back([this] {
        platform::LowerThisThreadToIdle();
        Work();
      });
    }
  }
  ~WorkerPool() {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& worker : workers_) worker.join();
  }
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  void Run(std::function<void()> task) {
    {
      const std::lock_guard lock(mutex_);
      tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
  }

 private:
  void Work() {
    for (;;) {
      std::function<void()> task;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return stopping_ || !tasks_.empty(); });
        // tasks left at a stop belong to a stream that failed: nobody waits for them
        if (stopping_) return;
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

struct InFlight {
  std::future<CompressedBlock> block;
  std::size_t input_size = 0;
  bool last = false;
};

}  // namespace

DataSummary DeflateBlocksInParallel(const ReadBlock& read, const WriteBytes& write, int level, std::size_t block_size,
                                    unsigned threads) {
  if (threads <= 1) return DeflateBlocks(read, write, level, block_size);
  // As DeflateBlocks: the next block is read first, to know whether this one is the last.
  auto current = std::make_shared<std::string>(block_size, '\0');
  current->resize(read(std::span<char>(current->data(), current->size())));
  if (current->size() < block_size) {
    // one block: nothing to share between threads
    const CompressedBlock block = CompressBlock("", *current, true, level);
    write(block.data);
    return {block.crc32, current->size(), block.data.size()};
  }
  WorkerPool pool(threads);
  const std::size_t most_in_flight = 2 * static_cast<std::size_t>(threads);
  std::deque<InFlight> in_flight;
  DataSummary summary;
  const auto write_oldest = [&] {
    InFlight oldest = std::move(in_flight.front());
    in_flight.pop_front();
    const CompressedBlock block = oldest.block.get();  // rethrows what the worker raised
    write(block.data);
    summary.crc32 = static_cast<std::uint32_t>(
        crc32_combine(summary.crc32, block.crc32, static_cast<z_off_t>(oldest.input_size)));
    summary.input_size += oldest.input_size;
    summary.output_size += block.data.size();
    return oldest.last;
  };

  auto dictionary = std::make_shared<std::string>();
  for (;;) {
    auto next = std::make_shared<std::string>();
    if (current->size() == block_size) {
      next->resize(block_size);
      next->resize(read(std::span<char>(next->data(), next->size())));
    }
    const bool last = next->empty();
    auto task = std::make_shared<std::packaged_task<CompressedBlock()>>(
        [dictionary, current, last, level] { return CompressBlock(*dictionary, *current, last, level); });
    in_flight.push_back({task->get_future(), current->size(), last});
    pool.Run([task] { (*task)(); });
    if (last) break;
    dictionary = std::make_shared<std::string>(
        current->substr(current->size() - std::min(current->size(), kDeflateWindow)));
    current = std::move(next);
    while (in_flight.size() >= most_in_flight) write_oldest();
  }
  while (!in_flight.empty()) write_oldest();
  return summary;
}

unsigned ArchiveThreads() {
  if (const char* text = std::getenv("NUVEXA_ARCHIVE_THREADS"); text != nullptr) {
    unsigned value = 0;
    const std::string_view view(text);
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
    if (error == std::errc() && end == view.data() + view.size() && value >= 1) return std::min(value, 256u);
  }
  return std::max(1u, std::thread::hardware_concurrency());
}

}  // namespace nuvexa::backup

#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace nuvexa {

// How far the long steps of a cycle are, for an operator watching a terminal: one line per
// step (the backup, the archive, the upload), drawn again in place as the step moves on and
// ended when it is done. Nothing of it goes to the activity log. Safe to call from the
// cycle's thread and the archive's at once.
class ProgressDisplay {
 public:
  using Clock = std::chrono::steady_clock;
  // `write` puts text on the terminal as it is, escapes included.
  explicit ProgressDisplay(std::function<void(std::string_view text)> write,
                           std::function<Clock::time_point()> now = [] { return Clock::now(); });

  // The backup's line, begun by the first call: its time so far and the server's lines.
  void BackupLines(int server_lines);
  // Bytes of the backup file in the archive, of `total` (0: not known, the server still
  // writes it). While the backup's line is up they are shown on it.
  void Archived(std::uint64_t bytes, std::uint64_t total);
  void Uploaded(std::uint64_t bytes, std::uint64_t total);
  // Ends the line of the step under way, if any.
  void EndStep();
  // An entry of the log, on lines of its own: the step's line is drawn again after it.
  void Print(std::string_view entry);

 private:
  enum class Step { none, backup, archive, upload };
  struct Amount {
    std::uint64_t bytes = 0;
    std::uint64_t total = 0;
    std::optional<Clock::time_point> started;
  };
  void Enter(Step step);
  void Update(Amount& amount, std::uint64_t bytes, std::uint64_t total);
  void Draw(bool always);
  std::string Line(Clock::time_point now) const;

  std::function<void(std::string_view)> write_;
  std::function<Clock::time_point()> now_;
  std::mutex mutex_;
  Step step_ = Step::none;
  Clock::time_point step_started_{};
  std::optional<Clock::time_point> drawn_at_;
  int server_lines_ = 0;
  Amount archive_;
  Amount upload_;
};

// "45,3 MiB": bytes in MiB with one decimal, as the operator reads it.
std::string FormatMebibytes(std::uint64_t bytes);
// "01:02:03" or "02:03": a duration in whole seconds.
std::string FormatDuration(std::chrono::seconds duration);
// "45,3 de 127,0 MiB (35%), 20,1 MiB/s, faltam 00:04": how far a transfer of bytes is after
// `elapsed`; without a total, "45,3 MiB, 20,1 MiB/s".
std::string FormatTransfer(std::uint64_t bytes, std::uint64_t total, ProgressDisplay::Clock::duration elapsed);

}  // namespace nuvexa

#include "service/progress_display.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace nuvexa {
namespace {

// Often enough to look alive, seldom enough to cost nothing next to the work.
constexpr auto kRedrawEvery = std::chrono::milliseconds(250);
// Back to the line's start and blank it: the line is drawn again in place.
constexpr std::string_view kClearLine = "\r\x1b[K";
constexpr double kMebibyte = 1048576.0;

std::string OneDecimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  std::string result(text);
  std::replace(result.begin(), result.end(), '.', ',');
  return result;
}

}  // namespace

std::string FormatMebibytes(std::uint64_t bytes) { return OneDecimal(static_cast<double>(bytes) / kMebibyte) + " MiB"; }

std::string FormatDuration(std::chrono::seconds duration) {
  const long long total = std::max<long long>(0, duration.count());
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%02lld:%02lld", total / 60, total % 60);
  }
  return text;
}

std::string FormatTransfer(std::uint64_t bytes, std::uint64_t total, ProgressDisplay::Clock::duration elapsed) {
  std::string text;
  if (total > 0) {
    const std::uint64_t percent = std::min<std::uint64_t>(100, bytes * 100 / total);
    text = OneDecimal(static_cast<double>(bytes) / kMebibyte) + " de " + FormatMebibytes(total) + " (" +
           std::to_string(percent) + "%)";
  } else {
    text = FormatMebibytes(bytes);
  }
  const double seconds = std::chrono::duration<double>(elapsed).count();
  if (seconds <= 0 || bytes == 0) return text;
  const double rate = static_cast<double>(bytes) / seconds;
  text += ", " + OneDecimal(rate / kMebibyte) + " MiB/s";
  if (total > bytes) {
    const auto left = static_cast<long long>(std::ceil(static_cast<double>(total - bytes) / rate));
    text += ", faltam " + FormatDuration(std::chrono::seconds(left));
  }
  return text;
}

ProgressDisplay::ProgressDisplay(std::function<void(std::string_view)> write, std::function<Clock::time_point()> now)
    : write_(std::move(write)), now_(std::move(now)) {}

void ProgressDisplay::BackupLines(int server_lines) {
  const std::lock_guard lock(mutex_);
  Enter(Step::backup);
  server_lines_ = server_lines;
  Draw(false);
}

void ProgressDisplay::Archived(std::uint64_t bytes, std::uint64_t total) {
  const std::lock_guard lock(mutex_);
  // written while the server writes: part of the backup's line until the backup is done
  if (step_ != Step::backup) Enter(Step::archive);
  Update(archive_, bytes, total);
  Draw(total > 0 && bytes >= total);
}

void ProgressDisplay::Uploaded(std::uint64_t bytes, std::uint64_t total) {
  const std::lock_guard lock(mutex_);
  Enter(Step::upload);
  Update(upload_, bytes, total);
  Draw(total > 0 && bytes >= total);
}

void ProgressDisplay::EndStep() {
  const std::lock_guard lock(mutex_);
  if (step_ == Step::none) return;
  Draw(true);
  write_("\n");
  if (step_ == Step::archive) archive_ = {};
  if (step_ == Step::upload) upload_ = {};
  step_ = Step::none;
}

void ProgressDisplay::Print(std::string_view entry) {
  const std::lock_guard lock(mutex_);
  if (step_ != Step::none) write_(kClearLine);
  write_(entry);
  if (step_ != Step::none) Draw(true);
}

void ProgressDisplay::Enter(Step step) {
  if (step_ == step) return;
  if (step_ != Step::none) {
    Draw(true);
    write_("\n");
  }
  step_ = step;
  step_started_ = now_();
  drawn_at_.reset();
  if (step == Step::backup) {
    server_lines_ = 0;
    archive_ = {};
  }
}

void ProgressDisplay::Update(Amount& amount, std::uint64_t bytes, std::uint64_t total) {
  if (!amount.started) amount.started = now_();
  amount.bytes = bytes;
  amount.total = total;
}

void ProgressDisplay::Draw(bool always) {
  const Clock::time_point now = now_();
  if (!always && drawn_at_ && now - *drawn_at_ < kRedrawEvery) return;
  write_(std::string(kClearLine) + Line(now));
  drawn_at_ = now;
}

std::string ProgressDisplay::Line(Clock::time_point now) const {
  const auto since = [&](const std::optional<Clock::time_point>& start) {
    return start ? now - *start : Clock::duration::zero();
  };
  switch (step_) {
    case Step::backup: {
      std::string line = "Backup: " + FormatDuration(std::chrono::duration_cast<std::chrono::seconds>(now - step_started_)) +
                         ", " + std::to_string(server_lines_) + " linhas do servidor";
      if (archive_.bytes > 0) line += ", " + FormatMebibytes(archive_.bytes) + " compactados";
      return line;
    }
    case Step::archive: return "Compactação: " + FormatTransfer(archive_.bytes, archive_.total, since(archive_.started));
    case Step::upload: return "Envio para a nuvem: " + FormatTransfer(upload_.bytes, upload_.total, since(upload_.started));
    case Step::none: break;
  }
  return {};
}

}  // namespace nuvexa

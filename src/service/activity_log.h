#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/date_time.h"
#include "platform/file.h"
#include "platform/locale.h"

namespace nuvexa {

// The encoding of the log file, told by its byte-order mark; without one, the ANSI code page.
enum class LogEncoding { Ansi, Utf8, Utf16LE, Utf16BE };

LogEncoding DetectLogEncoding(std::string_view head);
std::string_view ByteOrderMark(LogEncoding encoding);
// Whether the file's last bytes end a line (CR or LF), in its encoding.
bool EndsWithLineBreak(std::string_view tail, LogEncoding encoding);

// "DD/MM/YYYY HH:mm:ss" with the locale's separators.
std::string FormatLogTimestamp(platform::TDateTime when, platform::DateTimeSeparators separators);
// One entry in UTF-8: time stamp, " - ", the message; a message's own line breaks start
// further lines without a time stamp; every line ends with CR LF.
std::string BuildLogEntry(std::string_view timestamp, std::string_view message);
std::string EncodeLogText(std::string_view utf8, LogEncoding encoding);

// What an existing log tells before an entry is appended to it.
struct LogFileState {
  LogEncoding encoding = LogEncoding::Ansi;
  bool needs_line_break = false;
  std::string read_error;  // why the file could not be read; empty when it could
};
// Reads the byte-order mark and the last bytes of a log of `size` bytes through `read_at`
// (offset and count to bytes, throwing platform::FileError). The first read that fails is
// kept in read_error, and what it would have told is assumed.
LogFileState InspectLog(std::uint64_t size,
                        const std::function<std::string(std::uint64_t offset, std::size_t count)>& read_at);

// The activity log: a plain-text file that only ever grows by whole entries appended at
// its end, so a crash or a full disk never costs the lines already written.
class ActivityLog {
 public:
  explicit ActivityLog(std::string path, std::chrono::milliseconds lock_patience = platform::File::kLockPatience)
      : path_(std::move(path)), lock_patience_(lock_patience) {}

  // Appends one entry and returns it (UTF-8, line breaks included). When the file can be
  // written but not read, the entry carries the read error instead of the message. Throws
  // platform::FileError when the file cannot be written, or when another process keeps it
  // locked for longer than the lock patience.
  std::string Write(std::string_view message) const;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::chrono::milliseconds lock_patience_;
};

}  // namespace nuvexa
